#include "ByteLimitValidator.h"

#include <QLineEdit>

int EncodedLength(const QString& text)
{
    return static_cast<int>(text.toLocal8Bit().size());
}

CByteLimitValidator::CByteLimitValidator(QLineEdit* field, int maxBytes)
    : QValidator(field), m_maxBytes(maxBytes), m_before(field->text())
{
    connect(field, &QLineEdit::textChanged, this, [this](const QString& text) { m_before = text; });
}

QValidator::State CByteLimitValidator::validate(QString& input, int& pos) const
{
    const int length = EncodedLength(input);
    // Shrinking is always allowed, also in a text the program made longer than the limit.
    if (length <= m_maxBytes || length <= EncodedLength(m_before))
        return Acceptable;

    // An edit replaces a stretch of the old text with what was typed or pasted, and leaves the cursor
    // right after it. Keep the unchanged text on both sides and as much of the new stretch as fits.
    const int cursor = qBound(0, pos, static_cast<int>(input.size()));
    int kept = 0;
    while (kept < cursor && kept < m_before.size() && input.at(kept) == m_before.at(kept))
        ++kept;
    const QString head = input.left(kept);
    const QString inserted = input.mid(kept, cursor - kept);
    const QString tail = input.mid(cursor);
    const int room = m_maxBytes - EncodedLength(head) - EncodedLength(tail);
    if (room < 0)
        return Invalid; // the text is already too long: the field takes nothing more

    int take = 0;
    while (take < inserted.size()) {
        const int step = inserted.at(take).isHighSurrogate() && take + 1 < inserted.size() ? 2 : 1;
        if (EncodedLength(inserted.left(take + step)) > room)
            break;
        take += step;
    }
    if (take == 0)
        return Invalid; // nothing of it fits: the field keeps its text and its undo history
    input = head + inserted.left(take) + tail;
    pos = kept + take;
    return Acceptable;
}

void SetTextPastLimit(QLineEdit* field, const QString& text)
{
    const QValidator* limit = field->validator();
    field->setValidator(nullptr);
    field->setText(text);
    field->setValidator(limit);
}
