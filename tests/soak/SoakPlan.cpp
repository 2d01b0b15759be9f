#include "SoakPlan.h"

#include "Protocol.h"
#include "SessionMessages.h"

#include <algorithm>
#include <sstream>

namespace {

constexpr std::size_t kMaxFullFragments = 4;
constexpr std::size_t kTinyImageMax = 5;      // an 'M' image this short lacks some of its tag bytes
constexpr int kTinyImageOneIn = 10;
constexpr int kWholeFragmentsOneIn = 4;       // images that end on a fragment boundary
constexpr int kMaxFlashSteps = 3;
constexpr int kMaxRefusalsBefore = 11;        // either side of the limit, and past it
constexpr int kRefusalLimit = 10;
constexpr std::size_t kMaxReason = 300;       // longer than the 244 bytes a reply holds
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

// Where a reply stands in the conversation.
struct Reply {
    enum class Where { Login, Header, Piece, Flash, Done };
    Where where = Where::Login;
    std::size_t index = 0; // Piece: counting from 0 over fragments and the final piece; Flash: the report
};

struct Layout {
    std::size_t length = 0;
    std::size_t fullFragments = 0;
    std::size_t pieces = 0;
    int flashReports = 0;

    std::vector<Reply> Replies() const
    {
        std::vector<Reply> replies = {{Reply::Where::Login, 0}, {Reply::Where::Header, 0}};
        for (std::size_t k = 0; k < pieces; ++k)
            replies.push_back({Reply::Where::Piece, k});
        for (int j = 0; j < flashReports; ++j)
            replies.push_back({Reply::Where::Flash, static_cast<std::size_t>(j)});
        replies.push_back({Reply::Where::Done, 0});
        return replies;
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

    std::size_t Position(const Reply& reply, const std::vector<Reply>& replies) const
    {
        for (std::size_t i = 0; i < replies.size(); ++i)
            if (replies[i].where == reply.where && replies[i].index == reply.index)
                return i;
        return replies.size();
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

std::string StepName(const Reply& reply, const Layout& layout, bool finalAlias)
{
    switch (reply.where) {
    case Reply::Where::Login:
        return "login";
    case Reply::Where::Header:
        return "header";
    case Reply::Where::Piece: {
        // The reply to the last piece is "final"; when that piece is a full fragment, "fragment:K" names it too.
        const bool last = reply.index + 1 == layout.pieces;
        if (reply.index < layout.fullFragments && !(last && finalAlias))
            return "fragment:" + std::to_string(reply.index);
        return "final";
    }
    case Reply::Where::Flash:
        return "flash:" + std::to_string(reply.index);
    case Reply::Where::Done:
        return "done";
    }
    return "";
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

} // namespace

const char* KindName(SoakPlan::Kind kind)
{
    using K = SoakPlan::Kind;
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

std::string SoakPlan::Describe() const
{
    std::ostringstream out;
    out << KindName(kind) << ": image of " << image.size() << " bytes, first byte '" << image[0]
        << "', camera-sim";
    for (const std::string& flag : simFlags) {
        // A reason may hold any byte; the trace shows the unprintable ones as \xHH.
        out << " '";
        for (unsigned char c : flag) {
            if (c >= ' ' && c < kFirstNonAscii && c != '\\')
                out << static_cast<char>(c);
            else
                out << "\\x" << std::hex << std::uppercase << (c >> kNibbleBits) << (c & kNibbleMask) << std::dec;
        }
        out << "'";
    }
    out << ", " << refusalsBefore << " refusals before";
    return out.str();
}

SoakPlan DrawSoakPlan(std::mt19937_64& rng)
{
    using K = SoakPlan::Kind;
    SoakPlan plan;
    plan.kind = static_cast<K>(Uniform(rng, 0, static_cast<int>(K::Silent)));
    plan.image = DrawImage(rng);
    plan.flashSteps = Uniform(rng, 0, kMaxFlashSteps);
    plan.refusalsBefore = Uniform(rng, 0, kMaxRefusalsBefore);

    Layout layout;
    layout.length = plan.image.size();
    layout.fullFragments = layout.length / FRAGMENT_SIZE;
    layout.pieces = layout.fullFragments + (layout.length % FRAGMENT_SIZE ? 1 : 0);
    layout.flashReports = 3 * (plan.flashSteps + 1);
    const std::vector<Reply> replies = layout.Replies();

    // A refused login is a fault of the login; every other fault may hit any reply.
    const Reply reply = plan.kind == K::Deny ? replies.front() : replies[UniformSize(rng, 0, replies.size() - 1)];
    const bool afterLogin = reply.where != Reply::Where::Login;
    const std::string step = StepName(reply, layout, Uniform(rng, 0, 1) == 1);
    plan.sentBeforeFault = layout.SentBefore(reply);
    plan.receivedBeforeFault = layout.Position(reply, replies) * STATUS_REPLY_SIZE;

    std::string action;
    Verdict verdict;
    switch (plan.kind) {
    case K::None:
        verdict = GoesOn();
        break;
    case K::Split:
        action = "split:" + DrawSplit(rng);
        verdict = GoesOn();
        break;
    case K::Deny:
        action = "deny";
        verdict = Judge(reply, ST_LOGIN_DENIED, "", layout);
        break;
    case K::Code: {
        CodeText code{};
        do {
            code = kCodes[UniformSize(rng, 0, std::size(kCodes) - 1)];
            // A stage report instead of the closing one would leave both sides waiting for the other.
        } while (reply.where == Reply::Where::Done && Judge(reply, code.value, "", layout).goesOn);
        action = std::string("code:") + code.text;
        verdict = Judge(reply, code.value, "", layout);
        break;
    }
    case K::Fail: {
        const std::string reason = DrawReason(rng);
        action = "fail:" + reason;
        verdict = Judge(reply, ST_FAILED, reason, layout);
        break;
    }
    case K::Close:
    case K::CloseAfter: {
        const std::size_t got = plan.kind == K::Close ? 0 : UniformSize(rng, 0, STATUS_REPLY_SIZE - 1);
        action = plan.kind == K::Close ? "close" : "close-after:" + std::to_string(got);
        verdict = Ended({msg::kRecvnClosed, msg::ReadCountMismatch(static_cast<long>(got), STATUS_REPLY_SIZE)},
                        false);
        break;
    }
    case K::Reset:
    case K::ResetAfter:
        action = plan.kind == K::Reset ? "reset"
                                       : "reset-after:" + std::to_string(UniformSize(rng, 0, STATUS_REPLY_SIZE - 1));
        verdict = Ended({msg::kRecvnSocketError, SocketErrorMessage(reply)}, false);
        break;
    case K::Silent:
        action = "silent";
        plan.stopped = true;
        break;
    }
    if (!action.empty()) {
        plan.fault = step + ":" + action;
        plan.simFlags = {"--fault", plan.fault};
    }
    plan.simFlags.insert(plan.simFlags.end(), {"--flash-steps", std::to_string(plan.flashSteps)});
    plan.cameraEndsWithFault = plan.kind != K::None && plan.kind != K::Split && plan.kind != K::Code;

    // The buttons go off once the login is taken, and every end after that brings them back.
    const bool completes = !plan.stopped && verdict.goesOn;
    if (afterLogin || completes)
        plan.shape.push_back("disable");
    if (plan.stopped) {
        // No message after a stop; the buttons come back as on any failure.
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
