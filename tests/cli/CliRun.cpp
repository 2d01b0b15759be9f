#include "CliRun.h"

#include <algorithm>

CliResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& environment,
                 bool stderrIsTerminal)
{
    ChildSetup setup;
    setup.argv = {UpgraderCliPath()};
    setup.argv.insert(setup.argv.end(), args.begin(), args.end());
    setup.environment = {"UPGRADER_PASSWORD"};
    setup.environment.insert(setup.environment.end(), environment.begin(), environment.end());
    setup.stderrIsTerminal = stderrIsTerminal;
    ChildProcess cli(setup);
    CliResult result;
    result.end = cli.Wait(kChildTimeoutMs);
    result.out = cli.Stdout();
    result.err = cli.Stderr();
    return result;
}

std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

std::string FirmwareBytes(char first, std::size_t length)
{
    std::string image(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        image[i] = static_cast<char>((i * 167 + 11) & 0xFF);
    const std::string head = std::string(1, first) + "x123";
    image.replace(0, std::min(head.size(), length), head.substr(0, length));
    return image;
}
