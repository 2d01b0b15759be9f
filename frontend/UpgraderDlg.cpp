#include "UpgraderDlg.h"

#include "AppName.h"
#include "FileChooser.h"
#include "IpAddressCtrl.h"
#include "MessageBoxes.h"
#include "UpgradeWorker.h"
#include "res/DialogTemplate.h"

#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <cmath>

namespace {

// Dialog units of the 8-point dialog font, in pixels.
constexpr double kPixelsPerUnitX = 1.5;
constexpr double kPixelsPerUnitY = 1.625;

int UnitsToX(int units) { return static_cast<int>(std::lround(units * kPixelsPerUnitX)); }
int UnitsToY(int units) { return static_cast<int>(std::lround(units * kPixelsPerUnitY)); }

QRect UnitsToPixels(const dlgtemplate::Control& c)
{
    return QRect(UnitsToX(c.x), UnitsToY(c.y), UnitsToX(c.cx), UnitsToY(c.cy));
}

QString ControlName(int id) { return QStringLiteral("IDC_%1").arg(id); }

} // namespace

// In a static library the resources are only linked in when someone asks for them.
static void InitResources() { Q_INIT_RESOURCE(upgrader); }

CUpgraderDlg::CUpgraderDlg(QWidget* parent, DialogSeams seams)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), // no system menu, close or size boxes
      m_strPassword(QStringLiteral("tovel")),
      m_strAdminId(QStringLiteral("admin")),
      m_strPort(QStringLiteral("9000"))
{
    InitResources();
    if (!seams.boxes) {
        m_ownBoxes = std::make_unique<CQtMessageBoxes>();
        seams.boxes = m_ownBoxes.get();
    }
    if (!seams.chooser) {
        m_ownChooser = std::make_unique<CQtFileChooser>();
        seams.chooser = m_ownChooser.get();
    }
    m_boxes = seams.boxes;
    m_chooser = seams.chooser;

    setObjectName(QStringLiteral("IDD_%1").arg(IDD_UPGRADER_DIALOG));
    setWindowTitle(QString::fromLatin1(dlgtemplate::kCaption));
    // The template's font where it exists, else a narrow sans serif, so the labels fit their boxes.
    QFont font;
    font.setFamilies({QString::fromLatin1(dlgtemplate::kFontFamily), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow")});
    font.setPointSize(dlgtemplate::kFontPoints);
    setFont(font);
    setFixedSize(UnitsToX(dlgtemplate::kWidth), UnitsToY(dlgtemplate::kHeight));
    CreateControls();
    OnInitDialog();
}

CUpgraderDlg::~CUpgraderDlg()
{
    StopWorker();
}

void CUpgraderDlg::CreateControls()
{
    using dlgtemplate::Kind;
    for (const dlgtemplate::Control& c : dlgtemplate::kControls) {
        QWidget* w = nullptr;
        const QString text = QString::fromLatin1(c.text);
        switch (c.kind) {
        case Kind::RightLabel:
        case Kind::LeftLabel:
        case Kind::StatusLine: {
            auto* label = new QLabel(text, this);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(c.kind == Kind::RightLabel  ? Qt::AlignRight | Qt::AlignVCenter
                                : c.kind == Kind::LeftLabel ? Qt::AlignLeft | Qt::AlignTop
                                                            : Qt::AlignLeft | Qt::AlignVCenter);
            if (c.kind == Kind::StatusLine)
                m_status = label;
            w = label;
            break;
        }
        case Kind::IpAddress:
            w = m_ipAddress = new CIPAddressCtrl(this);
            break;
        case Kind::Edit:
        case Kind::Password: {
            auto* edit = new QLineEdit(this);
            if (c.kind == Kind::Password)
                edit->setEchoMode(QLineEdit::Password);
            w = edit;
            break;
        }
        case Kind::Button: {
            auto* button = new QPushButton(text, this);
            // No default button: Enter in a field is the dialog's OK command, on a button it presses it.
            button->setAutoDefault(false);
            button->setDefault(false);
            if (c.id == IDC_START_UPGRADE)
                m_btnStart = button;
            else if (c.id == IDC_EXIT)
                m_btnExit = button;
            else
                m_btnFirmwareOpen = button;
            w = button;
            break;
        }
        case Kind::Progress:
            m_progress = new QProgressBar(this);
            m_progress->setTextVisible(false);
            m_progress->setRange(0, static_cast<int>(kInitialProgressHigh));
            m_progress->setValue(0);
            w = m_progress;
            break;
        case Kind::GroupBox: {
            auto* box = new QGroupBox(this);
            // Drawn behind the rows it frames and never in the way of their mouse clicks.
            box->setAttribute(Qt::WA_TransparentForMouseEvents);
            w = box;
            break;
        }
        }
        if (c.id != IDC_STATIC)
            w->setObjectName(ControlName(c.id));
        w->setGeometry(UnitsToPixels(c));
        if (c.kind == Kind::GroupBox)
            w->lower();
    }
    connect(m_btnStart, &QPushButton::clicked, this, &CUpgraderDlg::OnStartUpgrade);
    connect(m_btnExit, &QPushButton::clicked, this, &CUpgraderDlg::OnExit);
    connect(m_btnFirmwareOpen, &QPushButton::clicked, this, &CUpgraderDlg::OnFirmwareOpen);
}

void CUpgraderDlg::OnInitDialog()
{
    UpdateData(false);
    setWindowIcon(QIcon(QString::fromLatin1(IDR_MAINFRAME_PATH)));
    m_ipAddress->SetAddress(kDefaultCameraAddress);
    m_pWorkerThread.reset();
    m_nFailedLogins = 0;
    m_bFirmwareLoaded = false;
    // The first control in the tab order.
    m_ipAddress->setFocus(Qt::OtherFocusReason);
}

QLineEdit* CUpgraderDlg::Edit(int id) const
{
    return findChild<QLineEdit*>(ControlName(id), Qt::FindDirectChildrenOnly);
}

void CUpgraderDlg::PrefillAddress(std::uint32_t packed)
{
    m_ipAddress->SetAddress(packed);
}

void CUpgraderDlg::PrefillPort(const QString& port)
{
    m_strPort = port;
    UpdateData(false);
}

void CUpgraderDlg::PrefillFirmware(const QString& path)
{
    m_strFirmwarePath = path;
    UpdateData(false);
    m_bFirmwareLoaded = IsFirmwareFile(path);
}

void CUpgraderDlg::ShowBox(const QString& text, bool exclamation)
{
    MessageBoxRequest request;
    request.caption = ApplicationName();
    request.text = text;
    request.icon = exclamation ? QMessageBox::Warning : QMessageBox::NoIcon;
    m_boxes->Show(this, request);
}

void CUpgraderDlg::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Escape:
            reject(); // the Cancel command
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
                if (button->isEnabled())
                    button->click();
            } else {
                OnOK();
            }
            return;
        case Qt::Key_F1:
            if (m_onHelp)
                m_onHelp();
            return;
        default:
            break;
        }
    }
    QDialog::keyPressEvent(event);
}
