#pragma once

#include "app/GonioForm.h"

#include <QWidget>

#include <functional>
#include <memory>

class QCloseEvent;
class QLabel;
class QListWidget;
class QLineEdit;
class QPushButton;
class QCheckBox;
class QComboBox;
class QLayout;
class QVBoxLayout;

namespace quadrantel::app {

class DialWidget;

// The main window: the goniometer's gauge, figures, lists and lights, bound to GonioForm.
class frmGonio final : public QWidget, public GonioHost {
    Q_OBJECT

public:
    explicit frmGonio(GonioServices services = {}, QWidget* parent = nullptr);
    ~frmGonio() override;

    GonioForm& form() { return *form_; }
    bool topmost() const { return topmost_; }
    // What closing the window shows; by default nothing, and the program ends with its last window.
    std::function<void()> onShowSetupWindow;

    // GonioHost
    void setTitle(const std::string& title) override;
    bool isMinimized() const override;
    float left() const override;
    float top() const override;
    float width() const override;
    float height() const override;
    float screenWidth() const override;
    float screenHeight() const override;
    void moveTo(float left, float top) override;
    bool titleBarOnScreen(float left, float top) const override;
    void setWindowPos(int insertAfter) override;
    void refreshIcon() override;
    void showSetupWindow() override;
    void unloadWindow() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void build();
    QLayout* buildFigures();
    QLayout* buildSwitches();
    QLayout* buildLights();
    void buildStationAndLists(QVBoxLayout* column);
    void buildButtonsAndMessages(QVBoxLayout* column);
    QLineEdit* readOnlyText(platform::TextBox& model);
    QLabel* caption(platform::Label& model);

    std::unique_ptr<GonioForm> form_;
    DialWidget* dial_ = nullptr;
    bool topmost_ = false;
    bool unloaded_ = false;
};

} // namespace quadrantel::app
