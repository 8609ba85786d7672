#include <windows.h>
//
#include <commdlg.h>

#include <cstring>
#include <utility>
#include <vector>

#include "platform/messages.h"
#include "platform/text.h"

namespace kestrine::platform {

namespace {

MessageHandler& CurrentMessageHandler() {
    static MessageHandler handler;
    return handler;
}
FileDialogHandler& CurrentFileDialogHandler() {
    static FileDialogHandler handler;
    return handler;
}
PasswordHandler& CurrentPasswordHandler() {
    static PasswordHandler handler;
    return handler;
}

UINT IconFlags(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return MB_ICONINFORMATION;
        case MessageIcon::Exclamation:
            return MB_ICONEXCLAMATION;
        case MessageIcon::Critical:
            return MB_ICONERROR;
        case MessageIcon::None:
            break;
    }
    return 0;
}

// "Description|*.ext|..." -> the NUL-separated, double-NUL-terminated list of the dialog.
std::wstring DialogFilter(const std::string& filter) {
    std::wstring out = Widen(filter);
    for (auto& c : out)
        if (c == L'|') c = L'\0';
    out.push_back(L'\0');
    out.push_back(L'\0');
    return out;
}

}  // namespace

MessageAnswer ShowMessage(const MessageRequest& request) {
    if (auto& handler = CurrentMessageHandler()) return handler(request);
    return ShowMessageBox(request, GetActiveWindow());
}

MessageAnswer ShowMessageBox(const MessageRequest& request, void* owner) {
    const UINT buttons = request.buttons == MessageButtons::OkCancel ? MB_OKCANCEL
                         : request.buttons == MessageButtons::YesNo  ? MB_YESNO
                                                                     : MB_OK;
    UINT flags = IconFlags(request.icon) | MB_SETFOREGROUND | buttons;
    int answer = MessageBoxW(static_cast<HWND>(owner), Widen(request.text).c_str(),
                             Widen(request.title).c_str(), flags);
    switch (answer) {
        case IDOK:
            return MessageAnswer::Ok;
        case IDYES:
            return MessageAnswer::Yes;
        case IDNO:
            return MessageAnswer::No;
        default:
            return MessageAnswer::Cancel;
    }
}

std::string ShowFileDialog(const FileDialogRequest& request) {
    if (auto& handler = CurrentFileDialogHandler()) return handler(request);
    std::wstring filter = DialogFilter(request.filter);
    std::wstring title = Widen(request.title);
    std::wstring folder = Widen(request.initialFolder);
    std::vector<wchar_t> name(32768, L'\0');
    std::wstring proposed = Widen(request.fileName);
    if (proposed.size() < name.size())
        std::memcpy(name.data(), proposed.c_str(), proposed.size() * 2);

    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = GetActiveWindow();
    ofn.lpstrFilter = request.filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    // No default extension: the chosen name is used exactly as the dialog returns it.
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    BOOL chosen;
    if (request.save) {
        ofn.Flags |= OFN_OVERWRITEPROMPT;
        chosen = GetSaveFileNameW(&ofn);
    } else {
        ofn.Flags |= OFN_FILEMUSTEXIST;
        chosen = GetOpenFileNameW(&ofn);
    }
    if (!chosen) return {};
    return Narrow(name.data());
}

std::optional<std::string> AskPassword() {
    if (auto& handler = CurrentPasswordHandler()) return handler();
    return std::nullopt;
}

void SetMessageHandler(MessageHandler handler) {
    CurrentMessageHandler() = std::move(handler);
}
void SetFileDialogHandler(FileDialogHandler handler) {
    CurrentFileDialogHandler() = std::move(handler);
}
void SetPasswordHandler(PasswordHandler handler) {
    CurrentPasswordHandler() = std::move(handler);
}

}  // namespace kestrine::platform
