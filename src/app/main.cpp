#include "app/frmGonio.h"
#include "forms/Bindings.h"
#include "shell/Config.h"

#include <QApplication>

using namespace quadrantel;

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    shell::SetupDataFolder(shell::ChooseDataRoot());
    shell::ReadConfig();
    forms::InstallWidgetDialogs();
    auto* w = new app::frmGonio;
    w->form().SetAutostart();
    w->show();
    return qapp.exec();
}
