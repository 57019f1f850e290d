// The host's stored interface colours: section "Startup" of the per-user settings of the
// application "tarnwick", on Linux the file ~/.config/tarnwick/tarnwick.ini. Values are decimal
// text of a colour 0x00BBGGRR or of a flag; a missing key, or one whose value is not a number,
// takes the default below. The store is only read.
#pragma once
#include <QString>
#include <cstdint>

class QSettings;

struct HostTheme {
    int32_t Shine_Color = 14737632;             // 0xE0E0E0, light edges
    int32_t Shadow_Color = 2105376;             // 0x202020, dark edges
    int32_t Half_Shine_Color = 12632256;        // 0xC0C0C0, read only
    int32_t Half_Shadow_Color = 7368816;        // 0x707070, read only
    int32_t Button_Fill_Color = 12632256;       // 0xC0C0C0, button faces
    int32_t Scroll_Fill_Color = 10392975;       // 0x9E958F, slider troughs
    int32_t Scroll_Bar_Color = 16777215;        // 0xFFFFFF, slider bars
    int32_t Tab_Highlight_Color = 13694207;     // 0xD0F4FF, read only
    int32_t Ruler_Color = 12118266;             // 0xB8E8FA, read only
    int32_t Textbox_Fill_Color = 6706517;       // 0x665555
    int32_t Textbox_Text_Color = 8974079;       // 0x88EEFF
    int32_t Special_Backdrop_Color = 10392975;  // 0x9E958F, read only
    int32_t Special_Tool_Color = 12697289;      // 0xC1BEC9, buttons tagged "Tool"
    int32_t Special_Setting_Color = 12961206;   // 0xC5C5B6, buttons tagged "Setting"
    int32_t Special_Action_Color = 11911101;    // 0xB5BFBD, buttons tagged "Action"
    int32_t Borderless_Buttons = 0;             // exactly 1: buttons without edges
    int32_t Borderless_Scrollers = 0;           // not 0: slider edges in the trough colour
    int32_t Borderless_Strings = 0;             // read only
    int32_t Borderless_Tabs = 0;                // read only
};

// The window's back colour under any theme.
constexpr uint32_t kThemeWindowColor = 10392975;  // 0x9E958F

// The full path of the host's settings file.
QString HostThemeStorePath();
// The 19 keys, in the order the host lists them, from the host's store.
HostTheme ReadHostTheme();
// The same from a given store (tests point it at a folder of their own).
HostTheme ReadHostTheme(QSettings& store);
