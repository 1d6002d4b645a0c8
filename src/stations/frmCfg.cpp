#include "stations/frmCfg.h"

#include "forms/Artwork.h"
#include "forms/Bindings.h"
#include "stations/frmPosition.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quadrantel::stations {

using forms::Bind;
using forms::Q;
using forms::ToPixels;
using forms::ToTwips;

frmCfg::frmCfg(CfgHooks hooks, QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(forms::ProgramIcon());
    hooks.setTitle = [this](const std::string& t) { setWindowTitle(Q(t)); };
    hooks.resize = [this](float w, float h) { resize(ToPixels(w, this), ToPixels(h, this)); };
    hooks.unloadWindow = [this] { close(); };
    hooks.showPosition = [this](PositionForm& f) {
        frmPosition dialog(f, this);
        dialog.exec();
    };
    form_ = std::make_unique<CfgForm>(std::move(hooks));
    build();
    form_->Form_Load();
}

frmCfg::~frmCfg()
{
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
    form_.reset();
}

void frmCfg::build()
{
    CfgForm& f = *form_;
    setWindowTitle("Sarvelle Setup");
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);

    auto* frame = new QGroupBox(Q(f.frameConfig.caption()), this);
    root->addWidget(frame);
    auto* grid = new QGridLayout(frame);

    auto* picture = new QLabel(frame);
    picture->setPixmap(forms::DialPicture(48));
    forms::BindCommon(f.Image1, picture);
    grid->addWidget(picture, 0, 0, 2, 1, Qt::AlignTop);

    auto* label3 = new QLabel(frame);
    Bind(f.Label3, label3);
    grid->addWidget(label3, 0, 1, 1, 3);
    auto* station = new QComboBox(frame);
    station->setMinimumContentsLength(36);
    station->setInsertPolicy(QComboBox::NoInsert);
    Bind(f.txtStation, station);
    label3->setBuddy(station);
    grid->addWidget(station, 1, 1, 1, 3);
    auto* add = new QPushButton(frame);
    Bind(f.cmdAdd, add);
    auto* remove = new QPushButton(frame);
    Bind(f.cmdRemove, remove);
    auto* stationButtons = new QHBoxLayout;
    stationButtons->addWidget(add);
    stationButtons->addWidget(remove);
    stationButtons->addStretch();
    grid->addLayout(stationButtons, 2, 1, 1, 3);

    // A caption and its box on grid row r.
    const auto field = [&](int r, platform::Label& caption, auto& box, auto* widget) {
        auto* c = new QLabel(frame);
        Bind(caption, c);
        Bind(box, widget);
        c->setBuddy(widget);
        grid->addWidget(c, r, 1);
        grid->addWidget(widget, r, 2, 1, 2);
        return widget;
    };
    txtMe_ = field(3, f.Label1, f.txtMe, new QLineEdit(frame));
    field(4, f.Label2, f.txtAddress, new QLineEdit(frame));
    txtPort_ = field(5, f.Label6, f.txtPort, new QLineEdit(frame));
    txtMe_->installEventFilter(this);
    txtPort_->installEventFilter(this);

    field(6, f.lblVoice, f.cboVoice, new QComboBox(frame))->setEditable(false); // a choice of two, nothing to type
    field(7, f.lblVoiceURL, f.txtVoiceURL, new QLineEdit(frame));
    auto* frequencies = new QComboBox(frame);
    frequencies->setInsertPolicy(QComboBox::NoInsert); // typed lists are not offered again
    field(8, f.lblVoiceFrequencies, f.cboVoiceFrequencies, frequencies);
    field(9, f.lblPositions, f.cboPositions, new QComboBox(frame))->setEditable(false);
    field(10, f.lblFeedURL, f.txtFeedURL, new QLineEdit(frame));

    auto* options = new QGroupBox(Q(f.frameOptions.caption()), frame);
    auto* optionsLayout = new QHBoxLayout(options);
    auto* autostart = new QCheckBox(options);
    Bind(f.chkAutostart, autostart);
    auto* onTop = new QCheckBox(options);
    Bind(f.chkOnTop, onTop);
    optionsLayout->addWidget(autostart);
    optionsLayout->addWidget(onTop);
    grid->addWidget(options, 11, 0, 1, 4);

    auto* buttons = new QHBoxLayout;
    auto* about = new QPushButton(frame);
    Bind(f.cmdAbout, about);
    auto* exit = new QPushButton(frame);
    Bind(f.cmdExit, exit);
    auto* enable = new QPushButton(frame);
    enable->setDefault(true);
    Bind(f.cmdEnable, enable);
    buttons->addWidget(about);
    buttons->addStretch();
    buttons->addWidget(exit);
    buttons->addWidget(enable);
    grid->addLayout(buttons, 12, 0, 1, 4);

    // The window is sized to the frame at load; the frame's size is what its contents need.
    const QSize need = frame->sizeHint();
    f.frameConfig.move(0, 0, ToTwips(need.width(), this), ToTwips(need.height(), this));
}

bool frmCfg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        if (watched == txtMe_)
            form_->txtMe_LostFocus();
        else if (watched == txtPort_)
            form_->txtPort_LostFocus();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace quadrantel::stations
