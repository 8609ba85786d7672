#include "ui/win/main_window.h"

#include <windowsx.h>

#include <memory>

#include "app/activity_log.h"
#include "app/last_backup.h"
#include "app/log_lines.h"
#include "app/policy.h"
#include "app/settings.h"
#include "app/settings_keys.h"
#include "app/version.h"
#include "base/text.h"
#include "outlook/environment.h"
#include "platform/com_win.h"
#include "platform/file_stream.h"
#include "platform/messages.h"
#include "platform/processes.h"
#include "platform/system.h"
#include "platform/text.h"
#include "schedule/task_scheduler.h"
#include "ui/commands.h"
#include "ui/main_window_presenter.h"
#include "ui/restore_presenter.h"
#include "ui/settings_store.h"
#include "ui/win/about_box.h"
#include "ui/win/dialog.h"
#include "ui/win/engine_link.h"
#include "ui/win/password_dialog.h"
#include "ui/win/resource.h"
#include "ui/win/run_worker.h"
#include "ui/win/scheduler_dialog.h"
#include "ui/win/scoped_win.h"
#include "ui/win/settings_dialog.h"
#include "ui/win/taskbar_progress.h"

namespace kestrine::ui::win {

namespace {

constexpr int kItems = 9;
constexpr int kPanelControls[] = {IDC_PROGRESS_PANEL, IDC_PROGRESS_FILE, IDC_PROGRESS_BAR,
                                  IDC_PROGRESS_STEP, IDC_CANCEL_RUN};

bool InItems(int id, int first) {
    return id >= first && id < first + kItems;
}

class MainWindow : public Dialog {
  public:
    MainWindow(AppState& state, const archive::ZipOptions& zip) : state_(state), zip_(zip) {}

    // After the window is shown: the refusal of a system without a profile, over the window.
    void ShowStartMessage() {
        if (state_.environment.NoProfiles) Show(NoProfileMessage());
        // A failed or overdue scheduled backup, which nobody watched.
        if (auto warning = ScheduledBackupWarning(state_.paths.LogFile, platform::Now()))
            Show(*warning);
    }

  protected:
    bool OnInit() override {
        SetWindowTextW(
            Window(),
            platform::Widen(std::string(kProductName) + " V" + kProductVersionShort).c_str());
        SetIcons();
        tabs_.Add(*this, IDC_MAIN_TABS, "Backup", IDD_PAGE_BACKUP);
        tabs_.Add(*this, IDC_MAIN_TABS, "Restore", IDD_PAGE_RESTORE);
        tabs_.Add(*this, IDC_MAIN_TABS, "Logs", IDD_PAGE_LOGS);
        tabs_.Add(*this, IDC_MAIN_TABS, "About", IDD_PAGE_ABOUT);
        SendMessageW(Item(IDC_PROGRESS_BAR), PBM_SETRANGE32, 0, 100);
        // Both password boxes take the same passwords, of any length: a pasted long one is not cut
        // short in one of them, and the password dialog takes it whole when it is opened again.
        for (int id : {IDC_PASSWORD, IDC_PASSWORD2}) {
            SendMessageW(Item(id), EM_LIMITTEXT, 0, 0);
            SendMessageW(Item(id), EM_SETPASSWORDCHAR, L'*', 0);
        }
        SendMessageW(Window(), DM_SETDEFID, IDC_APPLY, 0);
        about_.Fill(*this, state_.paths);
        worker_ = std::make_unique<RunWorker>(Window());
        InstallPasswordDialog();

        LoadProfiles();
        PageChanged();
        return true;
    }

    bool OnNotify(int, NMHDR* header) override {
        if (!tabs_.OnNotify(header)) return false;
        if (header->code == TCN_SELCHANGE) PageChanged();
        return true;
    }

