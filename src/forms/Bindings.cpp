#include "forms/Bindings.h"

#include "platform/Dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include <cstdint>
#include <memory>
#include <vector>

namespace quadrantel::forms {
namespace {

double Dpi(const QWidget* w)
{
    if (w)
        return w->logicalDpiX();
    if (const QScreen* s = QGuiApplication::primaryScreen())
        return s->logicalDotsPerInchX();
    return 96.0;
}

// Runs fn on every model change for as long as the widget lives.
template <typename W, typename F> void OnChange(platform::Control& model, W* w, F fn)
{
    QPointer<W> guard(w);
    model.changed.connect([guard, fn] {
        if (guard)
            fn(guard.data());
    });
    fn(w);
}

// Room for a long text before its window is laid out: wider than any designed caption.
constexpr int kDesignedChars = 40;

// Cuts each line (each word, when the label wraps) that is wider than room; sets cut.
QString Elided(const QString& text, const QFontMetrics& fm, int room, bool wrapped, bool& cut)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        QStringList pieces = wrapped ? line.split(QLatin1Char(' ')) : QStringList{line};
        for (QString& piece : pieces) {
            const QString e = fm.elidedText(piece, Qt::ElideRight, room);
            if (e != piece) {
                piece = e;
                cut = true;
            }
        }
        line = pieces.join(QLatin1Char(' '));
    }
    return lines.join(QLatin1Char('\n'));
}

// Keeps a label's text within the room its window was designed to give it: a long address,
// callsign or station name must not push the window past the screen. The whole text then
// goes to the tooltip.
class LabelFit final : public QObject {
public:
    LabelFit(QLabel* label, platform::Label& model) : QObject(label), label_(label), model_(model)
    {
        label->installEventFilter(this);
    }

    void apply()
    {
        const QString full = Q(model_.caption());
        const QFontMetrics fm = label_->fontMetrics();
        int room = fm.averageCharWidth() * kDesignedChars;
        if (label_->isVisible()) {
            const int indent = label_->indent() >= 0      ? label_->indent()
                               : label_->frameWidth() > 0 ? fm.horizontalAdvance(QLatin1Char('x')) / 2
                                                          : 0;
            room = label_->contentsRect().width() - 2 * (label_->margin() + indent);
        }
        bool cut = false;
        const QString shown = Elided(full, fm, std::max(room, 1), label_->wordWrap(), cut);
        if (label_->text() != shown)
            label_->setText(shown);
        label_->setToolTip(cut ? full : Q(model_.toolTip()));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == label_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
            apply();
        return false;
    }

private:
    QLabel* label_;
    platform::Label& model_;
};

} // namespace

int ToPixels(float twips, const QWidget* w)
{
    return static_cast<int>(std::lround(twips * Dpi(w) / 1440.0));
}

float ToTwips(int pixels, const QWidget* w)
{
    return static_cast<float>(pixels * 1440.0 / Dpi(w));
}

QPixmap PictureOf(platform::Picture picture, int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QColor c;
    switch (picture) {
    case platform::Picture::Red:
        c = QColor(220, 30, 30);
        break;
    case platform::Picture::Yellow:
        c = QColor(240, 200, 0);
        break;
    case platform::Picture::Blue:
        c = QColor(30, 90, 230);
        break;
    case platform::Picture::Green:
        c = QColor(20, 190, 40);
        break;
    case platform::Picture::On:
    case platform::Picture::Off: {
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const bool on = picture == platform::Picture::On;
        p.setBrush(on ? QColor(20, 190, 40) : QColor(120, 120, 120));
        p.setPen(Qt::black);
        p.drawRoundedRect(QRectF(1, size * 0.25, size - 2, size * 0.5), size * 0.25, size * 0.25);
        p.setBrush(Qt::white);
        const double d = size * 0.5 - 2;
        p.drawEllipse(QRectF(on ? size - d - 2 : 2, size * 0.25 + 1, d, d));
        return pm;
    }
    case platform::Picture::None:
        return QPixmap();
    }
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(size * 0.35, size * 0.35, size * 0.7);
    g.setColorAt(0, c.lighter(170));
    g.setColorAt(1, c.darker(130));
    p.setBrush(g);
    p.setPen(QPen(Qt::black, 1));
    p.drawEllipse(QRectF(0.5, 0.5, size - 1, size - 1));
    return pm;
}

void BindCommon(platform::Control& model, QWidget* w)
{
    OnChange(model, w, [&model](QWidget* x) {
        x->setVisible(model.visible());
        x->setEnabled(model.enabled());
        x->setToolTip(Q(model.toolTip()));
    });
    QPointer<QWidget> guard(w);
    model.focusHandler = [guard] {
        if (!guard || !guard->isVisible() || !guard->isEnabled())
            return false;
        guard->setFocus(Qt::OtherFocusReason);
        return true;
    };
    model.repaintRequested.connect([guard] {
        if (guard)
            guard->repaint();
    });
}

void Bind(platform::Label& model, QLabel* w)
{
    BindCommon(model, w);
    auto* fit = new LabelFit(w, model);
    OnChange(model, w, [fit](QLabel*) { fit->apply(); });
}

void Bind(platform::Image& model, QLabel* w)
{
    BindCommon(model, w);
    OnChange(model, w, [&model](QLabel* x) {
        const int size = std::max(8, std::min(x->width(), x->height()));
        x->setPixmap(PictureOf(model.picture(), size));
    });
}

