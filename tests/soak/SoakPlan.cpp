#include "SoakPlan.h"

#include "Protocol.h"
#include "SessionMessages.h"

#include <algorithm>
#include <sstream>

namespace {

constexpr std::size_t kMaxFullFragments = 4;
constexpr std::size_t kTinyImageMax = 5; // an 'M' image this short lacks some of its tag bytes
constexpr int kTinyImageOneIn = 10;
constexpr int kWholeFragmentsOneIn = 4; // images that end on a fragment boundary
constexpr int kMaxFlashSteps = 3;
constexpr std::size_t kFlashStages = 3; // erasing, writing, verifying
constexpr int kMaxRefusalsBefore = 11;  // either side of the limit, and past it
constexpr int kRefusalLimit = 10;
constexpr std::size_t kMaxReason = 300; // longer than the 244 bytes a reply holds
constexpr std::size_t kMaxSplitPieces = 3;
constexpr std::size_t kMaxSplitPiece = STATUS_REPLY_SIZE / kMaxSplitPieces; // they add up to one reply at most
constexpr int kUniformByteMax = 255;
const std::string kFirstBytes = "BFLM";
constexpr unsigned char kFirstNonAscii = 0x7F;
constexpr int kNibbleBits = 4;
constexpr int kNibbleMask = 0xF;

// Status field texts, and the code the session must read from each as atoi does.
struct CodeText {
    const char* text;
    int value;
};
const CodeText kCodes[] = {
    {"0", 0},     {"abc", 0},   {"-34", -34}, {"+21", 21}, {" 22", 22}, {"010", 10}, {"7x", 7},
    {"9999999", 9999999},       {"99", 99},   {"10", 10},  {"11", 11},  {"20", 20},  {"21", 21},
    {"22", 22},   {"30", 30},   {"31", 31},   {"32", 32},  {"33", 33},  {"34", 34},
};

// A reply of one session's conversation: Piece counts fragments and the final piece together.
struct Reply {
    enum class Where { Login, Header, Piece, Flash, Done };
    Where where = Where::Login;
    std::size_t index = 0;
};

struct Layout {
    std::size_t length = 0;
    std::size_t fullFragments = 0;
    std::size_t pieces = 0;
    std::size_t flashReports = 0;

    Layout(std::size_t imageLength, int flashSteps)
        : length(imageLength), fullFragments(imageLength / FRAGMENT_SIZE),
          pieces(fullFragments + (imageLength % FRAGMENT_SIZE ? 1 : 0)),
          flashReports(kFlashStages * static_cast<std::size_t>(flashSteps + 1))
    {
    }

    // The reply the camera's fault hits in this session, or false when the session never gets there.
    bool Resolve(const ReplyPoint& point, Reply& reply, std::size_t& position) const
    {
        using W = ReplyPoint::Where;
        const std::size_t firstPiece = 2;
        const std::size_t firstFlash = firstPiece + pieces;
        switch (point.where) {
        case W::Login:
            reply = {Reply::Where::Login, 0};
            position = 0;
            return true;
        case W::Header:
            reply = {Reply::Where::Header, 0};
            position = 1;
            return true;
        case W::Piece:
            reply = {Reply::Where::Piece, point.index};
            position = firstPiece + point.index;
            return point.index < fullFragments;
        case W::Final:
            reply = {Reply::Where::Piece, pieces - 1};
            position = firstPiece + pieces - 1;
            return true;
        case W::Flash:
            reply = {Reply::Where::Flash, point.index};
            position = firstFlash + point.index;
            return point.index < flashReports;
        case W::Done:
            reply = {Reply::Where::Done, 0};
            position = firstFlash + flashReports;
            return true;
        }
        return false;
    }