    bool OnCommand(int id, int code, HWND) override {
        switch (id) {
            case IDC_APPLY:
                Apply();
                return true;
            case IDM_BACKUP_NOW:
                StartBackup();
                return true;
            case IDM_RESTORE_NOW:
                StartRestore();
                return true;
            case IDM_UNDO_RESTORE:
                if (!worker_->Busy()) ui::UndoLastRestoreCommand(state_);
                return true;
            case IDC_QUIT:
            case IDM_QUIT:
                Quit();
                return true;
            case IDM_TASK_SCHEDULER:
                ShowSchedulerDialog(Window(),
                                    schedule::SchedulerSetupFor(state_.environment, state_.paths));
                return true;
            case IDM_SETTINGS:
                if (ShowSettingsDialog(Window(), SettingsFilesOf(state_.paths))) SettingsChanged();
                return true;
            case IDM_HELP:
                OpenHelp();
                return true;
            case IDC_ABOUT:
            case IDM_ABOUT:
                ShowAboutBox(Window(), state_.paths);
                return true;
            case IDM_SELECT_ALL_BACKUP:
            case IDM_DESELECT_ALL_BACKUP:
                ReadBackupTab();
                (id == IDM_SELECT_ALL_BACKUP ? SelectAllItems
                                             : DeselectAllItems)(model_.backup.items);
                ShowItems(IDC_BACKUP_ITEM_FIRST, model_.backup.items);
                return true;
            case IDM_SELECT_ALL_RESTORE:
            case IDM_DESELECT_ALL_RESTORE:
                ReadRestoreTab();
                (id == IDM_SELECT_ALL_RESTORE ? SelectAllItems
                                              : DeselectAllItems)(model_.restore.items);
                ShowItems(IDC_RESTORE_ITEM_FIRST, model_.restore.items);
                return true;
            case IDC_SOURCE_PROFILE:
                if (code == CBN_DROPDOWN) RefreshProfiles();
                if (code == CBN_SELCHANGE) ProfileChosen();
                return true;
            case IDC_TARGET_PROFILE:
                if (code == CBN_DROPDOWN) RefreshProfiles();
                return true;
            case IDC_PROTECT:
                if (code == BN_CLICKED) ProtectionClicked();
                return true;
            case IDC_BROWSE_TARGET:
                ChooseTargetFile();
                return true;
            case IDC_BROWSE_SOURCE:
                OpenBackupFile();
                return true;
            case IDC_CANCEL_RUN:
                worker_->RequestCancel();
                EnableItem(IDC_CANCEL_RUN, false);
                return true;
            case IDCANCEL:
                return true;  // Esc does not close the main window
            default:
                return false;
        }
    }

    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        switch (message) {
            case WM_ACTIVATE:
                // Back from another program: a profile made there, a scheduled backup that ran.
                if (LOWORD(wParam) != WA_INACTIVE) {
                    RefreshProfiles();
                    ShowLastBackupLine();
                }
                return false;
            case kRunProgressMessage:
                if (auto panel = worker_->TakeProgress(); panel && worker_->Busy())
                    ShowPanel(*panel);
                return true;
            case kRunFinishedMessage:
                worker_->Finish();
                return true;
            case WM_CLOSE:
                Quit();
                return true;
            case WM_DESTROY:
                platform::SetPasswordHandler(nullptr);
                PostQuitMessage(0);
                return false;
            case WM_CONTEXTMENU:
                return ShowItemMenu(lParam);
            case WM_SETCURSOR:
                // The arrow with the hourglass: the window works and still takes clicks.
                if (!worker_ || !worker_->Busy() || LOWORD(lParam) != HTCLIENT) return false;
                SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
                result = TRUE;
                return true;
            default:
                return false;
        }
    }

  private:
    void SetIcons() {
        HINSTANCE module = GetModuleHandleW(nullptr);
        for (auto [which, size] : {std::pair{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}}) {
            const int pixels = GetSystemMetrics(size);
            HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(IDI_KESTRINE), IMAGE_ICON, pixels,
                                     pixels, LR_SHARED);
            SendMessageW(Window(), WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
        }
    }

