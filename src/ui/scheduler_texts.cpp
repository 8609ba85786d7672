#include "ui/scheduler_texts.h"

#include "base/text.h"
#include "schedule/command_line.h"

namespace kestrine::ui {

namespace {

std::string ResultText(const std::string& code) {
    if (code == "0") return "the backup was written and every item succeeded";
    if (code == "1") return "the backup was written, but an item failed (see the log)";
    if (code == "2") return "no backup was written (see the log)";
    if (code == "267009" || code == "0x41301") return "it is running now";
    return "it ended with code " + code;
}

}  // namespace

std::string UncarriedCharacterMessage(std::string_view what, char character) {
    if (static_cast<unsigned char>(character) < 0x20)
        return "The " + std::string(what) +
               " contains a control character, which the scheduled task cannot pass on to "
               "Kestrine.";
    std::string named = character == '"'   ? "\" (double quote)"
                        : character == '%' ? "% (percent sign)"
                                           : "= (equals sign)";
    return "The " + std::string(what) + " contains the character " + named +
           ", which the scheduled task cannot pass on to Kestrine.";
}

std::string ScheduledMessage(std::string_view taskName) {
    return "Task " + std::string(taskName) + " has been scheduled.";
}

// Why the Task Scheduler refused: its own words when it gave any.
static std::string ReasonText(bool started, unsigned long exitCode, std::string_view output) {
    const char* blanks = " \t\r\n";
    size_t first = output.find_first_not_of(blanks);
    std::string reason;
    if (first != std::string_view::npos)
        reason = output.substr(first, output.find_last_not_of(blanks) - first + 1);
    if (!started) return "The Task Scheduler (schtasks.exe) could not be started.";
    if (!reason.empty()) return reason;
    return "The Task Scheduler ended with code " + std::to_string(exitCode) + ".";
}

std::string NotScheduledMessage(std::string_view taskName, bool started, unsigned long exitCode,
                                std::string_view output) {
    return "Task " + std::string(taskName) + " was not scheduled.\r\n\r\n" +
           ReasonText(started, exitCode, output);
}

std::string DeletedMessage(std::string_view taskName) {
    return "Task " + std::string(taskName) + " has been Delete.";
}

Message AddedTaskMessage(std::string_view taskName, const schedule::TaskOutcome& outcome) {
    if (outcome.done) return {ScheduledMessage(taskName), platform::MessageIcon::Information};
    if (!outcome.written)
        return {"Task " + std::string(taskName) +
                    " was not scheduled.\r\n\r\nIts definition could not be written for the "
                    "Task Scheduler to read. The task scheduled before, if any, is unchanged.",
                platform::MessageIcon::Critical};
    return {NotScheduledMessage(taskName, outcome.started, outcome.exitCode, outcome.output),
            platform::MessageIcon::Critical};
}

Message RanTaskMessage(std::string_view taskName, const schedule::TaskOutcome& outcome) {
    if (outcome.done)
        return {"Task " + std::string(taskName) +
                    " has been started: it backs up now, and the log tells how it went.",
                platform::MessageIcon::Information};
    return {"Task " + std::string(taskName) + " could not be started.\r\n\r\n" +
                ReasonText(outcome.started, outcome.exitCode, outcome.output),
            platform::MessageIcon::Critical};
}

Message RemovedTaskMessage(std::string_view taskName) {
    return {DeletedMessage(taskName), platform::MessageIcon::Information};
}

std::string ScheduledTaskText(const schedule::TaskQuery& query, bool newFileEachRun) {
    if (!query.queried) return "The Task Scheduler could not be asked what is scheduled.";
    if (!query.exists) return kNothingScheduledText;
    const schedule::ScheduledTask& task = query.task;
    if (!task.Read()) return kUnreadTaskText;
    std::string text = "Backs up profile " + task.profile + " on " +
                       (task.days.empty() ? std::string("the chosen days") : task.days) + " at " +
                       task.startTime + "; next run: " + task.nextRun + ".\r\n";
    if (schedule::HeldByBattery(task))
        text +=
            "It does not run on battery power (a task of an earlier version): add the task "
            "again to replace it.\r\n";
    else if (task.conditionsRead)
        text += std::string(base::EqualsNoCase(task.logonMode, "Interactive only")
                                ? "It runs while you are logged on"
                                : "It runs") +
                ", on battery power too.\r\n";
    if (schedule::NeverRan(task) || task.lastResult.empty())
        text += "It has not run yet.\r\n";
    else
        text += "Last run: " + task.lastRun + ": " + ResultText(task.lastResult) + ".\r\n";
    if (task.archive.empty()) return text + "Its backup file could not be read from the task.";
    if (!newFileEachRun) return text + "Each run replaces " + task.archive + ".";
    std::string dated = schedule::DatedArchivePath(task.archive, 2000, 1, 1, 0, 0);
    dated.replace(dated.size() - 21, 21, "-MM-DD-YYYY-HH-MM.ksx");
    return text + "Each run writes a new file: " + dated + ".";
}

}  // namespace kestrine::ui
