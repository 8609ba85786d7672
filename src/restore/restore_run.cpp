#include "restore/restore_run.h"

#include "app/activity_log.h"
#include "app/log_lines.h"
#include "app/settings.h"
#include "archive/zip_instance.h"
#include "outlook/process_control.h"
#include "platform/messages.h"
#include "platform/system.h"
#include "restore/restore_handlers.h"

namespace kestrine::restore {

RestoreRunReport RunRestore(ui::MainWindowModel& window, const AppState& state,
                            archive::ZipComponent& zip, const RestoreRunHooks& hooks) {
    RestoreRunReport report;
    if (state.NoSourceFile) {
        platform::ShowMessage(kNoSourceText, platform::MessageIcon::Critical);
        return report;
    }
    std::array<bool, kRestoreEntryCount> ticked{};
    bool any = false;
    for (size_t i = 0; i < ticked.size(); ++i) {
        ticked[i] = window.restore.items[i].ticked;
        any = any || ticked[i];
    }
    if (!any) {
        platform::ShowMessage(kNothingTickedText, platform::MessageIcon::Exclamation);
        return report;
    }
    report.ran = true;

    const auto now = [&] { return hooks.now ? hooks.now() : platform::NowText(); };
    const std::string target = window.restore.targetProfile;
    const std::string logPath = LogPath();
    WriteLog(logPath, LogSeparatorLine());
    WriteLog(logPath, RestoreStartLine(now(), target));
    WriteLog(logPath, RestoreFileLine(now(), state.SourceFile));

    auto& progress = window.progress;
    const auto pump = [&] {
        if (window.pumpMessages) window.pumpMessages();
    };
    progress.skinLabel9 = "Restore Outlook Data....";
    progress.busyPointer = true;
    progress.panelVisible = true;
    progress.Advance(10);
    pump();

    // The extraction shows its file name while the window stays responsive; the window's own
    // event handlers come back after the run.
    const archive::ZipEvents windowEvents = zip.Events();
    zip.Events().FileExtracting = [&](const std::string& name) {
        pump();
        progress.skinLabel9 = "Unzip File " + name;
        pump();
    };
    const RestoreContext ctx{state, zip};
    for (const RestoreRow& row : RestoreRows()) {
        if (RowSelected(row, ticked, state.ItemFlags)) {
            progress.label1 = row.caption;
            const bool ok = hooks.handler ? hooks.handler(row.item, target)
                                          : RunRestoreHandler(row.item, ctx, target);
            report.rows.push_back({row.item, ok});
            if (row.logItem >= 0) {
                WriteLog(logPath, RestoreItemLine(now(), kLogItemNames[row.logItem], ok));
                report.summary += RestoreSummaryLine(row, ok);
            }
        }
        if (row.barStep1) progress.Advance(row.barStep1);
        if (row.barStep2) progress.Advance(row.barStep2);
    }

    zip.Events() = windowEvents;

    progress.busyPointer = false;
    progress.value = progress.max;
    progress.label1 = "Operation complete!";
    WriteLog(logPath, RestoreEndLine(now(), target));
    progress.panelVisible = false;
    progress.value = 0;

    platform::ShowMessage(RestoreCompletionText(report.summary),
                          platform::MessageIcon::Information);

    if (SettingIsOn("General", "runoutlookafterrestore")) {
        if (hooks.startOutlook)
            hooks.startOutlook();
        else
            outlook::StartOutlook();
    }
    return report;
}

RestoreRunReport RunRestore() {
    return RunRestore(ui::MainWindow(), State(), archive::Zip());
}

}  // namespace kestrine::restore