    // Opening a protected backup asks through the password dialog, over the active window.
    void InstallPasswordDialog() {
        const HWND main = Window();
        platform::SetPasswordHandler([main] {
            HWND owner = GetActiveWindow();
            return ShowPasswordDialog(owner ? owner : main);
        });
    }

    // --- start-up ---

    void LoadProfiles() {
        if (LoadProfileLists(model_, state_.environment.ProfileNames,
                             state_.environment.NoProfiles))
            SelectSourceProfile(model_.backup, state_);
        FillProfileLists();
        ShowLastBackupLine();
        ShowBackupTab();
        ShowRestoreTab();
        UpdateControls();
    }

    void FillProfileLists() {
        for (auto [id, names] : {std::pair{IDC_SOURCE_PROFILE, &model_.backup.profiles},
                                 {IDC_TARGET_PROFILE, &model_.restore.profiles}}) {
            SendMessageW(Item(id), CB_RESETCONTENT, 0, 0);
            for (const auto& name : *names) AddComboString(id, name);
        }
    }

    // The profiles are read again: one made while the window was open appears, and a computer that
    // had none at start-up can be used as soon as it has one. Never while a run works: choosing a
    // profile changes what the run reads.
    void RefreshProfiles() {
        if (!worker_ || worker_->Busy() || state_.environment.ProfilesRoot.empty()) return;
        outlook::EnumProfiles(state_.environment);
        ReadBackupTab();
        ReadRestoreTab();
        const ProfileListChange change =
            RefreshProfileLists(model_, state_.environment.ProfileNames);
        if (!change.lists) return;
        FillProfileLists();
        if (change.source && !model_.backup.sourceProfile.empty())
            SelectSourceProfile(model_.backup, state_);
        ShowBackupTab();
        ShowRestoreTab();
        UpdateControls();
    }

    void ShowLastBackupLine() {
        PresentLastBackup(model_.backup,
                          FindLastCompletedBackup(ReadLogEntries(state_.paths.LogFile)));
        SetTextIfChanged(IDC_LAST_BACKUP, model_.backup.lastBackupText);
        SetTextIfChanged(IDC_LAST_BACKUP_FILE, model_.backup.lastBackupFile);
    }

    // --- the model and the controls ---

    void SetTextIfChanged(int id, const std::string& text) {
        // Setting an edit's text moves its caret: only real changes are written.
        if (ItemText(id) != text) SetItemText(id, text);
    }

    void ShowItems(int first, const ItemBoxes& items) {
        for (int i = 0; i < kItems; ++i) {
            const ItemBox& item = items[static_cast<size_t>(i)];
            EnableItem(first + i, item.enabled);
            SetChecked(first + i, item.ticked);
            if (!item.tooltip.empty()) tooltips_.Set(Window(), Item(first + i), item.tooltip);
        }
    }

    void ReadItems(int first, ItemBoxes& items) {
        for (int i = 0; i < kItems; ++i)
            items[static_cast<size_t>(i)].ticked = IsChecked(first + i);
    }

    static int IndexOf(const std::vector<std::string>& names, const std::string& name) {
        for (size_t i = 0; i < names.size(); ++i)
            if (names[i] == name) return static_cast<int>(i);
        return -1;
    }

    void ShowBackupTab() {
        const BackupTabModel& tab = model_.backup;
        SelectComboIndex(IDC_SOURCE_PROFILE, IndexOf(tab.profiles, tab.sourceProfile));
        ShowItems(IDC_BACKUP_ITEM_FIRST, tab.items);
        SetChecked(IDC_PROTECT, tab.protect);
        for (int id : {IDC_PASSWORD, IDC_PASSWORD2}) EnableItem(id, tab.protect);
        SetTextIfChanged(IDC_PASSWORD, tab.password);
        SetTextIfChanged(IDC_PASSWORD2, tab.retypedPassword);
        SetTextIfChanged(IDC_NOTE, tab.note);
        SetTextIfChanged(IDC_TARGET_FILE, tab.targetFileText);
    }

