// One upgrade, from the input checks to the camera's verdict.
#pragma once

#include "SocketApi.h"
#include "StopSignal.h"
#include "UpgradeDialogOps.h"

// Runs the whole session on the calling thread and returns 0 on every path. A stop request ends it
// promptly wherever it waits: the socket is closed once and no message is shown after the stop.
// sockets defaults to the system's sockets bound to stop.
int UpgradeThreadProc(UpgradeDialogOps& dialog, const StopSignal& stop, SocketApi* sockets = nullptr);
