#include "ui/win/dialog.h"

#include <uxtheme.h>

#include "app/policy.h"
#include "platform/text.h"

namespace kestrine::ui::win {

namespace {

HINSTANCE Module() {
    return GetModuleHandleW(nullptr);
}

void InitControls() {
    static const bool done = [] {
        INITCOMMONCONTROLSEX icc{sizeof icc,
                                 ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_WIN95_CLASSES};
        return InitCommonControlsEx(&icc) != FALSE;
    }();
    (void)done;
}

std::string WindowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return platform::Narrow(text);
}

}  // namespace

INT_PTR Dialog::RunModal(int templateId, HWND owner) {
    InitControls();
    return DialogBoxParamW(Module(), MAKEINTRESOURCEW(templateId), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

HWND Dialog::CreateModeless(int templateId, HWND owner) {
    InitControls();
    return CreateDialogParamW(Module(), MAKEINTRESOURCEW(templateId), owner, DialogProc,
                              reinterpret_cast<LPARAM>(this));
}

void Dialog::End(INT_PTR result) {
    EndDialog(window_, result);
}

HWND Dialog::CreatePage(int templateId, HWND parent) {
    HWND page = CreateDialogParamW(Module(), MAKEINTRESOURCEW(templateId), parent, PageProc,
                                   reinterpret_cast<LPARAM>(this));
    if (page) {
        // The theme's tab background behind the page's controls.
        EnableThemeDialogTexture(page, ETDT_ENABLETAB);
        pages_.push_back(page);
    }
    return page;
}

HWND Dialog::Item(int id) const {
    if (HWND item = GetDlgItem(window_, id)) return item;
    for (HWND page : pages_)
        if (HWND item = GetDlgItem(page, id)) return item;
    return nullptr;
}

std::string Dialog::ItemText(int id) const {
    return WindowText(Item(id));
}

void Dialog::SetItemText(int id, const std::string& text) {
    SetWindowTextW(Item(id), platform::Widen(text).c_str());
}

bool Dialog::IsChecked(int id) const {
    return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Dialog::SetChecked(int id, bool checked) {
    SendMessageW(Item(id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Dialog::EnableItem(int id, bool enabled) {
    EnableWindow(Item(id), enabled);
}

void Dialog::ShowSetByPolicy(bool set, int noteId, std::initializer_list<int> controls) {
    if (!set) return;
    for (int id : controls) EnableItem(id, false);
    SetItemText(noteId, kSetByAdministrator);
    ShowWindow(Item(noteId), SW_SHOWNA);
}

void Dialog::AddComboString(int id, const std::string& text) {
    SendMessageW(Item(id), CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(platform::Widen(text).c_str()));
}

void Dialog::SelectComboIndex(int id, int index) {
    SendMessageW(Item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Dialog::ComboIndex(int id) const {
    return static_cast<int>(SendMessageW(Item(id), CB_GETCURSEL, 0, 0));
}

bool Dialog::OnCommand(int id, int /*code*/, HWND /*control*/) {
    if (id != IDOK && id != IDCANCEL) return false;
    End(id);
    return true;
}

bool Dialog::Route(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            return OnNotify(static_cast<int>(header->idFrom), header);
        }
        default:
            return false;
    }
}

INT_PTR CALLBACK Dialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        auto* dialog = reinterpret_cast<Dialog*>(lParam);
        dialog->window_ = window;
        return dialog->OnInit() ? TRUE : FALSE;
    }
    auto* dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!dialog) return FALSE;
    if (message == WM_NCDESTROY) {
        dialog->window_ = nullptr;
        dialog->pages_.clear();
        return FALSE;
    }
    if (dialog->Route(message, wParam, lParam)) return TRUE;
    LRESULT result = 0;
    if (!dialog->OnMessage(message, wParam, lParam, result)) return FALSE;
    SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR CALLBACK Dialog::PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        return FALSE;
    }
    auto* owner = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    return owner && owner->Route(message, wParam, lParam) ? TRUE : FALSE;
}

void TabPages::Add(Dialog& owner, int tabControlId, const std::string& caption,
                   int pageTemplateId) {
    if (!tab_) tab_ = owner.Item(tabControlId);
    std::wstring text = platform::Widen(caption);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    const int index = static_cast<int>(pages_.size());
    SendMessageW(tab_, TCM_INSERTITEMW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&item));

    // The page is a sibling of the tab control placed right after it, so the tab order runs from
    // the tabs through the page to the dialog's buttons; it covers the tab control's display area.
    HWND dialog = owner.Window();
    HWND page = owner.CreatePage(pageTemplateId, dialog);
    RECT area;
    GetWindowRect(tab_, &area);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
    SendMessageW(tab_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    SetWindowPos(page, tab_, area.left, area.top, area.right - area.left, area.bottom - area.top,
                 SWP_NOACTIVATE);
    pages_.push_back(page);
    Select(Selected() < 0 ? 0 : Selected());
}

void TabPages::Select(int index) {
    if (index < 0 || index >= static_cast<int>(pages_.size())) return;
    if (SendMessageW(tab_, TCM_GETCURSEL, 0, 0) != index)
        SendMessageW(tab_, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    for (size_t i = 0; i < pages_.size(); ++i)
        ShowWindow(pages_[i], static_cast<int>(i) == index ? SW_SHOW : SW_HIDE);
}

int TabPages::Selected() const {
    return tab_ ? static_cast<int>(SendMessageW(tab_, TCM_GETCURSEL, 0, 0)) : -1;
}

bool TabPages::OnNotify(const NMHDR* header) {
    if (header->hwndFrom != tab_) return false;
    if (header->code == TCN_SELCHANGE) Select(Selected());
    return true;
}

void Tooltips::Set(HWND dialog, HWND control, const std::string& text) {
    if (!tooltip_) {
        tooltip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                   dialog, nullptr, Module(), nullptr);
        // Long tips wrap instead of running off the screen.
        SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 400);
    }
    std::wstring wide = platform::Widen(text);
    // The control's own tool, and one over its place in its parent: a disabled control gets no
    // mouse messages (they go to the parent), yet its tip may say why it is disabled.
    HWND parent = GetParent(control);
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
    TTTOOLINFOW tools[2] = {};
    tools[0].uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tools[0].hwnd = dialog;
    tools[0].uId = reinterpret_cast<UINT_PTR>(control);
    tools[1].uFlags = TTF_SUBCLASS;
    tools[1].hwnd = parent;
    tools[1].uId = static_cast<UINT_PTR>(GetDlgCtrlID(control));
    tools[1].rect = place;
    for (TTTOOLINFOW& info : tools) {
        info.cbSize = sizeof info;
        const bool known =
            SendMessageW(tooltip_, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&info));
        info.lpszText = wide.data();
        SendMessageW(tooltip_, known ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0,
                     reinterpret_cast<LPARAM>(&info));
    }
}

}  // namespace kestrine::ui::win
