#include "CliOptions.h"

#include <set>

namespace {

constexpr std::size_t kAddressFields = 4;
constexpr std::size_t kMaxFieldDigits = 3;
constexpr int kMaxFieldValue = 255;
constexpr char kFirmwareExtension[] = "frm";
// Options that name a camera or how to reach one; --inspect reaches none.
const char* const kCameraOptions[] = {"--ip", "--targets", "--parallel", "--port", "--id", "--password-file"};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// What the command line said beyond the options' values: which options it named, and texts judged later.
struct ParseNotes {
    std::set<std::string> named;
    std::string parallelText;
    bool inspect = false;
};

// Options that take a value, and where it goes.
std::string* ValueField(const std::string& name, CliOptions& options, ParseNotes& notes)
{
    if (name == "--targets")
        return &options.targetsFile;
    if (name == "--parallel")
        return &notes.parallelText;
    if (name == "--ip")
        return &options.ipText;
    if (name == "--port")
        return &options.port;
    if (name == "--id")
        return &options.adminId;
    if (name == "--password-file")
        return &options.passwordFile;
    return nullptr;
}

bool* FlagField(const std::string& name, CliOptions& options, ParseNotes& notes)
{
    if (name == "--inspect")
        return &notes.inspect;
    if (name == "--json")
        return &options.json;
    if (name == "--quiet")
        return &options.quiet;
    return nullptr;
}

// --help and --version win over everything else on the line, as users expect.
bool FindInformational(int argc, const char* const* argv, CliOptions::Action& action)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--")
            break;
        if (arg == "--help" || arg == "-h") {
            action = CliOptions::Action::Help;
            return true;
        }
        if (arg == "--version") {
            action = CliOptions::Action::Version;
            return true;
        }
    }
    return false;
}

bool ParseParallel(const std::string& text, int& parallel)
{
    if (text.empty() || text.size() > std::to_string(kMaxParallel).size())
        return false;
    int value = 0;
    for (char c : text) {
        if (!IsDigit(c))
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > kMaxParallel)
        return false;
    parallel = value;
    return true;
}

} // namespace

bool ParseIpv4Fields(const std::string& text, std::array<std::uint8_t, 4>& fields)
{
    std::size_t at = 0;
    for (std::size_t field = 0; field < kAddressFields; ++field) {
        if (field > 0) {
            if (at >= text.size() || text[at] != '.')
                return false;
            ++at;
        }
        const std::size_t start = at;
        int value = 0;
        while (at < text.size() && IsDigit(text[at]) && at - start < kMaxFieldDigits)
            value = value * 10 + (text[at++] - '0');
        if (at == start || value > kMaxFieldValue || (at < text.size() && IsDigit(text[at])))
            return false;
        fields[field] = static_cast<std::uint8_t>(value);
    }
    return at == text.size();
}

bool HasFirmwareExtension(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.find_last_of('.');
    return dot != std::string::npos && dot >= nameStart &&
           path.compare(dot + 1, std::string::npos, kFirmwareExtension) == 0;
}

CliParse ParseCliArguments(int argc, const char* const* argv)
{
    CliParse parse;
    CliOptions& options = parse.options;
    if (FindInformational(argc, argv, options.action))
        return parse;

    ParseNotes notes;
    int positionals = 0;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            ++positionals;
            options.firmware = arg;
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string value;
        bool inlineValue = false;
        const std::size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg = arg.substr(0, equals);
            inlineValue = true;
        }
        if (arg == "--password") {
            parse.error = "no password on the command line (other users could read it in the process list); "
                          "use --password-file FILE or the environment variable UPGRADER_PASSWORD";
            return parse;
        }
        if (std::string* field = ValueField(arg, options, notes)) {
            if (!inlineValue) {
                if (i + 1 >= argc) {
                    parse.error = "option " + arg + " needs a value";
                    return parse;
                }
                value = argv[++i];
            }
            *field = value;
            notes.named.insert(arg);
        } else if (bool* flag = FlagField(arg, options, notes)) {
            if (inlineValue) {
                parse.error = "option " + arg + " takes no value";
                return parse;
            }
            *flag = true;
        } else {
            parse.error = "unknown option " + arg;
            return parse;
        }
    }

    if (notes.inspect) {
        options.action = CliOptions::Action::Inspect;
        for (const char* name : kCameraOptions) {
            if (notes.named.count(name)) {
                parse.error = std::string("--inspect connects to nothing, so ") + name + " has no place beside it";
                break;
            }
        }
    } else if (notes.named.count("--targets")) {
        options.action = CliOptions::Action::Fleet;
        if (notes.named.count("--ip"))
            parse.error = "--ip and --targets exclude each other: list every camera in the targets file";
        else if (options.targetsFile.empty())
            parse.error = "--targets needs a file";
        else if (notes.named.count("--parallel") && !ParseParallel(notes.parallelText, options.parallel))
            parse.error = "--parallel needs a whole number from 1 to " + std::to_string(kMaxParallel) + "; got '" +
                          notes.parallelText + "'";
    } else if (notes.named.count("--parallel")) {
        parse.error = "--parallel goes with --targets";
    } else if (options.ipText.empty()) {
        parse.error = "--ip is required (or --targets FILE for many cameras, or --inspect)";
    } else if (!ParseIpv4Fields(options.ipText, options.address)) {
        parse.error = "--ip needs four decimal fields from 0 to 255, as in 192.0.2.10; got '" + options.ipText + "'";
    }
    if (!parse.error.empty())
        return parse;
    if (positionals == 0)
        parse.error = "FIRMWARE is missing";
    else if (positionals > 1)
        parse.error = "only one FIRMWARE file, please";
    return parse;
}

