#include "app/frmGonio.h"

#include "forms/Bindings.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include <cmath>

namespace quadrantel::app {

using forms::Bind;
using forms::Q;
using forms::ToPixels;
using forms::ToTwips;

// The dial: the monitor picture, the gauge face and the needle with its label, drawn from
// the models' twips geometry.
class DialWidget final : public QWidget {
public:
    // Room around the dial for the bearing label, which sits outside the needle's tip.
    static constexpr int kMarginX = 800;
    static constexpr int kMarginY = 300;

    explicit DialWidget(GonioForm& f, QWidget* parent) : QWidget(parent), f_(f)
    {
        setFixedSize(ToPixels(3600 + 2 * kMarginX, this), ToPixels(3600 + 2 * kMarginY, this));
        for (platform::Control* c : std::initializer_list<platform::Control*>{&f.Shape1, &f.Line1, &f.Line2, &f.Line3,
                                                                              &f.lblHdg, &f.imgMonitor})
            c->changed.connect([this] { update(); });
        f.lblHdg.repaintRequested.connect([this] { repaint(); });
        f.gauge().callersChanged.connect([this] { update(); });
    }

protected:
    void mousePressEvent(QMouseEvent*) override {}

    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const auto px = [this](float t) { return t * logicalDpiX() / 1440.0; };
        if (f_.imgMonitor.visible()) {
            QLinearGradient g(0, 0, 0, height());
            g.setColorAt(0, QColor(40, 48, 56));
            g.setColorAt(1, QColor(14, 18, 22));
            p.fillRect(rect(), g);
        } else {
            p.fillRect(rect(), palette().window());
        }
        p.translate(px(kMarginX), px(kMarginY));
        if (f_.Shape1.visible()) {
            const platform::Bounds& s = f_.Shape1.rect();
            const QRectF face(px(s.left), px(s.top), px(s.width), px(s.height));
            p.setPen(QPen(QColor(150, 200, 160), 2));
            p.setBrush(QColor(10, 30, 20));
            if (f_.Shape1.kind() == platform::Shape::Rectangle)
                p.drawRect(face);
            else
                p.drawEllipse(face);
            // Scale: a tick every 10 degrees, longer every 30, and the cardinal letters.
            const QPointF c = face.center();
            const double r = face.width() / 2;
            p.setPen(QPen(QColor(120, 170, 130), 1));
            for (int deg = 0; deg < 360; deg += 10) {
                const double a = deg * M_PI / 180;
                const double inner = r - (deg % 30 == 0 ? 10 : 5);
                p.drawLine(QPointF(c.x() + inner * std::sin(a), c.y() - inner * std::cos(a)),
                           QPointF(c.x() + r * std::sin(a), c.y() - r * std::cos(a)));
            }
            p.setPen(QColor(180, 220, 190));
            const char* names[] = {"N", "E", "S", "W"};
            for (int i = 0; i < 4; ++i) {
                const double a = i * M_PI / 2;
                const QPointF at(c.x() + (r - 22) * std::sin(a), c.y() - (r - 22) * std::cos(a));
                p.drawText(QRectF(at.x() - 10, at.y() - 10, 20, 20), Qt::AlignCenter, names[i]);
            }
        }
        // The other callers, under the reading's needle: thinner, amber, named inside the rim.
        if (f_.lblHdg.visible()) {
            const QColor amber(255, 176, 64);
            for (const gonio::CallerNeedle& n : f_.gauge().callers()) {
                p.setPen(QPen(amber, 1.5, Qt::SolidLine, Qt::RoundCap));
                p.drawLine(QPointF(px(n.line[0]), px(n.line[1])), QPointF(px(n.line[2]), px(n.line[3])));
                p.drawText(QRectF(px(n.label.left), px(n.label.top), px(n.label.width), px(n.label.height)),
                           Qt::AlignCenter, Q(n.callsign));
            }
        }
        p.setPen(QPen(QColor(60, 255, 90), 3, Qt::SolidLine, Qt::RoundCap));
        for (const platform::Line* l : {&f_.Line1, &f_.Line2, &f_.Line3})
            if (l->visible())
                p.drawLine(QPointF(px(l->x1()), px(l->y1())), QPointF(px(l->x2()), px(l->y2())));
        if (f_.lblHdg.visible()) {
            const platform::Bounds& b = f_.lblHdg.rect();
            p.setPen(QColor(255, 240, 120));
            p.drawText(QRectF(px(b.left), px(b.top), px(b.width), px(b.height)), Qt::AlignCenter,
                       Q(f_.lblHdg.caption()));
        }
    }

private:
    GonioForm& f_;
};

namespace {

// A picture control that reports clicks.
class ClickLabel final : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> clicked;

protected:
    void mousePressEvent(QMouseEvent*) override
    {
        if (clicked)
            clicked();
    }
};

QLabel* Light(QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setFixedSize(16, 16);
    return l;
}

} // namespace

