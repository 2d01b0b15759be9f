// upgrader-screenshot: shows the upgrader dialog on the display it is given (scripts/screenshot starts a
// virtual one), in the state of an upgrade whose camera is writing its flash, and saves a PNG of it.
#include "AppName.h"
#include "UpgraderDlg.h"

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <cstdio>

namespace {
constexpr std::uint32_t kLoopback = 0x7F000001u;
constexpr std::uint32_t kFlashTotal = 100;
constexpr std::uint32_t kFlashWritten = 62;
constexpr int kExposeWaitMs = 5000;
constexpr int kSettleMs = 200;
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(ApplicationName());
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
        return 2;
    }
    CUpgraderDlg dlg;
    dlg.PrefillAddress(kLoopback);
    dlg.PrefillFirmware(QStringLiteral("/srv/firmware/camera-2.4.1.frm"));
    // The same operations the worker performs while the camera writes its flash memory.
    dlg.EnableButtons(false);
    dlg.SetStatusText("Writing flash memory");
    dlg.SetProgressRange(kFlashTotal);
    dlg.SetProgressPos(kFlashWritten);
    dlg.ShowMembers();

    dlg.show();
    if (!QTest::qWaitForWindowExposed(&dlg, kExposeWaitMs)) {
        std::fprintf(stderr, "the dialog was never shown\n");
        return 1;
    }
    QTest::qWait(kSettleMs); // let the first paint reach the display
    const QPixmap shot = dlg.screen()->grabWindow(dlg.winId());
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "could not save %s\n", argv[1]);
        return 1;
    }
    return 0;
}
