#pragma once
// The window's Backup page aimed at a scratch profile, for the backup tests natively and under
// Wine: the items ticked, the archive it writes, the one message a run shows.
#include <gtest/gtest.h>

#include "archive/archive_reader.h"
#include "scratch.h"
#include "ui/commands.h"

namespace kestrine::test {

class BackupPage : public ::testing::Test {
  public:
    void SetUp() override {
        window.backup.sourceProfile = "Outlook";
        window.backup.targetFileText = p.target;
    }
    void Tick(std::initializer_list<backup_format::Choice> choices) {
        for (backup_format::Choice c : choices)
            window.backup.items[backup_format::IndexOf(c)].ticked = true;
    }
    void TickAll() {
        for (auto& box : window.backup.items) box.ticked = true;
    }
    const std::string& Target() const { return window.backup.targetFileText; }
    std::string OnlyMessage() const {
        EXPECT_EQ(s.dialogs.messages.size(), 1u);
        return s.dialogs.messages.empty() ? "" : s.dialogs.messages[0].text;
    }

    Scratch s;
    SampleProfile p{s};
    archive::ZipOptions zip;        // the backups'
    archive::ArchiveReader opened;  // the backup open for a restore
    ui::MainWindowModel window;
};

}  // namespace kestrine::test
