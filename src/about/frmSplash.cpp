#include "about/frmSplash.h"

#include "forms/Artwork.h"
#include "forms/Bindings.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

namespace quadrantel::about {

using forms::Bind;
using forms::ClickLabel;
using forms::Q;

frmSplash::frmSplash(const std::string& programFile, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), form_(std::make_unique<SplashForm>())
{
    setWindowTitle("Quadrantel");
    setWindowIcon(forms::ProgramIcon());
    QFont f("Tahoma");
    f.setPointSizeF(font().pointSizeF());
    setFont(f);
    form_->unloadWindow = [this] { close(); };
    form_->openUrl = [](const std::string& url) { QDesktopServices::openUrl(QUrl(Q(url))); };
    build();
    form_->Form_Load(programFile);
    adjustSize();
}

frmSplash::~frmSplash()
{
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
    form_.reset();
}

void frmSplash::build()
{
    SplashForm& f = *form_;
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 16, 16);

    auto* image1 = new ClickLabel(this);
    image1->setPixmap(forms::DialPicture(160));
    forms::BindCommon(f.Image1, image1); // its own picture, not one of the lights
    image1->clicked = [&f] { f.Image1.click(); };
    grid->addWidget(image1, 0, 0, 5, 1);

    auto* image2 = new QLabel(this); // a click falls through to the window
    image2->setPixmap(forms::DialPicture(32));
    forms::BindCommon(f.Image2, image2);
    grid->addWidget(image2, 0, 1, Qt::AlignLeft | Qt::AlignTop);

    // Two labels with one caption: the second, offset, makes a shadow behind the first.
    auto* titles = new QWidget(this);
    QFont serif("Times New Roman");
    serif.setStyleHint(QFont::Serif);
    serif.setPointSizeF(font().pointSizeF() * 2.4);
    serif.setBold(true);
    for (int i = 1; i >= 0; --i) {
        auto* t = new ClickLabel(titles);
        t->setFont(serif);
        t->setStyleSheet(i == 1 ? "color: rgb(150, 150, 150);" : "color: rgb(20, 60, 120);");
        Bind(f.lblTitle[static_cast<std::size_t>(i)], t);
        t->clicked = [&f, i] { f.lblTitle_Click(i); };
        t->adjustSize();
        t->move(i * 2, i * 2);
    }
    titles->setMinimumSize(QFontMetrics(serif).horizontalAdvance("Quadrantel") + 8, QFontMetrics(serif).height() + 4);
    grid->addWidget(titles, 1, 1);

    auto* info = new ClickLabel(this);
    info->setWordWrap(true);
    info->setMinimumWidth(280);
    Bind(f.lblInfo, info);
    info->clicked = [&f] { f.lblInfo_Click(); };
    // The loading notice is appended after load: make room for it.
    f.lblInfo.changed.connect([this] {
        if (layout())
            layout()->activate();
        adjustSize();
    });
    grid->addWidget(info, 2, 1);

    auto* version = new ClickLabel(this); // swallows its clicks: the window stays open
    Bind(f.lblVersion, version);
    grid->addWidget(version, 3, 1);

    auto* home = new ClickLabel(this);
    home->setCursor(Qt::PointingHandCursor);
    home->setStyleSheet("color: rgb(0, 0, 238); text-decoration: underline;");
    Bind(f.lblHome, home);
    home->clicked = [&f] { f.lblHome_Click(); };
    grid->addWidget(home, 4, 1);
}

void frmSplash::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() == Qt::LeftButton)
        form_->Form_Click();
}

void frmSplash::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.setPen(QPen(QColor(90, 90, 90), 2));
    p.drawRect(rect().adjusted(1, 1, -1, -1));
}

} // namespace quadrantel::about
