#pragma once

#include "about/SplashForm.h"

#include <QDialog>

#include <memory>

namespace quadrantel::about {

// The splash and about window, bound to SplashForm. Loading it reads the program's version.
class frmSplash final : public QDialog {
    Q_OBJECT

public:
    // programFile: whose version resource to show; default, the running program.
    explicit frmSplash(const std::string& programFile = {}, QWidget* parent = nullptr);
    ~frmSplash() override;

    SplashForm& form() { return *form_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void build();

    std::unique_ptr<SplashForm> form_;
};

} // namespace quadrantel::about
