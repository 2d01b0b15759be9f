#include "CameraSession.h"

#include "FirmwareImage.h"
#include "ImageSink.h"
#include "Protocol.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// The bytes of the image that choose its type tag: the first one, and bytes 2 to 4 for an 'M' image.
constexpr std::size_t kTagBytes = 5;
constexpr char kTagOrbPrefix[] = "ORB_FIRMWARE_";
constexpr std::size_t kOrbTagLength = 16; // the prefix and three image bytes
const char* const kFixedTags[] = {"SKYLARK_FIRMWARE", "ORB_Q48_FIRMWARE"};

StatusReply BuildReply(const std::string& codeText, std::uint16_t value = 0, std::uint16_t total = 0,
                       const std::string& reason = "")
{
    StatusReply reply;
    std::memcpy(reply.bytes.data(), codeText.data(), std::min(codeText.size(), REPLY_PROGRESS_VALUE_OFFSET - 1));
    PutBigEndian16(reply.bytes.data() + REPLY_PROGRESS_VALUE_OFFSET, value);
    PutBigEndian16(reply.bytes.data() + REPLY_PROGRESS_TOTAL_OFFSET, total);
    // A reason of 244 bytes or more fills the field without a terminator, as a camera may send it.
    std::memcpy(reply.bytes.data() + REPLY_REASON_OFFSET, reason.data(), std::min(reason.size(), REPLY_REASON_MAX));
    return reply;
}

StatusReply CodeReply(int code, std::uint16_t value = 0, std::uint16_t total = 0)
{
    return BuildReply(std::to_string(code), value, total);
}

StatusReply FailReply(const std::string& reason)
{
    return BuildReply(std::to_string(ST_FAILED), 0, 0, reason);
}

std::uint32_t ReadBigEndian32(const std::uint8_t* at)
{
    return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 | at[3];
}

// Text up to the first zero byte inside the field.
std::string FieldText(const std::uint8_t* field, std::size_t size)
{
    const void* end = std::memchr(field, 0, size);
    const std::size_t length = end ? static_cast<const std::uint8_t*>(end) - field : size;
    return std::string(reinterpret_cast<const char*>(field), length);
}

