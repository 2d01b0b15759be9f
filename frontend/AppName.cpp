#include "AppName.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

QString ApplicationName()
{
    // argv[0] rather than the resolved file path: a link named otherwise gives its own name.
    const QStringList args = QCoreApplication::arguments();
    const QString program = args.isEmpty() ? QCoreApplication::applicationFilePath() : args.first();
    return QFileInfo(program).completeBaseName();
}
