// The application name: the executable's file name without folder and extension. It is the caption of
// every message box of the tool.
#pragma once

#include <QString>

QString ApplicationName();