    void ReadBackupTab() {
        BackupTabModel& tab = model_.backup;
        tab.sourceProfile = ItemText(IDC_SOURCE_PROFILE);
        ReadItems(IDC_BACKUP_ITEM_FIRST, tab.items);
        tab.protect = IsChecked(IDC_PROTECT);
        tab.password = ItemText(IDC_PASSWORD);
        tab.retypedPassword = ItemText(IDC_PASSWORD2);
        tab.note = ItemText(IDC_NOTE);
    }

    void ShowRestoreTab() {
        const RestoreTabModel& tab = model_.restore;
        SelectComboIndex(IDC_TARGET_PROFILE, IndexOf(tab.profiles, tab.targetProfile));
        ShowItems(IDC_RESTORE_ITEM_FIRST, tab.items);
        SetTextIfChanged(IDC_SOURCE_FILE, tab.sourceFileText);
        SetTextIfChanged(IDC_FILE_INFO, tab.noteText);
        SetTextIfChanged(IDC_BACKUP_INFO, tab.backupInfoText);
    }

    void ReadRestoreTab() {
        model_.restore.targetProfile = ItemText(IDC_TARGET_PROFILE);
        ReadItems(IDC_RESTORE_ITEM_FIRST, model_.restore.items);
    }

    // What a run disables, and the apply button of a system without a profile.
    void UpdateControls() {
        const bool running = worker_->Busy();
        const ControlStates states = ControlsFor(running, state_.environment.NoProfiles);
        // The apply button of the Logs and About pages needs no profile.
        EnableItem(IDC_APPLY, states.apply || (!running && model_.tab != Tab::Backup &&
                                               model_.tab != Tab::Restore));
        EnableItem(IDC_BROWSE_TARGET, states.browse);
        EnableItem(IDC_BROWSE_SOURCE, states.browse);
        EnableItem(IDC_SOURCE_PROFILE, states.sourceProfile);
        EnableItem(IDC_CANCEL_RUN, states.cancel);
        HMENU menu = GetMenu(Window());
        for (int id : {IDM_BACKUP_NOW, IDM_RESTORE_NOW})
            EnableMenuItem(menu, static_cast<UINT>(id),
                           MF_BYCOMMAND | (states.runMenus ? MF_ENABLED : MF_GRAYED));
        DrawMenuBar(Window());
    }

    void ShowPanel(const ProgressPanel& panel) {
        for (int id : kPanelControls) ShowWindow(Item(id), panel.visible ? SW_SHOW : SW_HIDE);
        SetTextIfChanged(IDC_PROGRESS_FILE, panel.fileText);
        SetTextIfChanged(IDC_PROGRESS_STEP, panel.stepText);
        SendMessageW(Item(IDC_PROGRESS_BAR), PBM_SETPOS, static_cast<WPARAM>(panel.bar), 0);
        if (panel.visible)
            taskbar_.Show(Window(), panel.bar);
        else
            taskbar_.Clear(Window());
    }

    // --- pages ---

    Tab CurrentTab() const { return static_cast<Tab>(tabs_.Selected()); }

    void PageChanged() {
        model_.tab = CurrentTab();
        SetItemText(IDC_APPLY, ApplyCaption(model_.tab));
        UpdateControls();
        if (model_.tab == Tab::Logs) ShowLog();
    }

