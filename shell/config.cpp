#include "shell/config.h"

Config::Config()
    : StoredSettings{2, 0, 9, 1, 1},
      s_hScanThread(nullptr),
      s_bPauseScan(0),
      s_bStopScan(0),
      s_nScreen(0),
      s_hMainWnd(nullptr),
      s_nEngineError(0) {}
