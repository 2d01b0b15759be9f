// upgrader-cli: firmware upgrades from a terminal, one camera or many, and firmware inspection.
#include "CliOptions.h"
#include "ExitCodes.h"
#include "UpgradeRun.h"

#include <cstdio>

int main(int argc, char** argv)
{
    const CliParse parse = ParseCliArguments(argc, argv);
    if (!parse.error.empty()) {
        PrintUsageError(stderr, parse.error);
        return kExitUsage;
    }
    return RunCli(parse.options);
}
