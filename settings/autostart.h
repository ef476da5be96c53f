#pragma once
// The monitor's start at boot, kept in step with the "AutoUpdate" setting
// (`autoUpdate`, as the main program holds it): the boot start list "Init" (Pocket PC, WM5, Handheld PC) or a
// shortcut in the Startup folder (Smartphone). Also starts or ends the
// running monitor at once.
void monitorAutostart(bool autoUpdate);
