// The program's global objects, built before its entry runs, in this order:
// the diagnostic log, the language (at once set to the user's language), and
// the configuration with its defaults (so the language that counts at
// start-up is the stored one, or English).
#include "log/diaglog.h"
#include "shell/config.h"
#include "shell/lang.h"

DiagnosticLog g_log;
Language lang;
Config g_config;