    std::size_t SentBefore(const Reply& reply) const
    {
        const std::size_t announced = CREDENTIAL_BLOCK_SIZE + UPGRADE_HEADER_SIZE;
        switch (reply.where) {
        case Reply::Where::Login:
            return CREDENTIAL_BLOCK_SIZE;
        case Reply::Where::Header:
            return announced;
        case Reply::Where::Piece:
            return announced + std::min((reply.index + 1) * FRAGMENT_SIZE, length);
        default:
            return announced + length;
        }
    }
};

// What the session does with a code at a reply.
struct Verdict {
    bool goesOn = false;
    bool completed = false;
    bool finish = false;     // the finish exit; otherwise the failure exit
    bool refusal = false;    // a refused login, counted
    std::vector<std::string> messages;
};

Verdict Ended(std::vector<std::string> messages, bool finish)
{
    Verdict v;
    v.messages = std::move(messages);
    v.finish = finish;
    return v;
}

Verdict GoesOn()
{
    Verdict v;
    v.goesOn = true;
    return v;
}

Verdict Judge(const Reply& reply, int code, const std::string& reason, const Layout& layout)
{
    const std::string failed = msg::UpgradeFailed(reason.substr(0, REPLY_REASON_MAX));
    switch (reply.where) {
    case Reply::Where::Login:
        if (code == ST_LOGIN_OK)
            return GoesOn();
        if (code == ST_LOGIN_DENIED) {
            Verdict v;
            v.refusal = true;
            return v;
        }
        if (code == ST_FAILED)
            return Ended({failed}, true);
        return Ended({msg::kInvalidLoginReply}, false);
    case Reply::Where::Header:
        if (code == ST_HEADER_OK)
            return GoesOn();
        if (code == ST_FAILED)
            return Ended({failed}, true);
        return Ended({msg::kInvalidTransferReply}, false);
    case Reply::Where::Piece: {
        const bool fullFragment = reply.index < layout.fullFragments;
        const bool lastFullFragment = reply.index + 1 == layout.fullFragments;
        if (fullFragment && code == ST_FRAGMENT_OK)
            return GoesOn();
        if (code == ST_IMAGE_COMPLETE)
            return !fullFragment || lastFullFragment ? GoesOn() : Ended({msg::kEarlyImageComplete}, false);
        if (code == ST_FAILED)
            return Ended({failed}, true);
        return Ended({msg::kInvalidTransferReply}, false);
    }
    case Reply::Where::Flash:
    case Reply::Where::Done:
        if (code == ST_ERASING || code == ST_WRITING || code == ST_VERIFYING)
            return GoesOn();
        if (code == ST_UPGRADE_DONE) {
            Verdict v = Ended({msg::kUpgradeCompleted}, true);
            v.completed = true;
            return v;
        }
        if (code == ST_FAILED)
            return Ended({failed}, true);
        return Ended({msg::kUndefinedProgress}, true);
    }
    return Ended({}, false);
}

const char* SocketErrorMessage(const Reply& reply)
{
    switch (reply.where) {
    case Reply::Where::Login:
        return msg::kReadCredentials;
    case Reply::Where::Header:
    case Reply::Where::Piece:
        return msg::kReadTransfer;
    default:
        return msg::kReadProgress;
    }
}

int Uniform(std::mt19937_64& rng, int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(rng);
}

std::size_t UniformSize(std::mt19937_64& rng, std::size_t low, std::size_t high)
{
    return std::uniform_int_distribution<std::size_t>(low, high)(rng);
}

std::string DrawImage(std::mt19937_64& rng)
{
    std::size_t length = 0;
    if (Uniform(rng, 1, kTinyImageOneIn) == 1) {
        length = UniformSize(rng, 1, kTinyImageMax);
    } else {
        const std::size_t full = UniformSize(rng, 0, kMaxFullFragments);
        const bool onBoundary = full > 0 && Uniform(rng, 1, kWholeFragmentsOneIn) == 1;
        length = full * FRAGMENT_SIZE + (onBoundary ? 0 : UniformSize(rng, 1, FRAGMENT_SIZE - 1));
    }
    std::string image(length, '\0');
    for (char& c : image)
        c = static_cast<char>(Uniform(rng, 0, kUniformByteMax));
    image[0] = kFirstBytes[UniformSize(rng, 0, kFirstBytes.size() - 1)];
    return image;
}

std::string DrawReason(std::mt19937_64& rng)
{
    // Any byte but zero, which no command line can carry; '%' and '\\' among them.
    std::string reason(UniformSize(rng, 0, kMaxReason), '\0');
    for (char& c : reason)
        c = static_cast<char>(Uniform(rng, 1, kUniformByteMax));
    return reason;
}

std::string DrawSplit(std::mt19937_64& rng)
{
    std::string pieces;
    const std::size_t count = UniformSize(rng, 1, kMaxSplitPieces);
    for (std::size_t i = 0; i < count; ++i)
        pieces += (i ? "," : "") + std::to_string(UniformSize(rng, 1, kMaxSplitPiece));
    return pieces;
}

std::string Printable(const std::string& text)
{
    std::ostringstream out;
    for (unsigned char c : text) {
        if (c >= ' ' && c < kFirstNonAscii && c != '\\')
            out << static_cast<char>(c);
        else
            out << "\\x" << std::hex << std::uppercase << (c >> kNibbleBits) << (c & kNibbleMask) << std::dec;
    }
    return out.str();
}

} // namespace

