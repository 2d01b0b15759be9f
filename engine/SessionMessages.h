// Every text the session shows the operator, exactly as operators and their scripts know it.
#pragma once

#include <cstdint>
#include <string>

namespace msg {

constexpr const char* kRecvnSocketError = "SOCKET_ERROR in recvn";
constexpr const char* kRecvnClosed = "nRead is 0 in recvn(the connection was closed gracefully)";

constexpr const char* kCredentialsInvalid = "Admin ID and password are invalid";
constexpr const char* kInvalidPort = "Invalid port number";
constexpr const char* kUnknownServer = "unknown server name";
constexpr const char* kConnectError = "connect error";
constexpr const char* kLoginDenied = "Admin ID and passowrd are invalid";
constexpr const char* kLoginLimit =
    "Program is terminated because admin authentification failed 10 times.\nCheck the admin ID and password.";
constexpr const char* kInvalidLoginReply = "Invalid AdminID, Password Message";
constexpr const char* kNotAllowedFirmware = "Not Allowed Firmware";
constexpr const char* kInvalidTransferReply = "Invalid firmware transfer message";
constexpr const char* kEarlyImageComplete = "PC didn't send all firmware";
constexpr const char* kUndefinedProgress = "Undefined upgrade progress message";
constexpr const char* kUpgradeCompleted = "Firmware upgrade completed";

constexpr const char* kWriteCredentials = "write error(sending AdminID, password)";
constexpr const char* kReadCredentials = "socket error(read AdminID, password authentication)";
constexpr const char* kWriteHeader = "write error(sending header of encapsulated firmware)";
constexpr const char* kReadTransfer = "socket error(read firmware transfer status message)";
constexpr const char* kWriteFragment = "write error(sending fragmented firmware)";
constexpr const char* kWriteFinalPiece = "write error(sending firmware of encapsulated firmware)";
constexpr const char* kReadProgress = "socket error(Send upgrade progress message)";

constexpr const char* kCloseWriteCredentials = "closesocket failed(write AdminID, password)";
constexpr const char* kCloseReadCredentials = "closesocket failed(read AdminID, password authentication)";
constexpr const char* kCloseWriteHeader = "closesocket failed(write header of encapsulated firmware)";
constexpr const char* kCloseReadTransfer = "closesocket failed(read firmware transfer status message)";
constexpr const char* kCloseWriteFragment = "closesocket failed(sending fragmented firmware)";
constexpr const char* kCloseWriteFinalPiece = "closesocket failed(write firmware of encapsulated firmware)";
constexpr const char* kCloseReadProgress = "closesocket failed(Send upgrade progress message)";
constexpr const char* kCloseProgressVerdict = "closesocket failed(upgrade progress message)";

constexpr const char* kStatusTransferring = "Transferring Firmware";
constexpr const char* kStatusErasing = "Erasing flash memory";
constexpr const char* kStatusWriting = "Writing flash memory";
constexpr const char* kStatusVerifying = "Verifying flash memory";

inline std::string SocketCreateError(int code)
{
    return "tcp socket create error: error code is " + std::to_string(code);
}
inline std::string WriteCountMismatch(long count, long expected)
{
    return "nWrite(" + std::to_string(count) + ") is not equal to " + std::to_string(expected);
}
inline std::string FragmentCountMismatch(long count)
{
    return "nWrite(" + std::to_string(count) + ") is not equal to fragmented firmware size(10240)";
}
inline std::string FinalPieceCountMismatch(long count, long expected)
{
    return "nWrite(" + std::to_string(count) + ") is not equal to firmware size(" + std::to_string(expected) + ")";
}
inline std::string ReadCountMismatch(long count, long expected)
{
    return "nRead(" + std::to_string(count) + ") is not equal to " + std::to_string(expected);
}
// The reason is inserted as data, never interpreted as a format.
inline std::string UpgradeFailed(const std::string& reason)
{
    return "Upgrade failed: " + reason;
}

} // namespace msg
