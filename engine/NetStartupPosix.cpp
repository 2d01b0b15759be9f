#include "NetStartup.h"

// BSD sockets are ready from the start.
NetStartupResult NetStartup()
{
    return NetStartupResult{};
}
