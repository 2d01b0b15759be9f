#include "DataExchange.h"

#include "ByteLimitValidator.h"
#include "DialogTexts.h"

#include <QLabel>
#include <QLineEdit>

void DDX_Text(CDataExchange& dx, QLineEdit* field, QString& member)
{
    if (dx.failed)
        return;
    if (dx.saveAndValidate) {
        member = field->text();
    } else if (field->text() != member) {
        // Unchanged text is left alone: the worker shows the members once per acknowledged piece.
        SetTextPastLimit(field, member);
        field->setCursorPosition(0); // a written field shows its beginning, as after any new text
    }
}

void DDX_Text(CDataExchange& dx, QLabel* label, QString& member)
{
    if (dx.failed)
        return;
    if (dx.saveAndValidate)
        member = label->text();
    else if (label->text() != member)
        label->setText(member);
}

void DDV_MaxChars(CDataExchange& dx, QLineEdit* field, const QString& value, int maxBytes)
{
    if (dx.failed)
        return;
    if (dx.saveAndValidate && EncodedLength(value) > maxBytes) {
        if (dx.report)
            dx.report(QString::fromLatin1(dlgtext::kTooManyCharacters).arg(maxBytes));
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
        dx.failed = true;
        return;
    }
    const auto* limit = qobject_cast<const CByteLimitValidator*>(field->validator());
    if (!limit || limit->MaxBytes() != maxBytes)
        field->setValidator(new CByteLimitValidator(field, maxBytes));
}
