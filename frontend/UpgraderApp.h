// The application: starts up, runs the upgrader dialog as its only window and ends when it closes.
#pragma once

#include <QString>
#include <QStringList>

class CMessageBoxes;
class QWidget;

class CUpgraderApp {
public:
    // Runs the dialog to its end. Returns false on every path: there is no message loop of its own.
    bool InitInstance(const QStringList& arguments);

    // Asks the platform's socket library for version 2.2 and says so when it cannot have it.
    static void StartSockets();

    // The Help command (F1): opens the help file beside the executable, or says that it could not.
    static void OnHelp(QWidget* owner, CMessageBoxes& boxes);
    // Beside the executable, named like it, with the extension ".HLP".
    static QString HelpFilePath();
};