void Bind(platform::TextBox& model, QLineEdit* w)
{
    BindCommon(model, w);
    OnChange(model, w, [&model](QLineEdit* x) {
        if (x->text() != Q(model.text()))
            x->setText(Q(model.text()));
        if (model.maxLength() > 0)
            x->setMaxLength(model.maxLength());
        const uint32_t c = model.foreColor();
        QPalette pal = x->palette();
        pal.setColor(QPalette::Text, QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
        x->setPalette(pal);
    });
    QObject::connect(w, &QLineEdit::textEdited, w, [&model](const QString& t) { model.setText(S(t)); });
}

void Bind(platform::Button& model, QPushButton* w)
{
    BindCommon(model, w);
    OnChange(model, w, [&model](QPushButton* x) { x->setText(Q(model.caption())); });
    QObject::connect(w, &QPushButton::clicked, w, [&model] { model.click(); });
}

void Bind(platform::CheckBox& model, QAbstractButton* w)
{
    BindCommon(model, w);
    w->setCheckable(true);
    OnChange(model, w, [&model](QAbstractButton* x) {
        x->setText(Q(model.caption()));
        const QSignalBlocker block(x);
        x->setChecked(model.value() == 1);
    });
    QObject::connect(w, &QAbstractButton::toggled, w, [&model](bool on) { model.setValue(on ? 1 : 0); });
}

namespace {

// What a list widget shows of its model's entries, so that a change of anything else costs
// nothing and a change of the entries touches only the rows after the ones that stayed.
class ShownEntries {
public:
    // Calls remove(from) when the rows from there on must go, then add(texts) with the new
    // rows; nothing when the entries did not change since the last call.
    template <typename Texts, typename Remove, typename Add>
    void sync(std::uint64_t revision, const Texts& texts, Remove remove, Add add)
    {
        if (revision == revision_)
            return;
        revision_ = revision;
        std::size_t kept = 0;
        while (kept < shown_.size() && kept < texts.size() && shown_[kept] == texts[kept])
            ++kept;
        if (kept < shown_.size())
            remove(static_cast<int>(kept));
        shown_.resize(kept);
        QStringList added;
        added.reserve(static_cast<qsizetype>(texts.size() - kept));
        for (std::size_t i = kept; i < texts.size(); ++i) {
            shown_.push_back(texts[i]);
            added.push_back(Q(texts[i]));
        }
        if (!added.isEmpty())
            add(added);
    }

private:
    std::uint64_t revision_ = ~std::uint64_t{0};
    std::vector<std::string> shown_;
};

// The texts of a list's entries, as a range the sync can index.
struct ListTexts {
    const std::vector<platform::ListBox::Item>& items;
    std::size_t size() const { return items.size(); }
    const std::string& operator[](std::size_t i) const { return items[i].text; }
};

} // namespace

void Bind(platform::ListBox& model, QListWidget* w)
{
    BindCommon(model, w);
    auto shown = std::make_shared<ShownEntries>();
    OnChange(model, w, [&model, shown](QListWidget* x) {
        const QSignalBlocker block(x);
        shown->sync(
            model.itemsRevision(), ListTexts{model.items()},
            [x](int from) {
                if (from == 0) {
                    x->clear();
                    return;
                }
                while (x->count() > from)
                    delete x->takeItem(x->count() - 1);
            },
            [x](const QStringList& added) { x->addItems(added); });
        x->setCurrentRow(model.listIndex());
        if (model.listIndex() < 0)
            x->clearSelection();
    });
    QObject::connect(w, &QListWidget::currentRowChanged, w, [&model](int row) {
        if (row != model.listIndex() && row < model.listCount())
            model.setListIndex(row);
    });
}

void Bind(platform::ComboBox& model, QComboBox* w)
{
    BindCommon(model, w);
    w->setEditable(true);
    w->setInsertPolicy(QComboBox::NoInsert); // the model alone holds the entries
    auto shown = std::make_shared<ShownEntries>();
    OnChange(model, w, [&model, shown](QComboBox* x) {
        const QSignalBlocker block(x);
        shown->sync(
            model.itemsRevision(), model.items(),
            [x](int from) {
                if (from == 0) {
                    x->clear();
                    return;
                }
                while (x->count() > from)
                    x->removeItem(x->count() - 1);
            },
            [x](const QStringList& added) { x->addItems(added); });
        x->setCurrentIndex(model.listIndex());
        x->setEditText(Q(model.text()));
    });
    QObject::connect(w, &QComboBox::currentTextChanged, w, [&model, w](const QString& t) {
        if (S(t) != model.text()) {
            const QSignalBlocker block(w);
            model.setText(S(t));
        }
    });
}

namespace {

class WidgetDialogs final : public platform::Dialogs {
public:
    int messageBox(const std::string& text, int buttonsAndIcon, const std::string& title) override
    {
        QMessageBox box(QApplication::activeWindow());
        box.setWindowTitle(Q(title.empty() ? std::string("Quadrantel") : title));
        box.setText(Q(text));
        switch (buttonsAndIcon & 0xF0) {
        case Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        case Question:
            box.setIcon(QMessageBox::Question);
            break;
        case Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case Information:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            break;
        }
        switch (buttonsAndIcon & 0x0F) {
        case 1:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case 4:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        default:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        }
        switch (box.exec()) {
        case QMessageBox::Cancel:
            return Cancel;
        case QMessageBox::Yes:
            return Yes;
        case QMessageBox::No:
            return No;
        default:
            return Ok;
        }
    }

    std::string inputBox(const std::string& prompt, const std::string& title, const std::string& defaultText) override
    {
        bool ok = false;
        const QString t = QInputDialog::getText(QApplication::activeWindow(), Q(title), Q(prompt), QLineEdit::Normal,
                                                Q(defaultText), &ok);
        return ok ? S(t) : std::string();
    }
};

} // namespace

void InstallWidgetDialogs()
{
    static WidgetDialogs dialogs;
    platform::SetDialogs(&dialogs);
}

} // namespace quadrantel::forms
