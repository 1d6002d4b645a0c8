#pragma once

#include <QAbstractButton>
#include <QString>
#include <QWidget>

namespace quadrantel::test {

// The button with this caption in a window, or null.
inline QAbstractButton* ButtonNamed(QWidget& window, const QString& text)
{
    for (QAbstractButton* b : window.findChildren<QAbstractButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace quadrantel::test
