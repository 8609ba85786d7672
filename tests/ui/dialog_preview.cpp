// Opens one dialog with sample data for tools/screenshots:
//   dialog_preview settings TAB RECTFILE | dialog_preview scheduler RECTFILE
// Once the dialog is shown (in a state a user would see), its screen rectangle "x y width height"
// goes to RECTFILE; the dialog closes when that file is removed.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/text.h"
#include "ui/backup_presenter.h"
#include "ui/win/resource.h"
#include "ui/win/scheduler_dialog.h"
#include "ui/win/settings_dialog.h"
#include "window_driver.h"

namespace {

using namespace kestrine;

// A profile of Outlook 2007 or later without stationery.
ui::ItemBoxes SampleItems(const std::string&) {
    outlook::ProfileInventory inventory;
    inventory.available.fill(true);
    inventory.available[archive::IndexOf(archive::Choice::Stationery)] = false;
    inventory.available[archive::IndexOf(archive::Choice::AddressBook)] = false;
    inventory.addressBookSupported = false;
    ui::BackupTabModel tab;
    ui::ShowInventory(tab, inventory);
    return tab.items;
}

// Puts the dialog in its sample state, reports where it is and closes it when told.
void Stage(const std::string& caption, int tab, const std::filesystem::path& rectFile) {
    HWND dialog = test::WaitForWindow(caption);
    if (!dialog) return;
    SetForegroundWindow(dialog);
    if (tab >= 0) test::ShowTab(dialog, IDC_SETTINGS_TABS, tab);
    if (caption == "Task Scheduler") {
        for (int id :
             {IDC_TASK_ITEM_FIRST, IDC_TASK_ITEM_FIRST + 1, IDC_TASK_ITEM_FIRST + 2,
              IDC_TASK_ITEM_FIRST + 8, IDC_TASK_MONDAY, IDC_TASK_MONDAY + 3, IDC_TASK_PROTECT})
            test::Click(dialog, id);
        test::Type(dialog, IDC_TASK_PASSWORD, "secret");
        test::Type(dialog, IDC_TASK_PASSWORD2, "secret");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    RECT r;
    GetWindowRect(dialog, &r);
    if (FILE* out = _wfopen(rectFile.c_str(), L"w")) {
        std::fprintf(out, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        std::fclose(out);
    }
    while (std::filesystem::exists(rectFile))
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    const std::wstring which = argv[1];
    const bool settings = which == L"settings";
    if (settings && argc < 4) return 2;
    const std::filesystem::path rectFile = argv[settings ? 3 : 2];
    const int tab = settings ? std::wcstol(argv[2], nullptr, 10) : -1;
    SetCursorPos(0, 0);  // no control under the pointer: none is drawn hot
    std::thread stage(Stage, settings ? "Settings" : "Task Scheduler", tab, rectFile);

    const std::string app = "C:\\Program Files\\Kestrine";
    if (settings) {
        ui::SettingsFiles files{app, app + "\\settings.dat", app + "\\kestrine.exe"};
        ui::win::ShowSettingsDialog(nullptr, files);
    } else {
        schedule::SchedulerSetup setup{
            {"Outlook", "Work"}, app, app + "\\settings.dat", app + "\\kestrine.exe", SampleItems};
        ui::win::ShowSchedulerDialog(nullptr, setup);
    }
    stage.join();
    return 0;
}
