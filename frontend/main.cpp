#include "AppName.h"
#include "UpgraderApp.h"

#include <QApplication>

namespace {
CUpgraderApp theApp; // the one application object
}

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(ApplicationName());
    theApp.InitInstance(QApplication::arguments());
    return 0; // the exit status carries no meaning
}