frmGonio::frmGonio(GonioServices services, QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Quadrantel");
    if (!services.measure)
        services.measure = [this](const std::string& caption) {
            const QFontMetrics fm(font());
            return std::pair<float, float>(ToTwips(fm.horizontalAdvance(Q(caption)), this), ToTwips(fm.height(), this));
        };
    form_ = std::make_unique<GonioForm>(*this, std::move(services));
    build();
    adjustSize();
    form_->Form_Load();
}

frmGonio::~frmGonio()
{
    if (!unloaded_ && form_->loaded())
        form_->Form_Unload();
    // The models outlive nothing that refers to them: drop the widgets first.
    const auto children = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    qDeleteAll(children);
    form_.reset();
}

void frmGonio::build()
{
    auto* root = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    root->addLayout(left);
    dial_ = new DialWidget(*form_, this);
    form_->imgMonitor.move(0, 0, 3600, 3600);
    form_->Shape1.move(150, 120, 3300, 3360);
    left->addWidget(dial_, 0, Qt::AlignHCenter);
    left->addLayout(buildFigures());
    left->addLayout(buildSwitches());

    // Right: station, traffic, voice and link.
    auto* right = new QVBoxLayout;
    root->addLayout(right);
    buildStationAndLists(right);
    right->addLayout(buildLights());
    buildButtonsAndMessages(right);
}

QLineEdit* frmGonio::readOnlyText(platform::TextBox& model)
{
    auto* text = new QLineEdit(this);
    text->setReadOnly(true);
    Bind(model, text);
    return text;
}

QLabel* frmGonio::caption(platform::Label& model)
{
    auto* label = new QLabel(this);
    Bind(model, label);
    return label;
}

QLayout* frmGonio::buildFigures()
{
    GonioForm& f = *form_;
    auto* figures = new QGridLayout;
    QLineEdit* qdm = readOnlyText(f.txtQDM);
    QLineEdit* qdr = readOnlyText(f.txtQDR);
    QFont big = qdm->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    for (QLineEdit* bearing : {qdm, qdr}) {
        bearing->setAlignment(Qt::AlignCenter);
        bearing->setFont(big);
    }
    figures->addWidget(caption(f.Label4), 0, 0);
    figures->addWidget(qdm, 0, 1);
    figures->addWidget(caption(f.Label1), 1, 0);
    figures->addWidget(qdr, 1, 1);
    figures->addWidget(caption(f.Label6), 2, 0);
    figures->addWidget(readOnlyText(f.txtGonio), 2, 1);
    auto* signal = new QFrame(this);
    signal->setStyleSheet("background-color: rgb(20, 190, 40);");
    forms::BindCommon(f.imgSignal, signal);
    f.imgSignal.changed.connect([signal, &f] {
        signal->setFixedSize(std::max(1, ToPixels(f.imgSignal.rect().width, signal) / 2),
                             std::max(1, ToPixels(f.imgSignal.rect().height, signal)));
    });
    figures->addWidget(caption(f.Label9), 3, 0);
    figures->addWidget(signal, 3, 1, Qt::AlignLeft);
    return figures;
}

QLayout* frmGonio::buildSwitches()
{
    GonioForm& f = *form_;
    auto* switches = new QHBoxLayout;
    auto* imgGonio = new ClickLabel(this);
    imgGonio->setFixedSize(32, 20);
    Bind(f.imgGonio, imgGonio);
    imgGonio->clicked = [&f] { f.imgGonio.click(); };
    switches->addWidget(imgGonio);
    auto* chkGonio = new QCheckBox(this);
    Bind(f.chkGonio, chkGonio);
    switches->addWidget(chkGonio);
    auto* chkLock = new QCheckBox(this);
    Bind(f.chkLock, chkLock);
    switches->addWidget(chkLock);
    auto* test = new QPushButton(this);
    Bind(f.cmdPicTowrix, test);
    switches->addWidget(test);
    auto* last = new QPushButton(this);
    Bind(f.cmdLast, last);
    last->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    switches->addWidget(last);
    auto* speak = Light(this);
    Bind(f.imgSpeak, speak);
    switches->addWidget(speak);
    return switches;
}

void frmGonio::buildStationAndLists(QVBoxLayout* column)
{
    GonioForm& f = *form_;
    auto* station = new QComboBox(this);
    station->setMinimumContentsLength(30);
    Bind(f.txtStation, station);
    column->addWidget(caption(f.Label3));
    column->addWidget(station);

    auto* lists = new QHBoxLayout;
    column->addLayout(lists);
    auto* strips = new QListWidget(this);
    strips->setUniformItemSizes(true); // thousands of strips: no per-item measuring when refilled
    Bind(f.lstStrips, strips);
    lists->addWidget(strips);
    auto* voiceLists = new QVBoxLayout;
    lists->addLayout(voiceLists);
    auto* speakers = new QListWidget(this);
    speakers->setMaximumHeight(70);
    Bind(f.lstSpeakers, speakers);
    auto* users = new QListWidget(this);
    users->setUniformItemSizes(true);
    Bind(f.lstUsers, users);
    voiceLists->addWidget(caption(f.Label7));
    voiceLists->addWidget(speakers);
    voiceLists->addWidget(users);
}