    // `List1`: the log's lines, the newest selected.
    void ShowLog() {
        HWND list = Item(IDC_LOG_LIST);
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        SendMessageW(list, LB_RESETCONTENT, 0, 0);
        const WindowDC dc(list, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
        LONG widest = 0;
        for (std::string line : ReadLogEntries(state_.paths.LogFile)) {
            if (!line.empty() && line.back() == '\n') line.pop_back();
            std::wstring wide = platform::Widen(line);
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
            SIZE size{};
            GetTextExtentPoint32W(dc.get(), wide.c_str(), static_cast<int>(wide.size()), &size);
            widest = std::max(widest, size.cx);
        }
        SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8), 0);
        const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
        if (count > 0) SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(count - 1), 0);
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
    }

    bool ShowItemMenu(LPARAM lParam) {
        POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        int which = -1;  // 0: the backup list's menu, 1: the restore list's
        if (lParam == -1) {
            // From the keyboard: the list of the focused item box, below it.
            HWND focus = GetFocus();
            const int id = GetDlgCtrlID(focus);
            which = InItems(id, IDC_BACKUP_ITEM_FIRST)    ? 0
                    : InItems(id, IDC_RESTORE_ITEM_FIRST) ? 1
                                                          : -1;
            RECT box;
            GetWindowRect(focus, &box);
            at = {box.left, box.bottom};
        } else {
            const int frames[] = {IDC_BACKUP_ITEMS_FRAME, IDC_RESTORE_ITEMS_FRAME};
            for (int i = 0; i < 2; ++i) {
                HWND frame = Item(frames[i]);
                RECT area;
                GetWindowRect(frame, &area);
                if (IsWindowVisible(frame) && PtInRect(&area, at)) which = i;
            }
        }
        if (which < 0) return false;
        const LoadedMenu menus(IDR_ITEM_MENUS);
        TrackPopupMenu(GetSubMenu(menus.get(), which), TPM_RIGHTBUTTON, at.x, at.y, 0, Window(),
                       nullptr);
        return true;
    }

    // --- actions ---

    void Apply() {
        switch (ApplyActionFor(CurrentTab())) {
            case ApplyAction::Backup:
                StartBackup();
                break;
            case ApplyAction::ConfirmAndRestore:
                StartRestore();  // refuses first, then asks
                break;
            case ApplyAction::ShowLogFile:
                platform::StartProgram(NotepadCommandLine(state_.WindowsDir, state_.paths.LogFile),
                                       platform::ShowMode::Normal);
                break;
            case ApplyAction::OpenHelp:
                OpenHelp();
                break;
        }
    }

    void OpenHelp() {
        platform::StartProgram(HelpCommandLine(state_.WindowsDir, state_.paths.AppFolder),
                               platform::ShowMode::Normal);
    }

    // A file name proposed anew (the folder or the switch changed); a file the user picked stays.
    void SettingsChanged() {
        ReadBackupTab();
        ProposeTargetFile(model_.backup, state_);
        ShowBackupTab();
    }

    void ProfileChosen() {
        ReadBackupTab();
        SelectSourceProfile(model_.backup, state_);
        ShowBackupTab();
    }

    void ProtectionClicked() {
        ReadBackupTab();
        SetProtection(model_.backup, IsChecked(IDC_PROTECT));
        ShowBackupTab();
    }

    void ChooseTargetFile() {
        if (worker_->Busy()) return;
        ReadBackupTab();
        const platform::LocalTime now = platform::Now();
        const Policies policies = ReadPolicies(state_.paths.Policy);
        const std::string path = platform::ShowFileDialog(
            BackupFileDialog(model_.backup.sourceProfile, {now.year, now.month, now.day},
                             EffectiveSetting(policies, state_.paths.SettingsFile, kBackupFolder),
                             state_.paths.DefaultBackupFolder, platform::fileio::IsDirectory));
        if (path.empty()) return;
        // An administrator's folder holds the backup whatever folder the dialog ended in.
        model_.backup.targetFileText = WithArchiveExtension(InPolicyFolder(policies, path));
        model_.backup.targetChosen = true;
        ShowBackupTab();
    }

    void OpenBackupFile() {
        if (worker_->Busy()) return;
        ReadRestoreTab();
        ui::OpenBackupFile(model_.restore, state_, opened_);
        ShowRestoreTab();
    }

    void StartBackup() {
        if (worker_->Busy() || state_.environment.NoProfiles) return;
        ReadBackupTab();
        auto run = BackupOnWorker(model_.backup, state_, zip_);
        if (!run) return;
        // The archive open on the Restore page stays open, unless this backup is to replace it:
        // then the page no longer shows what the file holds.
        if (model_.restore.backupOpen &&
            base::EqualsNoCase(model_.backup.targetFileText, state_.openedArchive.sourceFile)) {
            opened_.CloseArchive();
            ClearRestoreTab(model_.restore);
            ShowRestoreTab();
        }
        StartRun(std::move(*run));
    }

    void StartRestore() {
        if (worker_->Busy() || state_.environment.NoProfiles) return;
        ReadRestoreTab();
        if (auto run = RestoreOnWorker(model_.restore, state_, opened_)) StartRun(std::move(*run));
    }

    void StartRun(PreparedRun run) {
        worker_->Start(std::move(run.job), [this, message = std::move(run.message),
                                            followUp = std::move(run.followUp)] {
            ShowPanel({});
            UpdateControls();
            if (quitAfterRun_) {
                DestroyWindow(Window());
                return;
            }
            platform::ShowMessageBox(RequestFor(message()), Window());
            followUp();
            ShowLastBackupLine();
        });
        UpdateControls();
    }

    // Shutdown: the menu, the Quit button and the close box. During a run the user is asked, and
    // the window goes only once the run has stopped.
    void Quit() {
        if (worker_->Busy()) {
            if (quitAfterRun_) return;
            if (Show(QuitDuringRunQuestion()) != platform::MessageAnswer::Ok) return;
            quitAfterRun_ = true;
            worker_->RequestCancel();
            if (worker_->Busy()) return;  // the run's end closes the window
        }
        DestroyWindow(Window());
    }

    AppState& state_;
    const archive::ZipOptions& zip_;  // the backups'
    // The archive open on the Restore page: a backup writes with a component of its own, so the
    // archive stays open for a restore afterwards.
    archive::ArchiveReader opened_;
    MainWindowModel model_;
    TabPages tabs_;
    Tooltips tooltips_;
    AboutTexts about_;
    TaskbarProgress taskbar_;
    std::unique_ptr<RunWorker> worker_;
    bool quitAfterRun_ = false;
};

