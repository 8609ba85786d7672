#pragma once
// The settings dialog: every preference of settings.dat, and the start at log-on.
#include <windows.h>

#include "ui/settings_store.h"

namespace kestrine::ui::win {

// Shows the settings dialog modally over `owner`, loaded from settings.dat. "OK" writes every key
// and sets or removes the log-on start value; "Cancel" writes nothing. True when it was confirmed.
bool ShowSettingsDialog(HWND owner, const SettingsFiles& files);

}  // namespace kestrine::ui::win