QLayout* frmGonio::buildLights()
{
    GonioForm& f = *form_;
    auto* lights = new QGridLayout;
    const auto addLight = [&](int row, platform::Label& label, platform::Image& light) {
        auto* l = Light(this);
        Bind(light, l);
        lights->addWidget(caption(label), row, 0);
        lights->addWidget(l, row, 1);
    };
    addLight(0, f.Label2, f.lblState);
    addLight(1, f.Label5, f.lblStatus);
    addLight(2, f.Label8, f.imgData);
    addLight(3, f.lblFeedCaption, f.imgFeed);
    auto* pulse = new QFrame(this);
    pulse->setFixedSize(16, 16);
    forms::BindCommon(f.shapeRate, pulse);
    f.shapeRate.changed.connect([pulse, &f] {
        const uint32_t c = f.shapeRate.backColor();
        pulse->setStyleSheet(
            QString("background-color: rgb(%1, %2, %3);").arg(c & 0xFF).arg((c >> 8) & 0xFF).arg((c >> 16) & 0xFF));
    });
    lights->addWidget(caption(f.lblRate), 2, 2);
    lights->addWidget(pulse, 2, 3);
    lights->setColumnStretch(4, 1); // keep the lights beside their captions
    return lights;
}

void frmGonio::buildButtonsAndMessages(QVBoxLayout* column)
{
    GonioForm& f = *form_;
    auto* buttons = new QHBoxLayout;
    column->addLayout(buttons);
    auto* connect = new QPushButton(this);
    Bind(f.cmdConnect, connect);
    auto* close = new QPushButton(this);
    Bind(f.cmdClose, close);
    auto* autoConnect = new QCheckBox(this);
    Bind(f.chkAutoConnect, autoConnect);
    auto* onTop = new QCheckBox(this);
    Bind(f.chkOnTop, onTop);
    buttons->addWidget(connect);
    buttons->addWidget(close);
    buttons->addWidget(autoConnect);
    buttons->addWidget(onTop);

    column->addWidget(caption(f.Label11));
    column->addWidget(readOnlyText(f.txtStatus));

    auto* error = new QLabel(this);
    error->setWordWrap(true);
    error->setMinimumHeight(36);
    error->setFrameShape(QFrame::StyledPanel);
    Bind(f.lblError, error);
    column->addWidget(error);

    // The button geometry the load step copies from cmdConnect.
    f.cmdConnect.move(0, 0, ToTwips(connect->sizeHint().width(), this), ToTwips(connect->sizeHint().height(), this));
    f.cmdClose.move(0, 0, ToTwips(close->sizeHint().width(), this), ToTwips(close->sizeHint().height(), this));
}

void frmGonio::setTitle(const std::string& title)
{
    setWindowTitle(Q(title));
}

bool frmGonio::isMinimized() const
{
    return QWidget::isMinimized();
}

float frmGonio::left() const
{
    return ToTwips(pos().x(), this);
}
float frmGonio::top() const
{
    return ToTwips(pos().y(), this);
}
float frmGonio::width() const
{
    return ToTwips(frameGeometry().width(), this);
}
float frmGonio::height() const
{
    return ToTwips(frameGeometry().height(), this);
}

float frmGonio::screenWidth() const
{
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? ToTwips(s->geometry().width(), this) : 0;
}

float frmGonio::screenHeight() const
{
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? ToTwips(s->geometry().height(), this) : 0;
}

void frmGonio::moveTo(float left, float top)
{
    move(ToPixels(left, this), ToPixels(top, this));
}

bool frmGonio::titleBarOnScreen(float left, float top) const
{
    // A grip of the title bar: a little right of the left edge, a little below the top.
    const QPoint grip(ToPixels(left, this) + 40, ToPixels(top, this) + 10);
    for (const QScreen* s : QGuiApplication::screens())
        if (s->availableGeometry().contains(grip) || s->geometry().contains(grip))
            return true;
    return false;
}

void frmGonio::setWindowPos(int insertAfter)
{
    const bool on = insertAfter == -1;
    topmost_ = on;
    if (QWindow* w = windowHandle()) {
        w->setFlag(Qt::WindowStaysOnTopHint, on);
        if (insertAfter == 0)
            w->raise();
        return;
    }
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
}

void frmGonio::refreshIcon()
{
    setWindowIcon(QApplication::windowIcon());
}

void frmGonio::showSetupWindow()
{
    if (onShowSetupWindow)
        onShowSetupWindow();
}

void frmGonio::unloadWindow()
{
    close();
}

void frmGonio::closeEvent(QCloseEvent* event)
{
    if (!unloaded_ && form_->DeferUnload()) {
        event->ignore();
        return;
    }
    if (!unloaded_) {
        unloaded_ = true;
        form_->Form_Unload();
    }
    event->accept();
}

void frmGonio::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        form_->Form_Activate();
    QWidget::changeEvent(event);
}

} // namespace quadrantel::app