const char* KindName(FaultKind kind)
{
    using K = FaultKind;
    switch (kind) {
    case K::None: return "none";
    case K::Split: return "split";
    case K::Deny: return "deny";
    case K::Code: return "code";
    case K::Fail: return "fail";
    case K::Close: return "close";
    case K::CloseAfter: return "close-after";
    case K::Reset: return "reset";
    case K::ResetAfter: return "reset-after";
    case K::Silent: return "silent";
    }
    return "?";
}

std::string CameraFault::Step() const
{
    using W = ReplyPoint::Where;
    switch (point.where) {
    case W::Login: return "login";
    case W::Header: return "header";
    case W::Piece: return "fragment:" + std::to_string(point.index);
    case W::Final: return "final";
    case W::Flash: return "flash:" + std::to_string(point.index);
    case W::Done: return "done";
    }
    return "";
}

std::vector<std::string> CameraFault::SimFlags() const
{
    std::vector<std::string> flags = {"--flash-steps", std::to_string(flashSteps)};
    if (kind != FaultKind::None)
        flags.insert(flags.end(), {"--fault", Step() + ":" + action});
    return flags;
}

std::string CameraFault::Describe() const
{
    // A reason may hold any byte; the trace shows the unprintable ones as \xHH.
    std::string text = "camera-sim";
    for (const std::string& flag : SimFlags())
        text += " '" + Printable(flag) + "'";
    return text;
}

std::string SessionPlan::Describe() const
{
    std::ostringstream out;
    out << "image of " << image.size() << " bytes, first byte '" << image[0] << "', " << refusalsBefore
        << " refusals before, " << (faultHit ? "the fault hits" : "the fault is never reached");
    return out.str();
}

CameraFault DrawCameraFault(std::mt19937_64& rng)
{
    using K = FaultKind;
    using W = ReplyPoint::Where;
    CameraFault fault;
    fault.kind = static_cast<K>(Uniform(rng, 0, static_cast<int>(K::Silent)));
    fault.flashSteps = Uniform(rng, 0, kMaxFlashSteps);
    // A refused login is a fault of the login; every other fault may hit any reply.
    fault.point.where = fault.kind == K::Deny ? W::Login : static_cast<W>(Uniform(rng, 0, static_cast<int>(W::Done)));
    if (fault.point.where == W::Piece)
        fault.point.index = UniformSize(rng, 0, kMaxFullFragments - 1);
    if (fault.point.where == W::Flash)
        fault.point.index = UniformSize(rng, 0, kFlashStages * static_cast<std::size_t>(fault.flashSteps + 1) - 1);

    switch (fault.kind) {
    case K::None:
        break;
    case K::Split:
        fault.action = "split:" + DrawSplit(rng);
        break;
    case K::Deny:
        fault.action = "deny";
        break;
    case K::Code: {
        CodeText code{};
        do {
            code = kCodes[UniformSize(rng, 0, std::size(kCodes) - 1)];
            // A stage report instead of the closing one would leave both sides waiting for the other.
        } while (fault.point.where == W::Done &&
                 (code.value == ST_ERASING || code.value == ST_WRITING || code.value == ST_VERIFYING));
        fault.action = std::string("code:") + code.text;
        fault.code = code.value;
        break;
    }
    case K::Fail:
        fault.reason = DrawReason(rng);
        fault.action = "fail:" + fault.reason;
        break;
    case K::Close:
        fault.action = "close";
        break;
    case K::CloseAfter:
        fault.bytes = UniformSize(rng, 0, STATUS_REPLY_SIZE - 1);
        fault.action = "close-after:" + std::to_string(fault.bytes);
        break;
    case K::Reset:
        fault.action = "reset";
        break;
    case K::ResetAfter:
        fault.action = "reset-after:" + std::to_string(UniformSize(rng, 0, STATUS_REPLY_SIZE - 1));
        break;
    case K::Silent:
        fault.action = "silent";
        break;
    }
    return fault;
}

