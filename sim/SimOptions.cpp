#include "SimOptions.h"

#include <climits>
#include <cstdlib>

namespace {

constexpr long kMaxPort = 65535;
constexpr long kMaxFlashSteps = 65535; // the progress numbers are 16-bit
constexpr long kMaxDelayMs = 60 * 60 * 1000;
constexpr std::size_t kMaxNumberDigits = 10; // stays inside a long before the range check

// A whole decimal number from min to max, or false.
bool ParseNumber(const std::string& text, long min, long max, long& value)
{
    if (text.empty() || text.size() > kMaxNumberDigits || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::strtol(text.c_str(), nullptr, 10);
    return value >= min && value <= max;
}

std::string ParseListen(const std::string& text, SimOptions& options)
{
    const std::size_t colon = text.rfind(':');
    long port = 0;
    if (colon == std::string::npos || !ParseNumber(text.substr(colon + 1), 0, kMaxPort, port))
        return "--listen needs ADDR:PORT, as in 127.0.0.1:0";
    options.listenAddress = text.substr(0, colon);
    options.listenPort = static_cast<std::uint16_t>(port);
    return "";
}

} // namespace

SimParse ParseSimCommandLine(int argc, const char* const* argv)
{
    SimParse parse;
    SimOptions& o = parse.options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        const std::size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg = arg.substr(0, equals);
            hasValue = true;
        }
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                parse.error = arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unexpected argument '" + arg + "'";
                return parse;
            }
            value = argv[++i];
        }
        long number = 0;
        std::string error;
        const auto numberIn = [&](long min, long max, int& field) {
            if (ParseNumber(value, min, max, number))
                field = static_cast<int>(number);
            else
                error = arg + " needs a number from " + std::to_string(min) + " to " + std::to_string(max);
        };
        if (arg == "--listen") {
            error = ParseListen(value, o);
        } else if (arg == "--sessions") {
            if (ParseNumber(value, 1, LONG_MAX, number))
                o.sessions = number;
            else
                error = "--sessions needs a positive number";
        } else if (arg == "--id") {
            o.adminId = value;
        } else if (arg == "--password") {
            o.password = value;
        } else if (arg == "--flash-steps") {
            numberIn(0, kMaxFlashSteps, o.flashSteps);
        } else if (arg == "--flash-delay-ms") {
            numberIn(0, kMaxDelayMs, o.flashDelayMs);
        } else if (arg == "--ack-delay-ms") {
            numberIn(0, kMaxDelayMs, o.ackDelayMs);
        } else if (arg == "--idle-timeout-ms") {
            numberIn(1, kMaxDelayMs, o.idleTimeoutMs);
        } else if (arg == "--save") {
            o.saveDir = value;
        } else if (arg == "--fault") {
            error = o.faults.Add(value);
        } else {
            error = "unknown option '" + arg + "'";
        }
        if (!error.empty()) {
            parse.error = error;
            return parse;
        }
    }
    return parse;
}

std::string SimHelpText()
{
    return std::string(
               "Usage: camera-sim [OPTION]...\n"
               "A substitute camera for the firmware upgrade protocol, for tests and demos.\n"
               "It prints the port it listens on as the first line on stdout, serves one session after\n"
               "another and writes one line per session on stderr. SIGINT or SIGTERM ends it.\n"
               "\n"
               "  --listen ADDR:PORT     where to listen (default 127.0.0.1:9000; port 0 picks a free one)\n"
               "  --sessions N           end after N sessions (default: no limit)\n"
               "  --id TEXT              the admin ID it accepts (default admin)\n"
               "  --password TEXT        the password it accepts (default tovel)\n"
               "  --flash-steps N        progress reports per flash stage after its first (default 4)\n"
               "  --flash-delay-ms D     pause before each flash report (default 20)\n"
               "  --ack-delay-ms D       pause before acknowledging each image piece (default 0)\n"
               "  --idle-timeout-ms T    longest wait for the client's next byte (default 10000)\n"
               "  --save DIR             keep every complete image as DIR/session-N.frm\n"
               "  --fault STEP:ACTION    misbehave at one step (see below)\n"
               "  -h, --help             show this help\n"
               "\n"
               "It checks the upgrade header (known type tag, fragment size 10240, a length above 0), the\n"
               "image against the header (length, byte sum, type tag for its first byte) and answers 34\n"
               "with a reason when they disagree.\n"
               "\n") +
           kFaultHelp;
}
