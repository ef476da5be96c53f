#pragma once
// The edition this program is built as: exactly one ZB_EDITION_* is defined by
// the build. Everything that differs between editions asks these constants.

enum class Edition { PocketPC, PocketPCWM5, HandheldPC, Smartphone };

#if defined(ZB_EDITION_PPC)
constexpr Edition kEdition = Edition::PocketPC;
#elif defined(ZB_EDITION_WM5)
constexpr Edition kEdition = Edition::PocketPCWM5;
#elif defined(ZB_EDITION_HPC)
constexpr Edition kEdition = Edition::HandheldPC;
#elif defined(ZB_EDITION_SPHONE)
constexpr Edition kEdition = Edition::Smartphone;
#else
#error "the build must choose an edition (ZB_EDITION_PPC, _WM5, _HPC or _SPHONE)"
#endif

// Libraries bound at start-up, in this order: connection manager, Internet, shell.
constexpr bool kBindsConnectionManager = kEdition == Edition::PocketPC || kEdition == Edition::Smartphone;
constexpr bool kBindsShell = kEdition != Edition::HandheldPC;

// Directory of this edition's update files on the update server.
constexpr const wchar_t* kServerDirectory = kEdition == Edition::PocketPC      ? L"/files/pda/ppc_arm/"
                                            : kEdition == Edition::PocketPCWM5 ? L"/files/pda/ppc_wm5/"
                                            : kEdition == Edition::HandheldPC  ? L"/files/pda/hpc_arm/"
                                                                               : L"/files/pda/sphone2003/";

// How an update gets on line: through the connection manager (Pocket PC,
// Smartphone), or by opening the Internet handle preconfigured, then direct.
constexpr bool kUpdateUsesConnectionManager = kBindsConnectionManager;

// The Handheld PC platform has no GetTempFileNameW: its install writes no
// probe file into the temporary folder.
constexpr bool kInstallProbesTempFolder = kEdition != Edition::HandheldPC;

// How the monitor is started at boot: the registry's boot start list "Init",
// or (Smartphone) a shortcut in the Startup folder.
constexpr bool kAutostartByShortcut = kEdition == Edition::Smartphone;

// The edition's screens: the Handheld PC has a button column and an Exit
// button; the Smartphone has soft keys and screens of its own.
constexpr bool kHasButtonColumn = kEdition == Edition::HandheldPC;
constexpr bool kHasSoftKeys = kEdition == Edition::Smartphone;

// The oldest platform version the executable declares that it runs on.
constexpr int kMinimumOsMajor = kEdition == Edition::HandheldPC ? 2 : kEdition == Edition::Smartphone ? 4 : 3;
constexpr int kMinimumOsMinor = kEdition == Edition::HandheldPC ? 11 : kEdition == Edition::Smartphone ? 20 : 0;

// The Handheld PC's landscape screens: settings in two halves, with the report
// levels in a list box (rows padded with 69 blanks) in place of a drop-down.
constexpr bool kHasLandscapeScreens = kEdition == Edition::HandheldPC;
// The touch screens' input panel, whose button the settings screen shows and
// hides. A Handheld PC has a keyboard and no input panel.
constexpr bool kHasInputPanel = kEdition != Edition::HandheldPC;
// The Pocket PC's navigation pad (Up, Down, Left, Right and Action, which is
// Enter) moves the focus between a screen's controls; the Handheld PC's
// keyboard leaves its arrows to the controls and moves with Tab.
constexpr bool kHasNavigationPad = kEdition == Edition::PocketPC || kEdition == Edition::PocketPCWM5;
