// Dialog template 102: the upgrader dialog's size, caption and controls in dialog units.
// The order of the controls is the creation order and therefore the tab order.
#pragma once

#include "resource.h"

#include <array>

namespace dlgtemplate {

constexpr const char* kCaption = "Firmware Upgrader ( Ver 1,0,1,0 )";
constexpr int kWidth = 247;
constexpr int kHeight = 238;
constexpr int kFontPoints = 8;
constexpr const char* kFontFamily = "MS Sans Serif";

// RightLabel: right-aligned and vertically centred; LeftLabel: left-aligned at the top.
enum class Kind { RightLabel, LeftLabel, IpAddress, Edit, Password, Button, StatusLine, Progress, GroupBox };

struct Control {
    int id;
    Kind kind;
    const char* text;
    int x, y, cx, cy;
};

constexpr std::array<Control, 16> kControls = {{
    {IDC_STATIC, Kind::RightLabel, "Camera IP :", 31, 47, 59, 15},
    {IDC_STATIC, Kind::RightLabel, "Admin password :", 31, 113, 59, 15},
    {IDC_STATIC, Kind::RightLabel, "Admin ID :", 31, 91, 59, 15},
    {IDC_IPADDRESS, Kind::IpAddress, "", 101, 47, 100, 16},
    {IDC_ADMIN_ID, Kind::Edit, "", 101, 91, 100, 16},
    {IDC_PASSWORD, Kind::Password, "", 101, 113, 100, 16},
    {IDC_START_UPGRADE, Kind::Button, "Start upgrade", 60, 203, 54, 19},
    {IDC_STATUS, Kind::StatusLine, "", 80, 158, 150, 13},
    {IDC_PROGRESS, Kind::Progress, "", 18, 179, 207, 11},
    {IDC_EXIT, Kind::Button, "Exit", 131, 203, 54, 19},
    {IDC_STATIC, Kind::RightLabel, "Upgrade port :", 31, 69, 59, 15},
    {IDC_PORT, Kind::Edit, "", 101, 69, 100, 16},
    {IDC_STATIC, Kind::GroupBox, "", 18, 9, 207, 132},
    {IDC_STATIC, Kind::LeftLabel, "Upgrade status: ", 19, 161, 57, 8},
    {IDC_FIRMWARE_OPEN, Kind::Button, "Firmware Open", 35, 25, 55, 15},
    {IDC_FIRMWARE_PATH, Kind::Edit, "", 101, 25, 100, 16},
}};

} // namespace dlgtemplate
