// Entry of the main program: binds the optional platform libraries, opens the
// diagnostic log, loads the settings, gives way to a running instance, selects
// the language, makes sure the settings key exists, loads the virus database,
// creates the main window and runs the message loop. Every failure on this
// road ends the program with exit code 0.
#include <windows.h>

#include <string>

#include "app/mainwnd.h"
#include "base/binding.h"
#include "base/edition.h"
#include "editions/smartphone.h"
#include "engine/vps.h"
#include "log/diaglog.h"
#include "settings/registry.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "shell/config.h"
#include "shell/keyboard.h"
#include "shell/lang.h"
#include "shell/msgbox.h"

// The start-up's registry object: holds the settings key from the check at
// start-up until the program returns from its entry.
RegistryKey reg;

namespace {

constexpr wchar_t kInternal[] = L"Internal";

void showBindingFailure(const char* message) {
    std::wstring text(message, message + strlen(message));
    MessageBoxW(nullptr, text.c_str(), L"zerbin! antivirus", MB_ICONHAND);
}

void makeSureSettingsKeyExists() {
    g_log.Printf(kInternal, L"\"reg.Open calling - key %s\"", kSettingsKeyPath);
    Status status = reg.Open(HKEY_CURRENT_USER, kSettingsKeyPath, KEY_ALL_ACCESS);
    if (status != ERROR_SUCCESS) {
        g_log.Printf(kInternal, L"reg.Open: error %d", static_cast<int>(status));
        status = reg.Create(HKEY_CURRENT_USER, kSettingsKeyPath, nullptr, 0, KEY_ALL_ACCESS, nullptr);
        g_log.Printf(kInternal, L"reg.Create: error %d", static_cast<int>(status));
    }
}

int runMessageLoop() {
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if constexpr (kHasSoftKeys) {
            if (smartphone::focusKey(msg)) continue;
        } else {
            if (screenKey(msg)) continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand) {
    if (const char* failure = bindPlatformLibraries()) {
        showBindingFailure(failure);
        return 0;
    }

    g_log.Open(L"morvane_pda.log");
    g_log.Write(kInternal, L"EXE is starting...");
    regLoad(g_config);

    if (HWND running = FindWindowW(kMainWindowClass, kMainWindowTitle)) {
        SetForegroundWindow(running);
        return 0;
    }

    g_log.Write(kInternal, L"lang.Init calling...");
    lang.Init(static_cast<uint16_t>(g_config.s_nLanguage));

    makeSureSettingsKeyExists();

    g_log.Write(kInternal, L"init VPS");
    g_config.s_nEngineError = vpsLoad();
    if (g_config.s_nEngineError != 0) {
        ShowErrorBox(lang.GetString(8502), g_config.s_nEngineError);
        reg.Close();
        return 0;
    }

    if (!registerMainWindowClass(instance) || !createMainWindow(instance, showCommand)) {
        reg.Close();
        return 0;
    }
    g_log.Close();

    int exitCode = runMessageLoop();
    reg.Close();
    return exitCode;
}
