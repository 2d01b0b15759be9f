// The texts the front end itself shows; the session's own texts live with the engine.
#pragma once

namespace dlgtext {

constexpr const char* kMustLoadFirmware = "You must load firmware";
constexpr const char* kTooManyCharacters = "Please enter no more than %1 characters.";
constexpr const char* kSocketsStartFailed = "could not find a usable WinSock DLL : %1";
constexpr const char* kSocketsVersionUnusable = "could not find a usable WinSock DLL";
constexpr const char* kHelpFailed = "Failed to launch help.";

constexpr const char* kChooserTitle = "open firmware open";
constexpr const char* kChooserFilter = "Firmware Files (*.frm)";
constexpr const char* kChooserDefaultSuffix = "frm";
constexpr const char* kChooserInitialName = "*.frm";
constexpr const char* kFirmwareExtension = "frm";

// One worker at a time, and a start that cannot create its thread says so.
constexpr const char* kUpgradeRunning = "An upgrade is already running. Wait until it has ended.";
constexpr const char* kNoWorkerThread = "The upgrade could not be started: no worker thread could be created.";

} // namespace dlgtext
