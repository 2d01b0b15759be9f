#include "UpgradeSession.h"

#include "FirmwareImage.h"
#include "Recvn.h"
#include "SessionMessages.h"
#include "SystemSockets.h"

#include <functional>

namespace {

constexpr int kMinPort = 1;
constexpr int kMaxPort = 65535;
constexpr int kRefusalLimit = 10;
constexpr int kReplySize = static_cast<int>(STATUS_REPLY_SIZE);

class UpgradeSession {
public:
    UpgradeSession(UpgradeDialogOps& dialog, const StopSignal& stop, SocketApi& net)
        : m_dialog(dialog), m_stop(stop), m_net(net)
    {
    }

    void Run()
    {
        if (Login() && AnnounceImage() && Transfer())
            FollowFlash();
    }

private:
    // Each phase returns true to go on; false means the session has ended (any exit already taken).
    bool Login();
    bool AnnounceImage();
    bool Transfer();
    void FollowFlash();

    using CountMessageFn = std::function<std::string(long sent)>;
    bool SendBlock(const std::uint8_t* data, std::size_t len, const char* writeError, const CountMessageFn& countError,
                   const char* closeMessage);
    bool ReadReply(StatusReply& reply, const char* socketError, const char* closeMessage);
    void FailureExit(const char* closeMessage);
    void FinishExit(const char* closeMessage);
    void CloseQuietly();
    void CloseReporting(const char* closeMessage);
    void Show(const std::string& text);

    UpgradeDialogOps& m_dialog;
    const StopSignal& m_stop;
    SocketApi& m_net;

    UpgradeInputs m_inputs;
    SocketHandle m_sock = INVALID_SOCKET_HANDLE;
    bool m_buttonsDisabled = false;
    UpgradeHeader m_header;
    StatusReply m_reply;
    std::shared_ptr<const FirmwareImage> m_image;
};

void UpgradeSession::Show(const std::string& text)
{
    // After a stop nobody is left to answer a message box.
    if (!m_stop.Requested())
        m_dialog.ShowMessage(text);
}

void UpgradeSession::CloseQuietly()
{
    m_net.CloseSocket(m_sock);
    m_sock = INVALID_SOCKET_HANDLE;
}

void UpgradeSession::CloseReporting(const char* closeMessage)
{
    const int result = m_net.CloseSocket(m_sock);
    m_sock = INVALID_SOCKET_HANDLE;
    if (result == SOCKET_ERROR_RESULT)
        Show(closeMessage);
}

void UpgradeSession::FailureExit(const char* closeMessage)
{
    if (m_buttonsDisabled)
        m_dialog.EnableButtons(true);
    CloseReporting(closeMessage);
}

void UpgradeSession::FinishExit(const char* closeMessage)
{
    m_dialog.FinishUpgrade();
    CloseReporting(closeMessage);
}

bool UpgradeSession::SendBlock(const std::uint8_t* data, std::size_t len, const char* writeError,
                               const CountMessageFn& countError, const char* closeMessage)
{
    const long sent = m_net.Send(m_sock, data, len);
    if (sent == static_cast<long>(len))
        return true;
    Show(sent == SOCKET_ERROR_RESULT ? std::string(writeError) : countError(sent));
    FailureExit(closeMessage);
    return false;
}

bool UpgradeSession::ReadReply(StatusReply& reply, const char* socketError, const char* closeMessage)
{
    const int got = recvn(m_net, m_sock, reinterpret_cast<char*>(reply.bytes.data()), kReplySize,
                          [this](const std::string& text) { Show(text); });
    if (got == kReplySize)
        return true;
    Show(got == -1 ? std::string(socketError) : msg::ReadCountMismatch(got, kReplySize));
    FailureExit(closeMessage);
    return false;
}

bool UpgradeSession::Login()
{
    m_header = UpgradeHeader{};
    m_inputs = m_dialog.LoadInputs();

    const auto validLength = [](const std::string& text) {
        return !text.empty() && text.size() <= CREDENTIAL_MAX_TEXT;
    };
    if (!validLength(m_inputs.adminId) || !validLength(m_inputs.password)) {
        Show(msg::kCredentialsInvalid);
        return false;
    }
    const int port = AtoiSaturating(reinterpret_cast<const std::uint8_t*>(m_inputs.port.data()), m_inputs.port.size());
    if (port < kMinPort || port > kMaxPort) {
        Show(msg::kInvalidPort);
        return false;
    }

    m_sock = m_net.Socket();
    if (m_sock == INVALID_SOCKET_HANDLE) {
        Show(msg::SocketCreateError(m_net.LastError()));
        return false;
    }
    const auto& a = m_inputs.address;
    const std::string addressText = std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) +
                                    "." + std::to_string(a[3]);
    Ipv4Endpoint peer;
    peer.address = m_net.InetAddr(addressText);
    peer.port = static_cast<std::uint16_t>(port);
    if (peer.address == INADDR_NONE_VALUE) {
        Show(msg::kUnknownServer);
        CloseQuietly();
        return false;
    }
    if (m_net.Connect(m_sock, peer) == SOCKET_ERROR_RESULT) {
        Show(msg::kConnectError);
        CloseQuietly();
        return false;
    }

