#include "FleetReport.h"

#include "JsonText.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr char kAddressHeading[] = "ADDRESS";
constexpr char kVerdictHeading[] = "VERDICT";
constexpr char kTimeHeading[] = "TIME";
constexpr char kReasonHeading[] = "REASON";
constexpr int kTimeWidth = 9; // "12345.6 s": a run of hours still lines up
constexpr char kColumnGap[] = "  ";
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;

const CameraVerdict kAllVerdicts[] = {CameraVerdict::Completed, CameraVerdict::Failed, CameraVerdict::Error,
                                      CameraVerdict::Stopped, CameraVerdict::NotStarted};

// A cell on one line: line breaks, tabs and other control bytes become visible escapes.
std::string OneLine(const std::string& text)
{
    std::string out;
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < kFirstPrintable || c == kDelete) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        } else {
            out += ch;
        }
    }
    return out;
}

std::string Padded(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string Seconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%*.1f s", kTimeWidth - 2, seconds);
    return text;
}

std::string ReasonCell(const CameraReport& r)
{
    switch (r.verdict) {
    case CameraVerdict::Failed:
        return r.hasCameraReason ? r.cameraReason : (r.messages.empty() ? "" : r.messages.back());
    case CameraVerdict::Error:
        return r.messages.empty() ? "" : r.messages.back();
    case CameraVerdict::Stopped:
        return r.phase.empty() ? "before the image went out" : "during " + r.phase;
    case CameraVerdict::Completed:
    case CameraVerdict::NotStarted:
        break;
    }
    return "";
}

std::size_t CountOf(const FleetSummary& s, CameraVerdict verdict)
{
    switch (verdict) {
    case CameraVerdict::Completed:
        return s.completed;
    case CameraVerdict::Failed:
        return s.failed;
    case CameraVerdict::Error:
        return s.errors;
    case CameraVerdict::Stopped:
        return s.stopped;
    case CameraVerdict::NotStarted:
        return s.notStarted;
    }
    return 0;
}

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

} // namespace

const char* VerdictName(CameraVerdict verdict)
{
    switch (verdict) {
    case CameraVerdict::NotStarted:
        return "not started";
    case CameraVerdict::Completed:
        return "completed";
    case CameraVerdict::Failed:
        return "failed";
    case CameraVerdict::Error:
        return "error";
    case CameraVerdict::Stopped:
        return "stopped";
    }
    return "";
}

FleetSummary Summarise(const std::vector<CameraReport>& reports)
{
    FleetSummary s;
    s.cameras = reports.size();
    for (const CameraReport& r : reports) {
        switch (r.verdict) {
        case CameraVerdict::Completed:
            ++s.completed;
            break;
        case CameraVerdict::Failed:
            ++s.failed;
            break;
        case CameraVerdict::Error:
            ++s.errors;
            break;
        case CameraVerdict::Stopped:
            ++s.stopped;
            break;
        case CameraVerdict::NotStarted:
            ++s.notStarted;
            break;
        }
    }
    return s;
}

std::string FleetTable(const std::vector<CameraReport>& reports, const FleetSummary& summary)
{
    std::size_t addressWidth = sizeof kAddressHeading - 1;
    std::size_t verdictWidth = sizeof kVerdictHeading - 1;
    for (const CameraReport& r : reports) {
        addressWidth = std::max(addressWidth, r.target.label.size());
        verdictWidth = std::max(verdictWidth, std::string(VerdictName(r.verdict)).size());
    }
    const auto row = [&](const std::string& address, const std::string& verdict, const std::string& time,
                         const std::string& reason) {
        std::string line = Padded(address, addressWidth) + kColumnGap + Padded(verdict, verdictWidth) + kColumnGap;
        line += std::string(kTimeWidth > static_cast<int>(time.size()) ? kTimeWidth - time.size() : 0, ' ') + time;
        if (!reason.empty())
            line += kColumnGap + reason;
        return line + "\n";
    };
    std::string table = row(kAddressHeading, kVerdictHeading, kTimeHeading, kReasonHeading);
    for (const CameraReport& r : reports) {
        const bool ran = r.verdict != CameraVerdict::NotStarted;
        table += row(OneLine(r.target.label), VerdictName(r.verdict), ran ? Seconds(r.seconds) : "-",
                     OneLine(ReasonCell(r)));
    }
    std::string totals = std::to_string(summary.cameras) + (summary.cameras == 1 ? " camera" : " cameras");
    const char* separator = ": ";
    for (CameraVerdict verdict : kAllVerdicts) {
        if (CountOf(summary, verdict) == 0)
            continue;
        totals += separator + std::to_string(CountOf(summary, verdict)) + " " + VerdictName(verdict);
        separator = ", ";
    }
    char elapsed[64];
    std::snprintf(elapsed, sizeof elapsed, " in %.1f s", summary.seconds);
    table += totals + elapsed;
    if (!summary.stoppedBy.empty())
        table += ", stopped by " + summary.stoppedBy;
    return table + "\n";
}

std::string CameraJson(const CameraReport& r)
{
    std::string object = "{\"type\":\"camera\",\"target\":" + JsonString(r.target.label) + ",\"line\":" +
                         std::to_string(r.target.line) + ",\"verdict\":" + JsonString(VerdictName(r.verdict));
    object += ",\"reason\":" + (r.hasCameraReason ? JsonString(r.cameraReason) : std::string("null"));
    object += ",\"messages\":[";
    for (std::size_t i = 0; i < r.messages.size(); ++i)
        object += (i > 0 ? "," : "") + JsonString(r.messages[i]);
    object += "],\"failed_logins\":" + std::to_string(r.failedLogins);
    object += ",\"phase\":" + (r.phase.empty() ? std::string("null") : JsonString(r.phase));
    object += ",\"seconds\":" + (r.verdict == CameraVerdict::NotStarted ? std::string("null") : Number(r.seconds));
    return object + "}";
}

std::string SummaryJson(const FleetSummary& s)
{
    std::string object = "{\"type\":\"summary\",\"cameras\":" + std::to_string(s.cameras);
    for (CameraVerdict verdict : kAllVerdicts) {
        std::string key = VerdictName(verdict);
        std::replace(key.begin(), key.end(), ' ', '_');
        object += ",\"" + key + "\":" + std::to_string(CountOf(s, verdict));
    }
    object += ",\"parallel\":" + std::to_string(s.parallel) + ",\"seconds\":" + Number(s.seconds) +
              ",\"exit\":" + std::to_string(s.exitCode);
    if (!s.stoppedBy.empty())
        object += ",\"stopped_by\":" + JsonString(s.stoppedBy);
    return object + "}";
}
