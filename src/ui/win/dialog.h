#pragma once
// A thin wrapper over the dialogs of the resource script: the object lives in the dialog's
// DWLP_USER, the messages reach OnInit / OnCommand / OnNotify, and the owner window is always
// passed in. A dialog with tabs shows one child page per tab (TabPages); the pages' controls report
// to the dialog that made them, so one class handles the whole window. Text is UTF-8.
#include <windows.h>
//
#include <commctrl.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace kestrine::ui::win {

class Dialog {
  public:
    Dialog() = default;
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Shows the dialog `templateId` modally over `owner` (may be null) and returns the value passed
    // to End, or -1 when the dialog could not be made.
    INT_PTR RunModal(int templateId, HWND owner);
    void End(INT_PTR result);
    // Creates the dialog `templateId` without a loop of its own (a main window): the caller's
    // message loop passes its messages through IsDialogMessage. Null when it could not be made.
    HWND CreateModeless(int templateId, HWND owner);
    HWND Window() const { return window_; }

    // A child page made from the template `templateId` (DS_CONTROL | WS_CHILD) inside `parent`;
    // commands and notifications of its controls come to this dialog.
    HWND CreatePage(int templateId, HWND parent);

    // Controls by id, on the dialog or on one of its pages.
    HWND Item(int id) const;
    std::string ItemText(int id) const;
    void SetItemText(int id, const std::string& text);
    bool IsChecked(int id) const;
    void SetChecked(int id, bool checked);
    void EnableItem(int id, bool enabled);
    // What a policy sets: `controls` greyed and the note `noteId` ("Set by your administrator")
    // shown; nothing when `set` is false.
    void ShowSetByPolicy(bool set, int noteId, std::initializer_list<int> controls);
    void AddComboString(int id, const std::string& text);
    void SelectComboIndex(int id, int index);
    int ComboIndex(int id) const;

  protected:
    // WM_INITDIALOG; true lets the system focus the first control of the tab order.
    virtual bool OnInit() { return true; }
    // WM_COMMAND; true when handled. The default ends the dialog with IDOK or IDCANCEL (Esc and
    // the close box send IDCANCEL).
    virtual bool OnCommand(int id, int code, HWND control);
    // WM_NOTIFY; true when handled.
    virtual bool OnNotify(int /*id*/, NMHDR* /*header*/) { return false; }
    // Any other message of the dialog itself; true when handled, `result` then being the value
    // the message returns.
    virtual bool OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/,
                           LRESULT& /*result*/) {
        return false;
    }

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool Route(UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    std::vector<HWND> pages_;
};

// The pages of a tab control: one child page per tab over the tab control's display area, the
// selected one shown. The tab order runs from the tabs through the shown page to the controls that
// follow the tab control in the template.
class TabPages {
  public:
    // Call from OnInit, once per tab, in order.
    void Add(Dialog& owner, int tabControlId, const std::string& caption, int pageTemplateId);
    void Select(int index);
    int Selected() const;
    // Call from OnNotify: follows the tab control's selection. True when it was the tab control's.
    bool OnNotify(const NMHDR* header);

  private:
    HWND tab_ = nullptr;
    std::vector<HWND> pages_;
};

// Tooltips of a dialog's controls.
class Tooltips {
  public:
    void Set(HWND dialog, HWND control, const std::string& text);

  private:
    HWND tooltip_ = nullptr;
};

}  // namespace kestrine::ui::win
