// Reading a StatusReply: any 256 bytes must give a code, two numbers and a reason without reading past the
// block, and the reason must stay within its 244 bytes.
#include "Protocol.h"
#include "SessionMessages.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    StatusReply reply;
    std::memcpy(reply.bytes.data(), data, size < STATUS_REPLY_SIZE ? size : STATUS_REPLY_SIZE);
    const int code = ReadStatusCode(reply);
    const std::string reason = ReadReasonText(reply);
    if (reason.size() > REPLY_REASON_MAX || reason.find('\0') != std::string::npos)
        std::abort();
    if (msg::UpgradeFailed(reason).compare(16, std::string::npos, reason) != 0)
        std::abort();
    // A reply that carries a plain code must read as that code.
    if (code >= 0 && code < 100 && reply.bytes[0] >= '0' && reply.bytes[0] <= '9' && reply.bytes[1] == 0 &&
        code != reply.bytes[0] - '0')
        std::abort();
    (void)ReadProgressValue(reply);
    (void)ReadProgressTotal(reply);
    return 0;
}