bool IsTextBox(HWND window) {
    wchar_t kind[16] = {};
    return window && GetClassNameW(window, kind, 16) && _wcsicmp(kind, L"Edit") == 0;
}

// A shortcut key pressed in a text box is the box's.
bool KeyLeftToTextBox(const MSG& message) {
    if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return false;
    return ShortcutLeftToTextBox(IsTextBox(message.hwnd), GetKeyState(VK_CONTROL) < 0,
                                 GetKeyState(VK_MENU) < 0);
}

// Ctrl+A selects the whole text, which not every edit control does by itself.
bool SelectAllOnCtrlA(const MSG& message) {
    if (message.message != WM_KEYDOWN || message.wParam != 'A') return false;
    SendMessageW(message.hwnd, EM_SETSEL, 0, -1);
    return true;
}

}  // namespace

int RunMainWindow(const MainWindowSetup& setup) {
    // The taskbar button's progress and the Outlook detection use COM on this thread.
    const platform::ComSession com;
    if (setup.gatherFacts) setup.gatherFacts(setup.state);
    int status = 1;
    {
        MainWindow window(setup.state, setup.zip);
        HWND main = window.CreateModeless(IDD_MAIN, nullptr);
        if (main) {
            ShowWindow(main, SW_SHOWNORMAL);
            UpdateWindow(main);
            // A restore ended midway goes back before the user can do anything.
            ui::RecoverAtStart(setup.state);
            window.ShowStartMessage();
            HACCEL keys = LoadAcceleratorsW(GetModuleHandleW(nullptr),
                                            MAKEINTRESOURCEW(IDR_MAIN_ACCELERATORS));
            MSG message;
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                const bool textBoxKey = IsWindow(main) && KeyLeftToTextBox(message);
                if (textBoxKey && SelectAllOnCtrlA(message)) continue;
                if (IsWindow(main) &&
                    ((!textBoxKey && TranslateAcceleratorW(main, keys, &message)) ||
                     IsDialogMessageW(main, &message)))
                    continue;
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            status = 0;
        }
    }
    return status;
}

}  // namespace kestrine::ui::win
