#include <windows.h>
//
#include <shlobj.h>

#include "platform/com_win.h"
#include "platform/folder_browser.h"
#include "platform/text.h"

namespace kestrine::platform {

namespace {

int CALLBACK SelectStart(HWND browser, UINT message, LPARAM, LPARAM start) {
    if (message == BFFM_INITIALIZED && start)
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, start);
    return 0;
}

}  // namespace

std::string BrowseForFolder(const std::string& prompt, void* owner, unsigned flags,
                            const std::string& start) {
    // The browser's new style needs COM on this thread.
    ComSession com;
    std::wstring title = Widen(prompt);
    std::wstring first = Widen(start);
    BROWSEINFOW info{};
    info.hwndOwner = static_cast<HWND>(owner);
    info.lpszTitle = title.c_str();
    info.ulFlags = flags | BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = SelectStart;
    info.lParam = first.empty() ? 0 : reinterpret_cast<LPARAM>(first.c_str());
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen) return {};
    std::wstring path(MAX_PATH, L'\0');
    bool ok = SHGetPathFromIDListW(chosen, path.data());
    CoTaskMemFree(chosen);
    if (!ok) return {};
    path.resize(path.find(L'\0'));
    return Narrow(path);
}

}  // namespace kestrine::platform
