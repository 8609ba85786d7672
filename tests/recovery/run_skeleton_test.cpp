// The one outline of every run, with a plan that records what it is asked: the profile is made
// whole before anything of the plan runs, a stop before a step ends the run with nothing left
// behind, and a run kept out by another begins nothing.
#include <gtest/gtest.h>

#include <stop_token>

#include "platform/file_stream.h"
#include "recovery/recovery.h"
#include "recovery/run_skeleton.h"
#include "registry/registry.h"
#include "scratch.h"

namespace kestrine::test {
namespace {

using recovery::RunOutcome;

// Three steps, the middle one doing no work; it writes down each call with what the profile's
// value "Marker" holds at that moment.
class RecordingPlan final : public recovery::RunPlan {
  public:
    RecordingPlan(const std::string& key, std::vector<std::string>& said)
        : key_(key), said_(said) {}
    std::string BusyLine(const std::string& now) const override { return now + " kept out"; }
    bool Begin(const recovery::RunStart& start) override {
        said_.push_back("begin " + Marker());
        return !start.folder.empty() && platform::fileio::ListFolderNames(start.folder).empty();
    }
    size_t StepCount() const override { return 3; }
    bool StepRuns(size_t step) const override { return step != 1; }
    bool RunStep(size_t step) override {
        said_.push_back("step " + std::to_string(step));
        if (duringFirst) duringFirst();
        duringFirst = nullptr;
        return true;
    }
    RunOutcome Finish(bool stopped) override {
        said_.push_back(stopped ? "stopped" : "finish");
        return stopped ? RunOutcome::Cancelled : RunOutcome::Completed;
    }
    std::string Marker() const { return registry::GetStringValue(key_, "Marker").value_or("none"); }
    std::function<void()> duringFirst;

  private:
    std::string key_;
    std::vector<std::string>& said_;
};

class RunSkeleton : public ::testing::Test {
  public:
    RunOutcome Run(std::stop_token stop = {}, std::chrono::milliseconds wait = {}) {
        recovery::RunHooks hooks{
            .before = [&] { said.push_back("before " + plan.Marker()); },
            .after = [&](RunOutcome) { said.push_back("after " + RunFolders()); }};
        return recovery::RunWithPlan({s.state.paths, s.state.environment, wait, stop}, plan, hooks);
    }
    std::string RunFolders() const {
        std::string names;
        for (const auto& name : platform::fileio::ListFolderNames(s.state.paths.TempFolder))
            if (name.starts_with("~kestrine.run-")) names += name;
        return names;
    }

    Scratch s;
    SampleProfile p{s};
    std::string key = s.Profile("Outlook");
    std::vector<std::string> said;
    RecordingPlan plan{key, said};
};

// A restore ended midway had imported half a profile: it is put back before the hook and the plan
// read the profile, and the run's folder, new and empty for the plan, is gone before the
// after-hook.
TEST_F(RunSkeleton, TheProfileIsWholeBeforeThePlanBeginsAndAnotherRunKeepsItOut) {
    ASSERT_TRUE(registry::SetStringValue(key, "Marker", "the user's"));
    {
        auto ended =
            recovery::UndoJournal::Begin(s.state.paths.UndoFolder, recovery::RegistryKeyKeeper());
        ASSERT_TRUE(ended && ended->SaveKey(key));
    }
    ASSERT_TRUE(registry::SetStringValue(key, "Marker", "half restored"));
    EXPECT_EQ(Run(), RunOutcome::Completed);
    EXPECT_EQ(said, (std::vector<std::string>{"before the user's", "begin the user's", "step 0",
                                              "step 1", "step 2", "finish", "after "}));

    said.clear();
    {
        OtherRunAtWork other;
        EXPECT_EQ(Run({}, std::chrono::milliseconds(100)), RunOutcome::Busy);
    }
    EXPECT_TRUE(said.empty());
    EXPECT_NE(s.Log().find(" kept out"), std::string::npos);
}

// Stopped while the first step works: the step that does no work still reports, the next one that
// would work never starts, and the run's folder is gone.
TEST_F(RunSkeleton, AStopBeforeAStepEndsCancelledWithNothingLeft) {
    std::stop_source source;
    plan.duringFirst = [&] { source.request_stop(); };
    EXPECT_EQ(Run(source.get_token()), RunOutcome::Cancelled);
    EXPECT_EQ(said, (std::vector<std::string>{"before none", "begin none", "step 0", "step 1",
                                              "stopped", "after "}));
    EXPECT_EQ(RunFolders(), "");
}

}  // namespace
}  // namespace kestrine::test
