#pragma once

#include "app/GonioForm.h"

#include <functional>
#include <string>

namespace quadrantel::test {

// The window around the main window's behaviour: a 1024 x 768 screen at 96 DPI, in twips.
class FakeGonioHost : public app::GonioHost {
public:
    std::string title;
    float x = 0, y = 0;
    int insertAfter = 99;
    int setupShown = 0, unloads = 0;
    float desktopRight = 15000; // where the screens end to the right, less a title-bar grip

    void setTitle(const std::string& t) override { title = t; }
    bool isMinimized() const override { return false; }
    float left() const override { return x; }
    float top() const override { return y; }
    float width() const override { return 9000; }
    float height() const override { return 6000; }
    float screenWidth() const override { return 15360; }
    float screenHeight() const override { return 11520; }
    void moveTo(float l, float t) override
    {
        x = l;
        y = t;
    }
    bool titleBarOnScreen(float l, float t) const override
    {
        return l > -8000 && l < desktopRight && t > -300 && t < 11000;
    }
    void setWindowPos(int after) override { insertAfter = after; }
    void showSetupWindow() override { ++setupShown; }
    void unloadWindow() override
    {
        ++unloads;
        if (onUnload)
            onUnload();
    }
    std::function<void()> onUnload; // what closing the window runs, as the real window does
};

} // namespace quadrantel::test
