// Scripted faults of the simulated camera: at a chosen step of the conversation, a chosen misbehaviour
// instead of (or in the way of sending) the reply a careful camera would give.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

struct Fault {
    enum class Action { Deny, Code, Fail, Close, CloseAfter, Reset, ResetAfter, Silent, Split };
    Action action = Action::Close;
    std::string text;                // Code: the status field's text; Fail: the reason
    std::size_t bytes = 0;           // CloseAfter, ResetAfter: bytes of the reply sent first
    std::vector<std::size_t> pieces; // Split
    std::string asGiven;              // as given on the command line, for the session log
};

// The steps, as keys: "login", "header", "fragment:K", "final", "flash:K", "done".
namespace fault_step {
inline constexpr const char* kLogin = "login";
inline constexpr const char* kHeader = "header";
inline constexpr const char* kFinal = "final";
inline constexpr const char* kDone = "done";
std::string Fragment(std::size_t index);
std::string Flash(std::size_t index);
} // namespace fault_step

class FaultPlan {
public:
    // Adds one "STEP:ACTION"; returns an error text, empty when the fault was taken.
    std::string Add(const std::string& faultText);
    // The fault scripted for the step, or null.
    const Fault* At(const std::string& step) const;
    bool Empty() const { return m_faults.empty(); }

private:
    std::map<std::string, Fault> m_faults;
};

// The syntax, for --help.
extern const char* const kFaultHelp;