    const CredentialBlock credentials = EncodeCredentialBlock(m_inputs.adminId, m_inputs.password);
    if (!SendBlock(credentials.bytes.data(), credentials.bytes.size(), msg::kWriteCredentials,
                   [](long sent) { return msg::WriteCountMismatch(sent, CREDENTIAL_BLOCK_SIZE); },
                   msg::kCloseWriteCredentials))
        return false;
    if (!ReadReply(m_reply, msg::kReadCredentials, msg::kCloseReadCredentials))
        return false;

    switch (ReadStatusCode(m_reply)) {
    case ST_LOGIN_OK:
        return true;
    case ST_LOGIN_DENIED:
        Show(msg::kLoginDenied);
        if (m_dialog.CountRefusedLogin() == kRefusalLimit) {
            Show(msg::kLoginLimit);
            FinishExit(msg::kCloseReadCredentials);
        } else {
            FailureExit(msg::kCloseReadCredentials);
        }
        return false;
    case ST_FAILED:
        Show(msg::UpgradeFailed(ReadReasonText(m_reply)));
        FinishExit(msg::kCloseReadCredentials);
        return false;
    default:
        Show(msg::kInvalidLoginReply);
        FailureExit(msg::kCloseReadCredentials);
        return false;
    }
}

bool UpgradeSession::AnnounceImage()
{
    m_dialog.EnableButtons(false);
    m_buttonsDisabled = true;

    if (m_stop.Requested()) {
        FailureExit(msg::kCloseReadCredentials);
        return false;
    }
    m_image = m_inputs.preloadedImage;
    if (!m_image) {
        FirmwareLoad load = LoadFirmwareFile(m_inputs.firmwarePath);
        if (!load.image) {
            Show(load.error);
            FailureExit(msg::kCloseReadCredentials);
            return false;
        }
        m_image = std::move(load.image);
    }
    if (!BuildUpgradeHeader(m_image->data(), m_image->length, m_header)) {
        Show(msg::kNotAllowedFirmware);
        FailureExit(msg::kCloseReadCredentials);
        return false;
    }

    if (!SendBlock(m_header.bytes.data(), m_header.bytes.size(), msg::kWriteHeader,
                   [](long sent) { return msg::WriteCountMismatch(sent, UPGRADE_HEADER_SIZE); },
                   msg::kCloseWriteHeader))
        return false;
    if (!ReadReply(m_reply, msg::kReadTransfer, msg::kCloseReadTransfer))
        return false;

    switch (ReadStatusCode(m_reply)) {
    case ST_HEADER_OK:
        return true;
    case ST_FAILED:
        Show(msg::UpgradeFailed(ReadReasonText(m_reply)));
        FinishExit(msg::kCloseReadTransfer);
        return false;
    default:
        Show(msg::kInvalidTransferReply);
        FailureExit(msg::kCloseReadTransfer);
        return false;
    }
}

