#include "FaultPlan.h"

#include "Protocol.h"

#include <cstdlib>

namespace {

constexpr std::size_t kMaxCodeText = REPLY_PROGRESS_VALUE_OFFSET - 1; // the field keeps its terminator
constexpr std::size_t kMaxCountDigits = 9;                             // stays far inside an unsigned long

bool ParseCount(const std::string& text, std::size_t& value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > kMaxCountDigits)
        return false;
    value = std::strtoul(text.c_str(), nullptr, 10);
    return true;
}

// Splits "head:rest" at the first colon; rest is empty when there is none.
void SplitOnce(const std::string& text, std::string& head, std::string& rest, bool& hadColon)
{
    const std::size_t colon = text.find(':');
    hadColon = colon != std::string::npos;
    head = text.substr(0, colon);
    rest = hadColon ? text.substr(colon + 1) : std::string();
}

std::string ParsePieces(const std::string& list, std::vector<std::size_t>& pieces)
{
    std::size_t total = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list.find(',', start);
        std::size_t piece = 0;
        if (!ParseCount(list.substr(start, comma - start), piece) || piece == 0)
            return "split needs sizes like 100,100,56";
        total += piece;
        pieces.push_back(piece);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (total > STATUS_REPLY_SIZE)
        return "split sizes add up to more than " + std::to_string(STATUS_REPLY_SIZE);
    return "";
}

std::string ParseAction(const std::string& text, Fault& fault)
{
    std::string name, argument;
    bool hasArgument = false;
    SplitOnce(text, name, argument, hasArgument);
    using A = Fault::Action;
    const bool needsArgument = name == "code" || name == "fail" || name == "close-after" ||
                               name == "reset-after" || name == "split";
    if (needsArgument != hasArgument)
        return needsArgument ? "action '" + name + "' needs ':' and a value" : "action '" + name + "' takes no value";
    if (name == "deny") {
        fault.action = A::Deny;
    } else if (name == "code") {
        if (argument.empty() || argument.size() > kMaxCodeText)
            return "code needs 1 to " + std::to_string(kMaxCodeText) + " characters";
        fault.action = A::Code;
        fault.text = argument;
    } else if (name == "fail") {
        fault.action = A::Fail;
        fault.text = argument;
    } else if (name == "close") {
        fault.action = A::Close;
    } else if (name == "reset") {
        fault.action = A::Reset;
    } else if (name == "close-after" || name == "reset-after") {
        if (!ParseCount(argument, fault.bytes) || fault.bytes >= STATUS_REPLY_SIZE)
            return name + " needs a byte count from 0 to " + std::to_string(STATUS_REPLY_SIZE - 1);
        fault.action = name == "close-after" ? A::CloseAfter : A::ResetAfter;
    } else if (name == "silent") {
        fault.action = A::Silent;
    } else if (name == "split") {
        fault.action = A::Split;
        return ParsePieces(argument, fault.pieces);
    } else {
        return "unknown action '" + name + "'";
    }
    return "";
}

} // namespace

std::string fault_step::Fragment(std::size_t index)
{
    return "fragment:" + std::to_string(index);
}

std::string fault_step::Flash(std::size_t index)
{
    return "flash:" + std::to_string(index);
}

std::string FaultPlan::Add(const std::string& faultText)
{
    std::string step, rest;
    bool hadColon = false;
    SplitOnce(faultText, step, rest, hadColon);
    if (step == "fragment" || step == "flash") {
        std::string indexText;
        SplitOnce(std::string(rest), indexText, rest, hadColon);
        std::size_t index = 0;
        if (!ParseCount(indexText, index))
            return "fault '" + faultText + "': " + step + " needs an index, as in " + step + ":0";
        step = step == "fragment" ? fault_step::Fragment(index) : fault_step::Flash(index);
    } else if (step != fault_step::kLogin && step != fault_step::kHeader && step != fault_step::kFinal &&
               step != fault_step::kDone) {
        return "fault '" + faultText + "': unknown step '" + step + "'";
    }
    if (!hadColon)
        return "fault '" + faultText + "': no action after the step";
    Fault fault;
    fault.asGiven = faultText;
    const std::string error = ParseAction(rest, fault);
    if (!error.empty())
        return "fault '" + faultText + "': " + error;
    if (!m_faults.emplace(step, fault).second)
        return "fault '" + faultText + "': a fault for " + step + " is given already";
    return "";
}

const Fault* FaultPlan::At(const std::string& step) const
{
    const auto it = m_faults.find(step);
    return it == m_faults.end() ? nullptr : &it->second;
}

const char* const kFaultHelp =
    "Faults (--fault STEP:ACTION, repeatable, one per step, for every session):\n"
    "  STEP    login        the reply to the credentials\n"
    "          header       the reply to the upgrade header\n"
    "          fragment:K   the reply to full fragment K (counting from 0)\n"
    "          final        the reply to the last piece of the image\n"
    "                       (fragment:K wins when both name the same reply)\n"
    "          flash:K      flash report K (counting from 0 over erasing, writing, verifying)\n"
    "          done         the closing report (33)\n"
    "  ACTION  deny         reply 11 (login refused) and end the session\n"
    "          code:TEXT    reply with TEXT in the status field (e.g. 21, -34, abc), then carry on\n"
    "          fail:REASON  reply 34 with REASON and end the session\n"
    "          close        close the connection instead of replying\n"
    "          close-after:N  send N bytes of the reply, then close\n"
    "          reset        reset the connection instead of replying\n"
    "          reset-after:N  send N bytes of the reply, then reset\n"
    "          silent       say nothing more; wait for the client to close\n"
    "          split:A,B,.. send the reply in pieces of A, B, ... bytes (the rest last)\n"
    "  Example: --fault fragment:3:fail:\"flash is write-protected\" --fault login:split:100,100,56\n";
