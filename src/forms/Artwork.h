#pragma once

#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

#include <functional>

namespace quadrantel::forms {

// The program's picture: a direction-finder dial with its needle, drawn at any size.
QPixmap DialPicture(int size);
// The window icon, from the same drawing.
QIcon ProgramIcon();

// A label that reports a left click and keeps the click from reaching its window.
class ClickLabel final : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> clicked; // none: the click is swallowed

protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        e->accept();
        if (e->button() == Qt::LeftButton && clicked)
            clicked();
    }
};

} // namespace quadrantel::forms
