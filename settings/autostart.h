#pragma once
// The monitor's start at boot, kept in step with the "AutoUpdate" setting of
// g_config: the boot start list "Init" (Pocket PC, WM5, Handheld PC) or a
// shortcut in the Startup folder (Smartphone). Also starts or ends the
// running monitor at once.
void monitorAutostart();