// For the log: printable ASCII as it is, everything else as \xHH.
std::string Printable(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c >= ' ' && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

bool AllZero(const std::uint8_t* from, const std::uint8_t* to)
{
    for (; from < to; ++from)
        if (*from != 0)
            return false;
    return true;
}

bool KnownTag(const std::uint8_t* field)
{
    const std::uint8_t* fieldEnd = field + HEADER_TYPE_TAG_SIZE;
    for (const char* tag : kFixedTags)
        if (std::memcmp(field, tag, std::strlen(tag)) == 0 && AllZero(field + std::strlen(tag), fieldEnd))
            return true;
    return std::memcmp(field, kTagOrbPrefix, sizeof kTagOrbPrefix - 1) == 0 &&
           AllZero(field + kOrbTagLength, fieldEnd);
}

std::string Hex32(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

class CameraSession {
public:
    CameraSession(Connection& connection, const SimOptions& options, SessionSummary& summary)
        : m_conn(connection), m_options(options), m_summary(summary),
          m_sink(options.saveDir, summary.number)
    {
    }

    void Run()
    {
        if (Login() && Header() && Image())
            Flash();
        m_summary.saved = m_sink.Note();
    }

private:
    bool Login();
    bool Header();
    bool Image();
    void Flash();

    // Sends the reply (or the fault scripted for the step instead). A terminal reply ends the session with
    // terminalResult once the client has closed. Returns true when the conversation goes on.
    bool Answer(const std::string& step, const StatusReply& reply, const char* terminalResult);
    bool ApplyFault(const Fault& fault, const StatusReply& reply, const char* terminalResult);
    bool SendReply(const StatusReply& reply, const std::vector<std::size_t>& pieces = {});
    void EndAfterClientCloses(const std::string& result);
    bool ReadBlock(std::uint8_t* buf, std::size_t len, const char* what);
    bool ReadPiece(std::uint8_t* buf, std::size_t len, const std::string& name);
    bool Pause(int ms);
    std::string VerdictOnImage() const;

    Connection& m_conn;
    const SimOptions& m_options;
    SessionSummary& m_summary;
    ImageSink m_sink;

    UpgradeHeader m_header;
    std::uint32_t m_length = 0;
    std::uint32_t m_announcedSum = 0;
    std::uint32_t m_sum = 0;
    std::uint64_t m_received = 0;
    std::uint8_t m_tagBytes[kTagBytes] = {};
};

void CameraSession::EndAfterClientCloses(const std::string& result)
{
    const IoOutcome outcome = m_conn.AwaitClientClose();
    m_summary.result = outcome == IoOutcome::PeerClosed ? result : result + "; then " + DescribeOutcome(outcome);
    m_conn.CloseGracefully();
}

bool CameraSession::SendReply(const StatusReply& reply, const std::vector<std::size_t>& pieces)
{
    const IoOutcome outcome = m_conn.SendInPieces(reply.bytes.data(), reply.bytes.size(), pieces);
    if (outcome == IoOutcome::Done)
        return true;
    m_summary.result = std::string("reply not sent: ") + DescribeOutcome(outcome);
    return false;
}

bool CameraSession::Answer(const std::string& step, const StatusReply& reply, const char* terminalResult)
{
    if (const Fault* fault = m_options.faults.At(step))
        return ApplyFault(*fault, reply, terminalResult);
    if (!SendReply(reply))
        return false;
    if (!terminalResult)
        return true;
    EndAfterClientCloses(terminalResult);
    return false;
}

bool CameraSession::ApplyFault(const Fault& fault, const StatusReply& reply, const char* terminalResult)
{
    const std::string label = "fault " + fault.asGiven;
    using A = Fault::Action;
    switch (fault.action) {
    case A::Deny:
        if (SendReply(CodeReply(ST_LOGIN_DENIED)))
            EndAfterClientCloses(label);
        return false;
    case A::Fail:
        if (SendReply(FailReply(fault.text)))
            EndAfterClientCloses(label);
        return false;
    case A::Code:
    case A::Split: {
        StatusReply sent = reply;
        if (fault.action == A::Code) {
            std::fill(sent.bytes.begin(), sent.bytes.begin() + REPLY_PROGRESS_VALUE_OFFSET, 0);
            std::memcpy(sent.bytes.data(), fault.text.data(), fault.text.size());
        }
        if (!SendReply(sent, fault.pieces))
            return false;
        if (!terminalResult)
            return true;
        EndAfterClientCloses(label + "; " + terminalResult);
        return false;
    }
    case A::Close:
    case A::CloseAfter:
    case A::Reset:
    case A::ResetAfter: {
        const bool reset = fault.action == A::Reset || fault.action == A::ResetAfter;
        if (fault.bytes > 0 && m_conn.SendAll(reply.bytes.data(), fault.bytes) != IoOutcome::Done) {
            m_summary.result = label + "; the client was gone first";
            return false;
        }
        if (reset)
            m_conn.CloseWithReset();
        else
            m_conn.CloseGracefully();
        m_summary.result = label;
        return false;
    }
    case A::Silent:
        EndAfterClientCloses(label);
        return false;
    }
    return false;
}

bool CameraSession::ReadBlock(std::uint8_t* buf, std::size_t len, const char* what)
{
    const ReadResult read = m_conn.ReadExact(buf, len);
    if (read.outcome == IoOutcome::Done)
        return true;
    m_summary.result = std::string(DescribeOutcome(read.outcome)) + " after " + std::to_string(read.got) + " of " +
                       std::to_string(len) + " bytes of the " + what;
    return false;
}

bool CameraSession::Pause(int ms)
{
    if (ms <= 0 || PauseUnlessStopped(ms))
        return true;
    m_summary.result = DescribeOutcome(IoOutcome::Stopped);
    return false;
}

bool CameraSession::Login()
{
    CredentialBlock block;
    if (!ReadBlock(block.bytes.data(), block.bytes.size(), "credentials"))
        return false;
    const std::string id = FieldText(block.bytes.data() + CREDENTIAL_ADMIN_ID_OFFSET, CREDENTIAL_FIELD_SIZE);
    const std::string password = FieldText(block.bytes.data() + CREDENTIAL_PASSWORD_OFFSET, CREDENTIAL_FIELD_SIZE);
    if (id == m_options.adminId && password == m_options.password)
        return Answer(fault_step::kLogin, CodeReply(ST_LOGIN_OK), nullptr);
    return Answer(fault_step::kLogin, CodeReply(ST_LOGIN_DENIED), "login refused");
}

bool CameraSession::Header()
{
    if (!ReadBlock(m_header.bytes.data(), m_header.bytes.size(), "header"))
        return false;
    const std::uint8_t* h = m_header.bytes.data();
    m_length = ReadBigEndian32(h + HEADER_IMAGE_LENGTH_OFFSET);
    m_announcedSum = ReadBigEndian32(h + HEADER_CHECKSUM_OFFSET);
    const std::uint32_t fragmentSize = ReadBigEndian32(h + HEADER_FRAGMENT_SIZE_OFFSET);
    m_summary.tag = Printable(FieldText(h + HEADER_TYPE_TAG_OFFSET, HEADER_TYPE_TAG_SIZE));
    m_summary.length = std::to_string(m_length);

    std::string reason;
    if (!KnownTag(h + HEADER_TYPE_TAG_OFFSET))
        reason = "unknown firmware type tag";
    else if (fragmentSize != FRAGMENT_SIZE)
        reason = "fragment size " + std::to_string(fragmentSize) + " is not " + std::to_string(FRAGMENT_SIZE);
    else if (m_length == 0)
        reason = "image length is 0";
    if (!reason.empty()) {
        const std::string result = "header refused: " + reason;
        return Answer(fault_step::kHeader, FailReply(reason), result.c_str());
    }
    m_sink.Begin();
    return Answer(fault_step::kHeader, CodeReply(ST_HEADER_OK), nullptr);
}

bool CameraSession::ReadPiece(std::uint8_t* buf, std::size_t len, const std::string& name)
{
    const ReadResult read = m_conn.ReadExact(buf, len);
    m_received += read.got;
    const std::string progress = std::to_string(m_received) + " of " + std::to_string(m_length) + " image bytes";
    if (read.outcome == IoOutcome::TimedOut) {
        // A client that stops sending inside the image gets a verdict instead of a silent camera.
        const std::string reason = "image incomplete: " + progress + " arrived";
        if (SendReply(FailReply(reason)))
            EndAfterClientCloses("image refused: " + reason);
        return false;
    }
    if (read.outcome != IoOutcome::Done) {
        m_summary.result = std::string(DescribeOutcome(read.outcome)) + " after " + progress;
        return false;
    }
    const std::uint64_t offset = m_received - len;
    for (std::uint64_t i = offset; i < kTagBytes && i < m_received; ++i)
        m_tagBytes[i] = buf[i - offset];
    m_sum += ImageChecksum(buf, len);
    m_sink.Append(buf, len);
    if (m_conn.HasWaitingBytes()) {
        const std::string reason = "more than " + std::to_string(len) + " bytes arrived for " + name;
        if (SendReply(FailReply(reason)))
            EndAfterClientCloses("image refused: " + reason);
        return false;
    }
    return true;
}

std::string CameraSession::VerdictOnImage() const
{
    if (m_sum != m_announcedSum)
        return "checksum mismatch: header " + Hex32(m_announcedSum) + ", image " + Hex32(m_sum);
    std::uint8_t expected[HEADER_TYPE_TAG_SIZE] = {};
    WriteTypeTag(m_tagBytes, std::min<std::uint32_t>(m_length, kTagBytes), expected);
    if (std::memcmp(expected, m_header.bytes.data() + HEADER_TYPE_TAG_OFFSET, HEADER_TYPE_TAG_SIZE) != 0)
        return "type tag does not match the image";
    return "";
}

bool CameraSession::Image()
{
    const std::uint32_t fullFragments = m_length / FRAGMENT_SIZE;
    const std::uint32_t rest = m_length % FRAGMENT_SIZE;
    const std::uint32_t pieces = fullFragments + (rest > 0 ? 1 : 0);
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[FRAGMENT_SIZE]);

    for (std::uint32_t k = 0; k < pieces; ++k) {
        const bool last = k + 1 == pieces;
        const std::uint32_t size = last && rest > 0 ? rest : FRAGMENT_SIZE;
        const std::string fragmentStep = fault_step::Fragment(k);
        const std::string name = k < fullFragments ? fragmentStep : "the final piece";
        if (!ReadPiece(buffer.get(), size, name) || !Pause(m_options.ackDelayMs))
            return false;
        if (!last) {
            if (!Answer(fragmentStep, CodeReply(ST_FRAGMENT_OK), nullptr))
                return false;
            continue;
        }
        // The reply to the last piece is the camera's verdict on the image as a whole.
        const std::string reason = VerdictOnImage();
        m_summary.checksum = m_sum == m_announcedSum ? "ok" : "mismatch";
        m_sink.Commit();
        const std::string step =
            k < fullFragments && m_options.faults.At(fragmentStep) ? fragmentStep : std::string(fault_step::kFinal);
        if (!reason.empty()) {
            const std::string result = "image refused: " + reason;
            return Answer(step, FailReply(reason), result.c_str());
        }
        return Answer(step, CodeReply(ST_IMAGE_COMPLETE), nullptr);
    }
    return true;
}

void CameraSession::Flash()
{
    const std::uint16_t steps = static_cast<std::uint16_t>(m_options.flashSteps);
    std::size_t report = 0;
    for (int stage : {ST_ERASING, ST_WRITING, ST_VERIFYING}) {
        // The first report of a stage sets the client's range; the later ones move its position.
        for (std::uint16_t position = 0; position <= steps; ++position) {
            if (!Pause(m_options.flashDelayMs) ||
                !Answer(fault_step::Flash(report++), CodeReply(stage, position, steps), nullptr))
                return;
            if (position == steps)
                break; // steps may be 65535
        }
    }
    if (Pause(m_options.flashDelayMs))
        Answer(fault_step::kDone, CodeReply(ST_UPGRADE_DONE), "completed");
}

} // namespace

std::string SessionSummary::LogLine() const
{
    std::string line = "camera-sim: session " + std::to_string(number) + " from " + peer + ": tag " + tag +
                       ", length " + length + ", checksum " + checksum + ", " + result;
    if (!saved.empty())
        line += ", " + saved;
    return line;
}

SessionSummary ServeCameraSession(Connection& connection, const SimOptions& options, long number,
                                  const std::string& peer)
{
    SessionSummary summary;
    summary.number = number;
    summary.peer = peer;
    CameraSession session(connection, options, summary);
    session.Run();
    return summary;
}
