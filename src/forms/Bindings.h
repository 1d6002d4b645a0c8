#pragma once

#include "platform/Controls.h"

#include <QPixmap>

class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

// The widget side of the control models: each Bind keeps a widget showing its model and
// hands the user's actions back to the model, which raises the behaviour's events.
namespace quadrantel::forms {

// Twips to pixels and back, with the screen's logical DPI (15 twips a pixel at 96 DPI).
int ToPixels(float twips, const QWidget* w = nullptr);
float ToTwips(int pixels, const QWidget* w = nullptr);

// The pictures the lights and the switch copy from.
QPixmap PictureOf(platform::Picture picture, int size = 15);

void Bind(platform::Label& model, QLabel* w);
void Bind(platform::Image& model, QLabel* w);
void Bind(platform::TextBox& model, QLineEdit* w);
void Bind(platform::Button& model, QPushButton* w);
void Bind(platform::CheckBox& model, QAbstractButton* w);
void Bind(platform::ListBox& model, QListWidget* w);
void Bind(platform::ComboBox& model, QComboBox* w);

// Common properties only (visibility, enabled state, tooltip, focus, repaint).
void BindCommon(platform::Control& model, QWidget* w);

inline QString Q(const std::string& s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
inline std::string S(const QString& s)
{
    const QByteArray b = s.toLatin1();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

// Message and input boxes on the screen.
void InstallWidgetDialogs();

} // namespace quadrantel::forms
