#include "IpAddressCtrl.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>

namespace {

constexpr int kMaxDigits = 3;
constexpr int kFrameMargin = 1;
constexpr int kMaxFieldValue = 255;
constexpr int kBitsPerField = 8;
constexpr std::uint32_t kFieldMask = 0xFFu;

// Digits only, at most three; a value above 255 becomes 255 as it is typed.
class OctetValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override
    {
        if (input.size() > kMaxDigits)
            return Invalid;
        for (const QChar c : input) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return Invalid;
        }
        if (!input.isEmpty() && input.toInt() > kMaxFieldValue) {
            input = QString::number(kMaxFieldValue);
            pos = static_cast<int>(input.size());
        }
        return Acceptable;
    }
};

} // namespace

CIPAddressCtrl::CIPAddressCtrl(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(kFrameMargin, kFrameMargin, kFrameMargin, kFrameMargin);
    row->setSpacing(0);
    auto* validator = new OctetValidator(this);
    for (int i = 0; i < kFields; ++i) {
        if (i > 0) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            row->addWidget(dot);
        }
        auto* field = new QLineEdit(this);
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setValidator(validator);
        // One stop in the tab order, at the first field; the others are reached by typing, '.', arrows
        // and the mouse, and Tab leaves the control from any of them.
        field->setFocusPolicy(i == 0 ? Qt::StrongFocus : Qt::ClickFocus);
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) {
            if (text.size() == kMaxDigits && i + 1 < kFields)
                FocusField(i + 1, false);
        });
        row->addWidget(field, 1);
        m_fields[static_cast<std::size_t>(i)] = field;
    }
    setFocusPolicy(Qt::NoFocus);
    setFocusProxy(m_fields[0]);
}

void CIPAddressCtrl::SetAddress(std::uint8_t f0, std::uint8_t f1, std::uint8_t f2, std::uint8_t f3)
{
    const std::array<std::uint8_t, kFields> values = {f0, f1, f2, f3};
    for (std::size_t i = 0; i < values.size(); ++i)
        m_fields[i]->setText(QString::number(values[i]));
}

void CIPAddressCtrl::SetAddress(std::uint32_t packed)
{
    std::array<std::uint8_t, kFields> values{};
    for (int i = 0; i < kFields; ++i)
        values[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>((packed >> (kBitsPerField * (kFields - 1 - i))) & kFieldMask);
    SetAddress(values[0], values[1], values[2], values[3]);
}

int CIPAddressCtrl::GetAddress(std::uint8_t& f0, std::uint8_t& f1, std::uint8_t& f2, std::uint8_t& f3) const
{
    std::array<std::uint8_t*, kFields> out = {&f0, &f1, &f2, &f3};
    int filled = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const QString text = m_fields[i]->text();
        *out[i] = static_cast<std::uint8_t>(text.isEmpty() ? 0 : qBound(0, text.toInt(), kMaxFieldValue));
        if (!text.isEmpty())
            ++filled;
    }
    return filled;
}

std::array<std::uint8_t, CIPAddressCtrl::kFields> CIPAddressCtrl::Address() const
{
    std::array<std::uint8_t, kFields> a{};
    GetAddress(a[0], a[1], a[2], a[3]);
    return a;
}

void CIPAddressCtrl::ClearAddress()
{
    for (QLineEdit* field : m_fields)
        field->clear();
}

int CIPAddressCtrl::IndexOf(const QObject* field) const
{
    for (int i = 0; i < kFields; ++i) {
        if (m_fields[static_cast<std::size_t>(i)] == field)
            return i;
    }
    return -1;
}

void CIPAddressCtrl::FocusField(int index, bool atEnd)
{
    QLineEdit* field = m_fields[static_cast<std::size_t>(index)];
    field->setFocus(Qt::OtherFocusReason);
    if (atEnd)
        field->end(false);
    else
        field->selectAll();
}

bool CIPAddressCtrl::eventFilter(QObject* watched, QEvent* event)
{
    const int index = IndexOf(watched);
    if (index < 0 || event->type() != QEvent::KeyPress)
        return QFrame::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const QLineEdit* field = m_fields[static_cast<std::size_t>(index)];
    const bool atStart = field->cursorPosition() == 0 && !field->hasSelectedText();
    const bool atEnd = field->cursorPosition() == field->text().size() && !field->hasSelectedText();
    switch (key->key()) {
    case Qt::Key_Period:
        if (index + 1 < kFields && !field->text().isEmpty())
            FocusField(index + 1, false);
        return true;
    case Qt::Key_Right:
        if (atEnd && index + 1 < kFields) {
            FocusField(index + 1, false);
            return true;
        }
        break;
    case Qt::Key_Backtab:
        // Leave from the first field, so the previous control is the one before the whole control.
        if (index > 0)
            m_fields[0]->setFocus(Qt::BacktabFocusReason);
        break;
    case Qt::Key_Left:
    case Qt::Key_Backspace:
        if (atStart && index > 0) {
            FocusField(index - 1, true);
            return true;
        }
        break;
    default:
        break;
    }
    return QFrame::eventFilter(watched, event);
}
