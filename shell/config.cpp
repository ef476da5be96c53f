#include "shell/config.h"

Config::Config()
    : s_nReportLevel(2),
      s_bStorageCard(0),
      s_nLanguage(9),
      s_bAutoUpdate(1),
      s_hScanThread(nullptr),
      s_bPauseScan(0),
      s_bStopScan(0),
      s_nScreen(0),
      s_hMainWnd(nullptr),
      s_nEngineError(0) {}
