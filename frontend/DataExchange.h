// Exchange of texts between the dialog's controls and its members, with the length limits of the fields.
// A failed check ends the exchange: later steps do nothing.
#pragma once

#include <QString>
#include <functional>

class QLabel;
class QLineEdit;

struct CDataExchange {
    bool saveAndValidate = false; // true: controls to members
    // Tells the operator why the exchange stopped.
    std::function<void(const QString& message)> report;
    bool failed = false;
};

void DDX_Text(CDataExchange& dx, QLineEdit* field, QString& member);
void DDX_Text(CDataExchange& dx, QLabel* label, QString& member);
// Reading: a value longer than maxBytes is reported, the field gets the focus with its text selected,
// and the exchange fails. Otherwise the field's input limit is set, so typing and pasting keep to it.
void DDV_MaxChars(CDataExchange& dx, QLineEdit* field, const QString& value, int maxBytes);