bool UpgradeSession::Transfer()
{
    const std::uint32_t length = m_image->length;
    const std::uint32_t fullFragments = length / FRAGMENT_SIZE;
    const std::uint32_t rest = length - fullFragments * FRAGMENT_SIZE;
    const std::uint8_t* image = m_image->data();

    m_dialog.SetStatusText(msg::kStatusTransferring);
    m_dialog.ShowMembers();
    m_dialog.SetProgressRange(rest > 0 ? fullFragments + 1 : fullFragments);
    m_dialog.SetProgressPos(0);

    for (std::uint32_t i = 0; i < fullFragments;) {
        if (!SendBlock(image + std::size_t{i} * FRAGMENT_SIZE, FRAGMENT_SIZE, msg::kWriteFragment,
                       [](long sent) { return msg::FragmentCountMismatch(sent); }, msg::kCloseWriteFragment))
            return false;
        if (!ReadReply(m_reply, msg::kReadTransfer, msg::kCloseReadTransfer))
            return false;
        const int code = ReadStatusCode(m_reply);
        if (code == ST_FRAGMENT_OK) {
            m_dialog.SetProgressPos(i + 1);
            ++i;
            m_dialog.ShowMembers();
        } else if (code == ST_IMAGE_COMPLETE && i == fullFragments - 1) {
            break; // the camera holds every full fragment; the bar stays where it is
        } else if (code == ST_FAILED) {
            Show(msg::UpgradeFailed(ReadReasonText(m_reply)));
            FinishExit(msg::kCloseReadTransfer);
            return false;
        } else {
            Show(code == ST_IMAGE_COMPLETE ? msg::kEarlyImageComplete : msg::kInvalidTransferReply);
            FailureExit(msg::kCloseReadTransfer);
            return false;
        }
    }

    if (rest == 0)
        return true;
    if (!SendBlock(image + std::size_t{fullFragments} * FRAGMENT_SIZE, rest, msg::kWriteFinalPiece,
                   [rest](long sent) { return msg::FinalPieceCountMismatch(sent, rest); },
                   msg::kCloseWriteFinalPiece))
        return false;
    if (!ReadReply(m_reply, msg::kReadTransfer, msg::kCloseReadTransfer))
        return false;
    const int code = ReadStatusCode(m_reply);
    if (code == ST_IMAGE_COMPLETE) {
        m_dialog.SetProgressPos(fullFragments + 1);
        m_dialog.ShowMembers();
        return true;
    }
    if (code == ST_FAILED) {
        Show(msg::UpgradeFailed(ReadReasonText(m_reply)));
        FinishExit(msg::kCloseReadTransfer);
        return false;
    }
    Show(msg::kInvalidTransferReply);
    FailureExit(msg::kCloseReadTransfer);
    return false;
}

void UpgradeSession::FollowFlash()
{
    struct Stage {
        int code;
        const char* status;
        bool firstReport;
    };
    Stage stages[] = {
        {ST_ERASING, msg::kStatusErasing, true},
        {ST_WRITING, msg::kStatusWriting, true},
        {ST_VERIFYING, msg::kStatusVerifying, true},
    };
    StatusReply report;
    for (;;) {
        if (!ReadReply(report, msg::kReadProgress, msg::kCloseReadProgress))
            return;
        const int code = ReadStatusCode(report);
        Stage* stage = nullptr;
        for (Stage& candidate : stages)
            if (candidate.code == code)
                stage = &candidate;
        if (stage) {
            m_dialog.SetStatusText(stage->status);
            if (stage->firstReport) {
                m_dialog.SetProgressRange(ReadProgressTotal(report));
                m_dialog.SetProgressPos(0);
                stage->firstReport = false;
            } else {
                m_dialog.SetProgressPos(ReadProgressValue(report));
            }
            m_dialog.ShowMembers();
            continue;
        }
        if (code == ST_UPGRADE_DONE)
            Show(msg::kUpgradeCompleted);
        else if (code == ST_FAILED)
            Show(msg::UpgradeFailed(ReadReasonText(report)));
        else
            Show(msg::kUndefinedProgress);
        FinishExit(msg::kCloseProgressVerdict);
        return;
    }
}

} // namespace

int UpgradeThreadProc(UpgradeDialogOps& dialog, const StopSignal& stop, SocketApi* sockets)
{
    SystemSockets systemSockets(stop);
    UpgradeSession session(dialog, stop, sockets ? *sockets : systemSockets);
    session.Run();
    return 0;
}
