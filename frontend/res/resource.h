// Resource numbers of the tool: the dialog template, the icon and the controls.
#pragma once

constexpr int IDD_UPGRADER_DIALOG = 102;
constexpr int IDR_MAINFRAME = 128; // icon 128, 32 x 32 pixels
constexpr const char* IDR_MAINFRAME_PATH = ":/res/icon128.png";

constexpr int IDC_STATIC = -1;
constexpr int IDC_IPADDRESS = 1000;
constexpr int IDC_ADMIN_ID = 1001;
constexpr int IDC_PASSWORD = 1002;
constexpr int IDC_START_UPGRADE = 1003;
constexpr int IDC_EXIT = 1004;
constexpr int IDC_PROGRESS = 1005;
constexpr int IDC_STATUS = 1006;
constexpr int IDC_PORT = 1007;
constexpr int IDC_FIRMWARE_OPEN = 1010;
constexpr int IDC_FIRMWARE_PATH = 1011;
