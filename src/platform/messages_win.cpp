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

// The password dialog, built as an in-memory dialog template.
constexpr int kPasswordEdit = 1001;
constexpr int kMaxPasswordChars = 20;

struct PasswordDialogData {
    std::wstring text;
};

void Align(std::vector<WORD>& words) {
    // Items start on DWORD boundaries.
    if (words.size() % 2) words.push_back(0);
}

void AppendText(std::vector<WORD>& words, const wchar_t* text) {
    for (; *text; ++text) words.push_back(static_cast<WORD>(*text));
    words.push_back(0);
}

void AppendDword(std::vector<WORD>& words, DWORD value) {
    words.push_back(LOWORD(value));
    words.push_back(HIWORD(value));
}

void AppendItem(std::vector<WORD>& words, DWORD style, short x, short y, short cx, short cy,
                WORD id, WORD classAtom, const wchar_t* text) {
    Align(words);
    AppendDword(words, style | WS_CHILD | WS_VISIBLE);  // style
    AppendDword(words, 0);                              // extended style
    words.push_back(static_cast<WORD>(x));
    words.push_back(static_cast<WORD>(y));
    words.push_back(static_cast<WORD>(cx));
    words.push_back(static_cast<WORD>(cy));
    words.push_back(id);
    words.push_back(0xFFFF);  // predefined class by atom
    words.push_back(classAtom);
    AppendText(words, text);
    words.push_back(0);  // no creation data
}

std::vector<WORD> PasswordTemplate() {
    constexpr WORD kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082;
    std::vector<WORD> words;
    AppendDword(words, DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    AppendDword(words, 0);
    words.push_back(5);  // items
    words.push_back(0);
    words.push_back(0);
    words.push_back(200);
    words.push_back(86);
    words.push_back(0);  // no menu
    words.push_back(0);  // default class
    AppendText(words, L"Please enter password");
    words.push_back(8);
    AppendText(words, L"MS Shell Dlg");
    AppendItem(words, BS_GROUPBOX, 7, 4, 186, 54, 0xFFFF, kButton, L"Security");
    AppendItem(words, SS_LEFT, 16, 18, 168, 10, 0xFFFF, kStatic, L"Please enter password:");
    AppendItem(words, ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 16, 32, 168, 13,
               kPasswordEdit, kEdit, L"");
    AppendItem(words, BS_DEFPUSHBUTTON | WS_TABSTOP, 86, 64, 50, 15, IDOK, kButton, L"OK");
    AppendItem(words, BS_PUSHBUTTON | WS_TABSTOP, 143, 64, 50, 15, IDCANCEL, kButton, L"Cancel");
    return words;
}

INT_PTR CALLBACK PasswordProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            HWND edit = GetDlgItem(dialog, kPasswordEdit);
            SendMessageW(edit, EM_LIMITTEXT, kMaxPasswordChars, 0);
            SendMessageW(edit, EM_SETPASSWORDCHAR, L'*', 0);
            SetFocus(edit);
            return FALSE;  // focus set by hand
        }
        case WM_COMMAND:
            // Enter in the box presses the default button, OK.
            if (LOWORD(wParam) == IDOK) {
                auto* data =
                    reinterpret_cast<PasswordDialogData*>(GetWindowLongPtrW(dialog, DWLP_USER));
                HWND edit = GetDlgItem(dialog, kPasswordEdit);
                int length = GetWindowTextLengthW(edit);
                std::wstring text(static_cast<size_t>(length) + 1, L'\0');
                int got = GetWindowTextW(edit, text.data(), length + 1);
                text.resize(static_cast<size_t>(got > 0 ? got : 0));
                data->text = std::move(text);
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

}  // namespace

MessageAnswer ShowMessage(const MessageRequest& request) {
    if (auto& handler = CurrentMessageHandler()) return handler(request);
    UINT flags = IconFlags(request.icon) | MB_SETFOREGROUND |
                 (request.buttons == MessageButtons::OkCancel ? MB_OKCANCEL : MB_OK);
    int answer = MessageBoxW(GetActiveWindow(), Widen(request.text).c_str(),
                             Widen(request.title).c_str(), flags);
    return answer == IDOK ? MessageAnswer::Ok : MessageAnswer::Cancel;
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
    std::vector<WORD> words = PasswordTemplate();
    PasswordDialogData data;
    INT_PTR result = DialogBoxIndirectParamW(
        GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(words.data()),
        GetActiveWindow(), PasswordProc, reinterpret_cast<LPARAM>(&data));
    if (result != IDOK) return std::nullopt;
    return Narrow(data.text);
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
