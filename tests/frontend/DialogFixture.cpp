#include "DialogFixture.h"

#include <QApplication>
#include <QFile>
#include <QTest>
#include <cstdio>
#include <cstdlib>

namespace {
constexpr int kHangLimitMs = 90000;
constexpr std::uint8_t kLoopbackFirstByte = 127;
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

void TypeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

void RecordingBoxes::Show(QWidget* owner, const MessageBoxRequest& request)
{
    boxes.push_back({owner, request});
    if (onShow)
        onShow(boxes.back());
}

QStringList RecordingBoxes::Texts() const
{
    QStringList texts;
    for (const Box& box : boxes)
        texts << box.request.text;
    return texts;
}

std::optional<QString> ScriptedChooser::ChooseToOpen(QWidget* owner, const FileChooserRequest& request)
{
    requests.push_back(request);
    owners.push_back(owner);
    return answer;
}

HangGuard::HangGuard(int limitMs)
{
    m_thread = std::thread([this, limitMs] {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_done.wait_for(lock, std::chrono::milliseconds(limitMs), [this] { return m_finished; })) {
            std::fprintf(stderr, "test hung for %d ms: aborting\n", limitMs);
            std::abort();
        }
    });
}

HangGuard::~HangGuard()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finished = true;
    }
    m_done.notify_all();
    m_thread.join();
}

void DialogFixture::SetUp()
{
    m_guard = std::make_unique<HangGuard>(kHangLimitMs);
    ASSERT_TRUE(dir.isValid());
}

void DialogFixture::TearDown()
{
    dlg.reset();
    m_guard.reset();
}

void DialogFixture::MakeDialog(bool realBoxes)
{
    DialogSeams seams;
    seams.boxes = realBoxes ? nullptr : &boxes;
    seams.chooser = &chooser;
    dlg = std::make_unique<CUpgraderDlg>(nullptr, seams);
    dlg->show();
    QApplication::setActiveWindow(dlg.get());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
}

QLineEdit* DialogFixture::Field(int id) const
{
    return dlg->findChild<QLineEdit*>(QStringLiteral("IDC_%1").arg(id));
}

QPushButton* DialogFixture::Button(int id) const
{
    return dlg->findChild<QPushButton*>(QStringLiteral("IDC_%1").arg(id));
}

QLabel* DialogFixture::Status() const
{
    return dlg->findChild<QLabel*>(QStringLiteral("IDC_%1").arg(IDC_STATUS));
}

QProgressBar* DialogFixture::Progress() const
{
    return dlg->findChild<QProgressBar*>(QStringLiteral("IDC_%1").arg(IDC_PROGRESS));
}

CIPAddressCtrl* DialogFixture::Address() const
{
    return dlg->findChild<CIPAddressCtrl*>(QStringLiteral("IDC_%1").arg(IDC_IPADDRESS));
}

QString DialogFixture::WriteFirmware(const QString& name, int size, char firstByte)
{
    const QString path = dir.filePath(name);
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 + 3);
    if (size > 0)
        bytes[0] = firstByte;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

void DialogFixture::Choose(const QString& path)
{
    chooser.answer = path;
    QTest::mouseClick(Button(IDC_FIRMWARE_OPEN), Qt::LeftButton);
}

void DialogFixture::AimAt(std::uint16_t port)
{
    Address()->SetAddress(127, 0, 0, 1);
    Field(IDC_PORT)->setText(QString::number(port));
}

void DialogFixture::ClickStart()
{
    // Tests talk to 127.0.0.1 only, never to the dialog's default camera address.
    if (dlg->FirmwareLoaded()) {
        ASSERT_EQ(Address()->Address()[0], kLoopbackFirstByte) << "aim the dialog at a camera on 127.0.0.1 first";
    }
    QTest::mouseClick(Button(IDC_START_UPGRADE), Qt::LeftButton);
}

void DialogFixture::PressKeyIn(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    target->setFocus(Qt::OtherFocusReason);
    EXPECT_TRUE(WaitUntil([&] { return QApplication::focusWidget() == target; }));
    QTest::keyClick(target, key, modifiers);
}

bool DialogFixture::WaitForWorkerEnd()
{
    return WaitUntil([this] { return !dlg->WorkerRunning(); });
}
