#include "ui/win/about_box.h"

#include <vector>

#include "app/version.h"
#include "platform/text.h"
#include "ui/main_window_presenter.h"
#include "ui/win/dialog.h"
#include "ui/win/resource.h"

namespace kestrine::ui::win {

std::string VersionLine() {
    // The version resource of the running program: the version a user would find in the file's
    // properties.
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (data) {
        // VerQueryValue wants a copy it may write to.
        std::vector<char> copy(static_cast<const char*>(data),
                               static_cast<const char*>(data) + SizeofResource(module, found));
        wchar_t* text = nullptr;
        UINT length = 0;
        if (VerQueryValueW(copy.data(), L"\\StringFileInfo\\040904B0\\ProductVersion",
                           reinterpret_cast<void**>(&text), &length) &&
            length > 1)
            return "Version " + platform::Narrow(std::wstring(text, length - 1));
    }
    return std::string("Version ") + kProductVersion;
}

void AboutTexts::Fill(Dialog& dialog, const ProgramPaths& paths) {
    HWND title = dialog.Item(IDC_ABOUT_TITLE);
    if (!titleFont_.get()) {
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(title, WM_GETFONT, 0, 0)), sizeof font,
                   &font);
        font.lfHeight = font.lfHeight * 8 / 5;
        font.lfWeight = FW_SEMIBOLD;
        titleFont_.Reset(CreateFontIndirectW(&font));
    }
    if (titleFont_.get())
        SendMessageW(title, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_.get()), TRUE);
    dialog.SetItemText(IDC_ABOUT_TITLE, kProductName);
    dialog.SetItemText(IDC_ABOUT_VERSION, VersionLine());
    dialog.SetItemText(IDC_ABOUT_DESCRIPTION, kAboutDescription);
    dialog.SetItemText(IDC_ABOUT_THANKS, kAboutThanks);
    dialog.SetItemText(IDC_ABOUT_FILES, WhereFilesAreText(paths));
}

namespace {

class AboutBox : public Dialog {
  public:
    explicit AboutBox(const ProgramPaths& paths) : paths_(paths) {}

  protected:
    bool OnInit() override {
        texts_.Fill(*this, paths_);
        return true;
    }

  private:
    const ProgramPaths& paths_;
    AboutTexts texts_;
};

}  // namespace

void ShowAboutBox(HWND owner, const ProgramPaths& paths) {
    AboutBox box(paths);
    box.RunModal(IDD_ABOUT, owner);
}

}  // namespace kestrine::ui::win
