// An input limit counted in bytes of the local 8-bit encoding, as the camera's fixed fields count them.
// Typing and pasting are cut to fit; text set by the program is let through, so that a read can still
// find a longer text and say so.
#pragma once

#include <QString>
#include <QValidator>

class QLineEdit;

class CByteLimitValidator : public QValidator {
    Q_OBJECT
public:
    // Watches field (its parent too) and limits every edit made in it.
    CByteLimitValidator(QLineEdit* field, int maxBytes);

    int MaxBytes() const { return m_maxBytes; }
    State validate(QString& input, int& pos) const override;

private:
    int m_maxBytes;
    QString m_before; // the field's text before the edit being validated
};

// Bytes the text takes in the local 8-bit encoding.
int EncodedLength(const QString& text);

// Sets the field's text as the program has it, even when it is longer than the field's limit.
void SetTextPastLimit(QLineEdit* field, const QString& text);
