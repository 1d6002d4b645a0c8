#include "stations/frmPosition.h"

#include "forms/Bindings.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quadrantel::stations {

using forms::Bind;

frmPosition::frmPosition(PositionForm& f, QWidget* parent) : QDialog(parent), form_(f)
{
    setWindowTitle(PositionForm::kTitle);
    auto* root = new QVBoxLayout(this);

    auto* position = new QLabel(this);
    QFont bold = position->font();
    bold.setBold(true);
    position->setFont(bold);
    Bind(f.lblPosition, position);
    root->addWidget(position);
    auto* info = new QLabel(this);
    info->setWordWrap(true);
    Bind(f.lblInfo, info);
    root->addWidget(info);

    auto* grid = new QGridLayout;
    root->addLayout(grid);
    const auto row = [&](int r, platform::Label& caption, platform::TextBox& box) {
        auto* c = new QLabel(this);
        Bind(caption, c);
        auto* e = new QLineEdit(this);
        Bind(box, e);
        c->setBuddy(e);
        grid->addWidget(c, r, 0);
        grid->addWidget(e, r, 1);
        return e;
    };
    row(0, f.Label2, f.txtLat);
    row(1, f.Label3, f.txtLong);
    row(2, f.Label4, f.txtApt);
    auto* apt = new QPushButton(this);
    apt->setAutoDefault(false);
    Bind(f.cmdApt, apt);
    grid->addWidget(apt, 2, 2);

    auto* buttons = new QHBoxLayout;
    root->addLayout(buttons);
    buttons->addStretch();
    auto* ok = new QPushButton(this);
    ok->setDefault(true);
    Bind(f.cmdOk, ok);
    auto* cancel = new QPushButton(this);
    cancel->setAutoDefault(false);
    Bind(f.cmdCancel, cancel);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    // Closing by the title bar or Escape is the same as Cancel: nothing is confirmed.
    f.unloadWindow = [this] {
        done(form_.closed() && !sLatitude.empty() && !sLongitude.empty() ? Accepted : Rejected);
    };
}

frmPosition::~frmPosition()
{
    form_.unloadWindow = nullptr;
    // The widgets' signals refer to the models: drop them while the models still live.
    qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

} // namespace quadrantel::stations
