// zerbin shows the process search's messages in its own error box, owned by
// the main window.
#include "settings/process_search.h"
#include "shell/msgbox.h"

void showProcessSearchMessage(const wchar_t* text) { ShowErrorBox(text, 0); }
