#include "UpgraderApp.h"

#include "AppName.h"
#include "DialogTexts.h"
#include "MessageBoxes.h"
#include "NetStartup.h"
#include "StartupOptions.h"
#include "UpgraderDlg.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <cstdio>

bool CUpgraderApp::InitInstance(const QStringList& arguments)
{
    StartSockets();
    const StartupOptions options = ParseStartupOptions(arguments);
    for (const QString& problem : options.problems)
        std::fprintf(stderr, "%s: %s\n", qPrintable(ApplicationName()), qPrintable(problem));

    CUpgraderDlg dlg;
    if (options.address)
        dlg.PrefillAddress(*options.address);
    if (options.port)
        dlg.PrefillPort(*options.port);
    if (options.firmware)
        dlg.PrefillFirmware(*options.firmware);
    dlg.SetHelpHandler([&dlg] { OnHelp(&dlg, dlg.MessageBoxes()); });
    dlg.DoModal();
    return false;
}

void CUpgraderApp::StartSockets()
{
    // Where sockets need no start-up call this shows nothing; otherwise start-up goes on after either box.
    const NetStartupResult net = NetStartup();
    CQtMessageBoxes boxes;
    MessageBoxRequest request;
    request.caption = ApplicationName();
    request.icon = QMessageBox::Warning;
    if (!net.Succeeded()) {
        request.text = QString::fromLatin1(dlgtext::kSocketsStartFailed).arg(net.error);
        boxes.Show(nullptr, request);
    }
    if (!net.VersionUsable()) {
        request.text = QString::fromLatin1(dlgtext::kSocketsVersionUnusable);
        boxes.Show(nullptr, request);
    }
}

QString CUpgraderApp::HelpFilePath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(ApplicationName() + QStringLiteral(".HLP"));
}

void CUpgraderApp::OnHelp(QWidget* owner, CMessageBoxes& boxes)
{
    const QString path = HelpFilePath();
    if (QFileInfo::exists(path) && QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return;
    MessageBoxRequest request;
    request.caption = ApplicationName();
    request.text = QString::fromLatin1(dlgtext::kHelpFailed);
    request.icon = QMessageBox::Warning;
    boxes.Show(owner, request);
}
