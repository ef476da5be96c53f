#pragma once
// Child control identifiers of the main window (also the string IDs of their
// captions where they have one) and the program's private messages.
#include <windows.h>

enum ControlId : int {
    kMainScan = 8102,
    kMainSettings = 8103,
    kMainReport = 8104,
    kMainExit = 8120,  // Handheld PC: the Exit button of its button column
    kScanCurrentFile = 8211,
    kScanScanned = 8212,
    kScanInfected = 8213,
    kScanList = 116,
    kScanDelete = 8206,
    kScanCancel = 8207,
    kReportText = 118,
    kReportBack = 8318,
    kSettingsLanguageLabel = 8400,
    kSettingsLanguageList = 8401,
    kSettingsUpdate = 8402,
    kSettingsDone = 8403,
    kSettingsStorageCard = 8404,
    kSettingsReportLabel = 8408,
    kSettingsAutoUpdate = 8409,
    kSettingsReportLevel = 8410,
};

constexpr UINT WM_SHOW_SETTINGS = 0x8102;

// Screens, as held in g_config.s_nScreen.
enum ScreenId : int { kScreenMain = 0, kScreenScan = 1, kScreenSettings = 2, kScreenReport = 3 };
