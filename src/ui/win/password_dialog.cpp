#include "ui/win/password_dialog.h"

#include "ui/win/dialog.h"
#include "ui/win/resource.h"

namespace kestrine::ui::win {

namespace {

class PasswordDialog : public Dialog {
  public:
    std::string typed;

  protected:
    bool OnInit() override {
        // No length limit: a scheduled backup accepts a password of any length, and a backup whose
        // password could not be typed here could never be restored.
        SendMessageW(Item(IDC_PASSWORD_ENTRY), EM_LIMITTEXT, 0, 0);
        SendMessageW(Item(IDC_PASSWORD_ENTRY), EM_SETPASSWORDCHAR, L'*', 0);
        return true;
    }

    bool OnCommand(int id, int code, HWND control) override {
        if (id == IDOK) typed = ItemText(IDC_PASSWORD_ENTRY);
        return Dialog::OnCommand(id, code, control);
    }
};

}  // namespace

std::optional<std::string> ShowPasswordDialog(HWND owner) {
    PasswordDialog dialog;
    if (dialog.RunModal(IDD_PASSWORD, owner) != IDOK) return std::nullopt;
    return dialog.typed;
}

}  // namespace kestrine::ui::win
