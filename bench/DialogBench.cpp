// Prints how long a whole upgrade takes through the dialog (real widgets, offscreen, one update per
// acknowledged piece) against upgrader-cli on the same image and the same kind of loopback camera.
#include "FastCamera.h"
#include "MessageBoxes.h"
#include "UpgraderDlg.h"

#include <QApplication>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kMiB = 1024 * 1024;
constexpr std::size_t kImageSize = 64 * kMiB;
constexpr int kRounds = 5;
constexpr int kCliLimitMs = 120000;
constexpr std::uint32_t kLoopback = 0x7F000001u;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Every box is dismissed at once, as an operator pressing OK without delay would.
class InstantBoxes : public CMessageBoxes {
public:
    void Show(QWidget*, const MessageBoxRequest& request) override { last = request.text; }
    void CloseAll() override {}
    QString last;
};

double DialogUpgrade(const std::string& path, QString& verdict)
{
    FastCamera camera(1);
    InstantBoxes boxes;
    DialogSeams seams;
    seams.boxes = &boxes;
    CUpgraderDlg dlg(nullptr, seams);
    dlg.show();
    dlg.PrefillAddress(kLoopback);
    dlg.PrefillPort(QString::number(camera.Port()));
    dlg.PrefillFirmware(QString::fromLocal8Bit(path.c_str()));
    QCoreApplication::processEvents();

    // A timer keeps the loop turning so the end of the worker is seen without a hand-over to wake it.
    QTimer tick;
    tick.start(1);
    const auto start = Clock::now();
    dlg.OnStartUpgrade();
    while (dlg.WorkerRunning())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double elapsed = Seconds(Clock::now() - start);
    verdict = boxes.last;
    return elapsed;
}

double CliUpgrade(const QString& cli, const std::string& path, int& exitCode)
{
    FastCamera camera(1);
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice()); // plain progress lines, as in a script
    const auto start = Clock::now();
    process.start(cli, {"--ip", "127.0.0.1", "--port", QString::number(camera.Port()),
                        QString::fromLocal8Bit(path.c_str())});
    process.waitForFinished(kCliLimitMs);
    const double elapsed = Seconds(Clock::now() - start);
    exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return elapsed;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString cli = QCoreApplication::applicationDirPath() + "/upgrader-cli";

    char pathTemplate[] = "/tmp/dialog-bench-XXXXXX.frm";
    const int fd = mkstemps(pathTemplate, 4);
    close(fd);
    const std::string path = pathTemplate;
    {
        std::vector<char> image(kImageSize);
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<char>(i * 2654435761u >> 13);
        image[0] = 'F';
        std::ofstream(path, std::ios::binary).write(image.data(), static_cast<std::streamsize>(image.size()));
    }

    std::vector<double> dialogTimes, cliTimes;
    QString verdict;
    int exitCode = 0;
    for (int round = 0; round < kRounds; ++round) {
        dialogTimes.push_back(DialogUpgrade(path, verdict));
        cliTimes.push_back(CliUpgrade(cli, path, exitCode));
    }
    std::remove(path.c_str());

    const double dialogS = Median(dialogTimes), cliS = Median(cliTimes);
    std::printf("dialog verdict:             %s\n", verdict.toLocal8Bit().constData());
    std::printf("upgrader-cli exit status:   %d\n", exitCode);
    std::printf("dialog, 64 MiB image:       %.3f s (median of %d)\n", dialogS, kRounds);
    std::printf("upgrader-cli, same image:   %.3f s\n", cliS);
    std::printf("dialog / command line:      %.3f (target <= 1.15)\n", dialogS / cliS);
    return verdict == "Firmware upgrade completed" && exitCode == 0 ? 0 : 1;
}
