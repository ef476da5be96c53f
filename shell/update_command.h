#pragma once
// The Update command of the settings screen: one update run on the
// user-interface thread, ended by the install when a newer package arrives.
void runUpdateCommand();
