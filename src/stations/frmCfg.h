#pragma once

#include "stations/CfgForm.h"

#include <QWidget>

#include <memory>

namespace quadrantel::stations {

// The setup window, bound to CfgForm. The program hands in the hooks that reach the main
// window and the about window; the window fills in its own ones.
class frmCfg final : public QWidget {
    Q_OBJECT

public:
    explicit frmCfg(CfgHooks hooks = {}, QWidget* parent = nullptr);
    ~frmCfg() override;

    CfgForm& form() { return *form_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();

    std::unique_ptr<CfgForm> form_;
    QWidget* txtMe_ = nullptr;
    QWidget* txtPort_ = nullptr;
};

} // namespace quadrantel::stations