SessionPlan DrawSession(std::mt19937_64& rng, const CameraFault& fault)
{
    using K = FaultKind;
    SessionPlan plan;
    plan.image = DrawImage(rng);
    plan.refusalsBefore = Uniform(rng, 0, kMaxRefusalsBefore);
    const Layout layout(plan.image.size(), fault.flashSteps);

    Reply reply;
    std::size_t position = 0;
    plan.faultHit = fault.kind != K::None && layout.Resolve(fault.point, reply, position);
    const bool afterLogin = plan.faultHit && reply.where != Reply::Where::Login;
    plan.sentBeforeFault = layout.SentBefore(reply);
    plan.receivedBeforeFault = position * STATUS_REPLY_SIZE;

    Verdict verdict = GoesOn();
    if (plan.faultHit) {
        switch (fault.kind) {
        case K::None:
        case K::Split:
            break;
        case K::Deny:
            verdict = Judge(reply, ST_LOGIN_DENIED, "", layout);
            break;
        case K::Code:
            verdict = Judge(reply, fault.code, "", layout);
            break;
        case K::Fail:
            verdict = Judge(reply, ST_FAILED, fault.reason, layout);
            break;
        case K::Close:
        case K::CloseAfter:
            verdict = Ended({msg::kRecvnClosed, msg::ReadCountMismatch(static_cast<long>(fault.bytes),
                                                                       STATUS_REPLY_SIZE)},
                            false);
            break;
        case K::Reset:
        case K::ResetAfter:
            verdict = Ended({msg::kRecvnSocketError, SocketErrorMessage(reply)}, false);
            break;
        case K::Silent:
            plan.stopped = true;
            break;
        }
    }
    plan.cameraEndsWithFault = plan.faultHit && fault.kind != K::Split && fault.kind != K::Code;

    // The buttons go off once the login is taken, and every end after that brings them back.
    const bool completes = !plan.stopped && verdict.goesOn;
    if (afterLogin || completes)
        plan.shape.push_back("disable");
    if (plan.stopped) {
        // No message after a stop.
        if (afterLogin)
            plan.shape.push_back("enable");
        plan.sentInAll = plan.sentBeforeFault;
        return plan;
    }
    if (completes) {
        plan.completed = true;
        plan.shape.insert(plan.shape.end(), {"message: " + std::string(msg::kUpgradeCompleted), "finish"});
        plan.sentInAll = layout.SentBefore({Reply::Where::Done, 0});
        return plan;
    }
    plan.completed = verdict.completed;
    plan.sentInAll = plan.sentBeforeFault;
    if (verdict.refusal) {
        plan.shape.insert(plan.shape.end(), {"message: " + std::string(msg::kLoginDenied), "count refusal"});
        if (plan.refusalsBefore + 1 == kRefusalLimit) {
            verdict.messages = {msg::kLoginLimit};
            verdict.finish = true;
        }
    }
    for (const std::string& text : verdict.messages)
        plan.shape.push_back("message: " + text);
    if (verdict.finish)
        plan.shape.push_back("finish");
    else if (afterLogin)
        plan.shape.push_back("enable");
    return plan;
}
