#pragma once
// The main window of the interactive program.
#include <functional>

#include "app/app_state.h"
#include "archive/zip_types.h"

namespace kestrine::ui::win {

struct MainWindowSetup {
    AppState& state;
    // Holds the archive opened on the Restore page until the next open or backup.
    const archive::ZipOptions& zip;
    // Gathers the start-up facts before the window loads (the program: its folders and names,
    // Windows, Outlook and the profiles). Tests leave it empty and prepare `state` themselves.
    std::function<void(AppState&)> gatherFacts;
};

// Loads and shows the main window and runs the program's message loop until the user quits;
// returns the exit status (0, or 1 when the window could not be made).
int RunMainWindow(const MainWindowSetup& setup);

}  // namespace kestrine::ui::win
