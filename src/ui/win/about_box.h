#pragma once
// The about box, and the texts it shares with the main window's About page.
#include <windows.h>

#include <string>

#include "app/program_paths.h"
#include "ui/win/scoped_win.h"

namespace kestrine::ui::win {

class Dialog;

// "Version 3.30.0", read from the program's version information.
std::string VersionLine();

// The product name in a larger type, the version, what Kestrine is, the thanks and where the
// settings and the log are, set on the
// controls of `dialog` (the about box or the About page). Keeps the title's font.
class AboutTexts {
  public:
    void Fill(Dialog& dialog, const ProgramPaths& paths);

  private:
    GdiObject titleFont_;
};

// Shows the about box modally over `owner`.
void ShowAboutBox(HWND owner, const ProgramPaths& paths);

}  // namespace kestrine::ui::win
