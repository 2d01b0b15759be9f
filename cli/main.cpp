// upgrader-cli: one firmware upgrade from a terminal.
#include "CliOptions.h"
#include "ExitCodes.h"
#include "UpgradeRun.h"

#include <cstdio>

int main(int argc, char** argv)
{
    const CliParse parse = ParseCliArguments(argc, argv);
    if (!parse.error.empty()) {
        std::fprintf(stderr, "upgrader-cli: %s\n%sTry 'upgrader-cli --help'.\n", parse.error.c_str(),
                     CliUsageLine().c_str());
        return kExitUsage;
    }
    return RunCli(parse.options);
}