std::string CliUsageLine()
{
    return "Usage: upgrader-cli --ip A.B.C.D [--port TEXT] [--id TEXT] [--password-file FILE] [--json] [--quiet] "
           "FIRMWARE\n"
           "       upgrader-cli --targets FILE [--parallel N] [--port TEXT] [--id TEXT] [--password-file FILE] "
           "[--json] [--quiet] FIRMWARE\n"
           "       upgrader-cli --inspect [--json] FIRMWARE\n";
}

std::string CliHelpText()
{
    return CliUsageLine() +
           "Installs FIRMWARE (a file whose extension is \"frm\") on the camera at A.B.C.D through its\n"
           "upgrade protocol, one session, as the dialog's \"Start upgrade\" does.\n"
           "\n"
           "  --ip A.B.C.D          the camera's IPv4 address (required)\n"
           "  --port TEXT           the camera's upgrade port, judged as the dialog judges it (default 9000)\n"
           "  --id TEXT             the admin ID (default admin)\n"
           "  --password-file FILE  the password is the first line of FILE; without this option it is\n"
           "                        $UPGRADER_PASSWORD, else the dialog's default. Never on the command line.\n"
           "  --json                stdout carries one JSON object per line instead of plain messages:\n"
           "                        {\"type\":\"message\"|\"status\",\"text\":...},\n"
           "                        {\"type\":\"range\",\"low\":0,\"high\":N},\n"
           "                        {\"type\":\"position\",\"position\":N}, and last {\"type\":\"result\",...}\n"
           "  --quiet               no status or progress on stderr\n"
           "  --targets FILE        upgrade every camera that FILE lists, one per line: A.B.C.D or\n"
           "                        A.B.C.D:PORT (without a port, --port's); blank lines and # comments\n"
           "                        are skipped. Each camera gets its own session with the same image, ID\n"
           "                        and password; the file is read once. stdout carries each session's\n"
           "                        messages prefixed with its address, then a table of verdicts; with\n"
           "                        --json, one object per camera and a summary object instead.\n"
           "  --parallel N          with --targets: at most N sessions at once (default " +
           std::to_string(kDefaultParallel) + ", at most " + std::to_string(kMaxParallel) + ")\n"
           "  --inspect             connect to nothing; print the type tag, length, checksum, fragments\n"
           "                        and whether the header can describe FIRMWARE (--json: one object)\n"
           "  -h, --help            show this help\n"
           "  --version             show the version\n"
           "\n"
           "stdout carries every message the dialog would show in a message box, in order, one per line.\n"
           "stderr carries the status and the progress: a bar when it is a terminal, plain lines otherwise.\n"
           "\n"
           "Exit status: 0 the session ended with \"Firmware upgrade completed\"; 1 any other end of the\n"
           "session; 2 a usage error or \"You must load firmware\"; 130 stopped by SIGINT (Ctrl-C);\n"
           "143 stopped by SIGTERM. With --targets: 0 only when every camera completed, 1 otherwise, 130\n"
           "or 143 when a signal stopped the run. --inspect: 0 when a session could send FIRMWARE, 1 when\n"
           "it is \"Not Allowed Firmware\", too long for the header or unreadable.\n";
}
