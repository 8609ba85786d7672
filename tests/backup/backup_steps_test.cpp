#include "backup/backup_steps.h"

#include <gtest/gtest.h>

#include <numeric>

namespace kestrine::backup {
namespace {

ChosenBoxes Only(int box) {
    ChosenBoxes chosen{};
    chosen[static_cast<size_t>(box)] = true;
    return chosen;
}

std::string RunningSteps(const ChosenBoxes& chosen) {
    std::string out;
    for (const auto& step : BackupSteps()) out += StepRuns(step, chosen) ? 'x' : '.';
    return out;
}

TEST(BackupSteps, EachBoxTriggersItsSteps) {
    // Data files bring the configuration and the rules; accounts and the address book bring the
    // configuration.
    EXPECT_EQ(RunningSteps(Only(0)), "xxx........");
    EXPECT_EQ(RunningSteps(Only(1)), "x..x.......");
    EXPECT_EQ(RunningSteps(Only(2)), "....x......");
    EXPECT_EQ(RunningSteps(Only(3)), ".....x.....");
    EXPECT_EQ(RunningSteps(Only(4)), "x.....x....");
    EXPECT_EQ(RunningSteps(Only(5)), ".......x...");
    EXPECT_EQ(RunningSteps(Only(6)), "........x..");
    EXPECT_EQ(RunningSteps(Only(7)), ".........x.");
    EXPECT_EQ(RunningSteps(Only(8)), "..........x");
    EXPECT_EQ(RunningSteps(ChosenBoxes{}), "...........");
    EXPECT_FALSE(AnyChosen(ChosenBoxes{}));
    EXPECT_TRUE(AnyChosen(Only(8)));
}

TEST(BackupSteps, RunInTheOrderOfTheItemFlags) {
    // ItemFlagsFrom writes one flag per step in run order: step i must be archive item i.
    const auto& steps = BackupSteps();
    for (size_t i = 0; i < steps.size(); ++i) EXPECT_EQ(archive::IndexOf(steps[i].item), i);
}

TEST(ItemFlags, OneCharacterPerStep) {
    std::vector<StepOutcome> outcomes(11, StepOutcome::NotRun);
    EXPECT_EQ(ItemFlagsFrom(outcomes), "00000000000");
    outcomes[10] = StepOutcome::Succeeded;
    EXPECT_EQ(ItemFlagsFrom(outcomes), "00000000001");
    outcomes[0] = StepOutcome::Succeeded;
    outcomes[3] = StepOutcome::Succeeded;
    outcomes[4] = StepOutcome::Failed;
    EXPECT_EQ(ItemFlagsFrom(outcomes), "10010000001");
}

TEST(Summary, EntriesAndCompletionMessage) {
    std::string summary = SummaryEntry("Signatures", true) + SummaryEntry("Templates", false);
    EXPECT_EQ(summary, "\r\nBackup Signatures\tSucceeded!\t\r\nBackup Templates\tFail!\t");
    EXPECT_EQ(CompletionMessage(summary),
              "The Backup was Completed!\t\t\t\r\n\r\nBackup Signatures\tSucceeded!\t\r\nBackup "
              "Templates\tFail!\t");
}

TEST(Summary, FailureTextsNameArchiveAndCause) {
    auto text = WriteFailedMessage("C:\\Backup\\a.ksx", "Access is denied.");
    EXPECT_NE(text.find("The backup file could not be written:"), std::string::npos);
    EXPECT_NE(text.find("C:\\Backup\\a.ksx"), std::string::npos);
    EXPECT_NE(text.find("Access is denied."), std::string::npos);
    EXPECT_EQ(text.find("Completed"), std::string::npos);
    EXPECT_EQ(BackupNotCompletedLine("12/6/2026 9:00:00 AM", "My Mail"),
              "12/6/2026 9:00:00 AM Backup Profile My Mail Data was not Completed!\r");
}

TEST(Progress, DataFilesRunAddsUpAndStopsBelowTheMaximum) {
    ui::ProgressModel progress;
    progress.value = 10;  // the start of the run
    ChosenBoxes all{};
    all.fill(true);
    for (const auto& step : BackupSteps()) {
        AdvanceBeforeStep(progress, step, StepRuns(step, all));
        AdvanceAfterStep(progress, step);
    }
    // 10 + 105 would pass 100: the contacts step leaves the bar at 95.
    EXPECT_EQ(progress.value, 95);
}

TEST(Progress, StepsAddWhetherRunOrNotExceptTheDataFilesFive) {
    ui::ProgressModel progress;
    progress.value = 10;
    for (const auto& step : BackupSteps()) {
        AdvanceBeforeStep(progress, step, StepRuns(step, Only(8)));
        AdvanceAfterStep(progress, step);
    }
    EXPECT_EQ(progress.value, 100);
    // A bar with a larger maximum shows the full sum with the data files.
    ui::ProgressModel wide;
    wide.max = 1000;
    wide.value = 10;
    ChosenBoxes all{};
    all.fill(true);
    for (const auto& step : BackupSteps()) {
        AdvanceBeforeStep(wide, step, StepRuns(step, all));
        AdvanceAfterStep(wide, step);
    }
    EXPECT_EQ(wide.value, 105);  // the run's 10 included
}

}  // namespace
}  // namespace kestrine::backup
