// The settings as stored and as written on OK, and what OK refuses.
#include <gtest/gtest.h>

#include <map>

#include "ui/settings_model.h"

namespace kestrine::ui {
namespace {

const std::string kApp = "C:\\Program Files\\Kestrine";

SettingsModel Load(const std::map<std::string, std::string>& stored) {
    return LoadSettings(
        [&](const std::string& section, const std::string& key) {
            auto found = stored.find(section + "/" + key);
            return found == stored.end() ? std::string() : found->second;
        },
        kApp);
}

TEST(SettingsModel, OpensWithWhatIsStored) {
    auto m = Load({{"backup/backupfolder", "D:\\Backups"},
                   {"General/startonwindows", "1"},
                   {"General/checkbackupfile", "2"},
                   {"General/runoutlookafterrestore", "yes"},
                   {"backup/automgeneratefile", "1"},
                   {"autobackup/autobackupfile", "0"}});
    EXPECT_EQ(m.backupFolder, "D:\\Backups");
    EXPECT_TRUE(m.startOnWindows);
    EXPECT_FALSE(m.checkBackupFile);  // only "1" is on
    EXPECT_FALSE(m.runOutlookAfterRestore);
    EXPECT_TRUE(m.generateFileName);
    EXPECT_FALSE(m.newFileEachRun);

    // No settings.dat at all: everything off, the application folder, a new file per run.
    m = Load({});
    EXPECT_EQ(m.backupFolder, kApp);
    EXPECT_FALSE(m.startOnWindows || m.autoCloseOutlook || m.openFolderAfterBackup ||
                 m.closeOutlookForSchedule);
    EXPECT_TRUE(Load({{"autobackup/closeoutlookforschedule", "1"}}).closeOutlookForSchedule);
    EXPECT_TRUE(m.newFileEachRun);
    // A failed scheduled backup is told unless the user turned that off.
    EXPECT_TRUE(m.notifyFailure);
    EXPECT_FALSE(Load({{"autobackup/notifyfailure", "0"}}).notifyFailure);
    EXPECT_EQ(Load({{"backup/backupfolder", "0"}}).backupFolder, kApp);
    EXPECT_TRUE(Load({{"autobackup/autobackupfile", "7"}}).newFileEachRun);

    // Keeping only the newest dated backups: off unless a count from 1 to 999 is stored.
    EXPECT_FALSE(m.keepNewestOnly);
    for (const char* stored : {"0", "-3", "12x", "1000", " "})
        EXPECT_FALSE(Load({{"autobackup/keepdatedbackups", stored}}).keepNewestOnly) << stored;
    for (const int count : {1, 10, 999}) {
        m = Load({{"autobackup/keepdatedbackups", std::to_string(count)}});
        EXPECT_TRUE(m.keepNewestOnly);
        EXPECT_EQ(m.keepNewest, count);
    }
}

TEST(SettingsModel, OkWritesEveryKeyInItsOrder) {
    SettingsModel m;
    m.backupFolder = "  D:\\Backups ";
    m.startOnWindows = m.autoCloseOutlook = m.closeOutlookForSchedule = true;
    m.newFileEachRun = m.notifyFailure = false;
    auto c = ConfirmSettings(m, kApp, [](const std::string& f) { return f == "D:\\Backups"; });
    ASSERT_FALSE(c.refusal);
    std::vector<std::string> written;
    for (const auto& w : c.writes) written.push_back(w.section + "/" + w.key + "=" + w.value);
    EXPECT_EQ(written, (std::vector<std::string>{
                           "Backup/backupfolder=D:\\Backups", "General/startonwindows=1",
                           "General/checkbackupfile=0", "General/runoutlookafterbackup=0",
                           "General/runoutlookafterrestore=0", "backup/autocloseoutlook=1",
                           "backup/openfolderbackup=0", "backup/automgeneratefile=0",
                           "autobackup/autobackupfile=0", "autobackup/closeoutlookforschedule=1",
                           "autobackup/keepdatedbackups=0", "autobackup/notifyfailure=0"}));

    m.keepNewestOnly = true;
    m.keepNewest = 4;
    c = ConfirmSettings(m, kApp, [](const std::string&) { return true; });
    EXPECT_EQ(c.writes.end()[-2].value, "4");
    // Keeping the newest without a count is refused, and nothing is written.
    m.keepNewest = 0;
    c = ConfirmSettings(m, kApp, [](const std::string&) { return true; });
    ASSERT_TRUE(c.refusal);
    EXPECT_EQ(c.refusal->text, kNoKeepCountMessage);
    EXPECT_TRUE(c.writes.empty());
    // An empty or blank folder box is refused; a folder that is not there gives way to the
    // application folder, which the box then shows.
    m.keepNewest = 4;
    for (const char* blank : {"", "   "}) {
        m.backupFolder = blank;
        c = ConfirmSettings(m, kApp, [](const std::string&) { return true; });
        ASSERT_TRUE(c.refusal);
        EXPECT_EQ(*c.refusal, (Message{kNoBackupFolderMessage, platform::MessageIcon::Critical}));
        EXPECT_TRUE(c.writes.empty());
    }
    m.backupFolder = "D:\\gone";
    c = ConfirmSettings(m, kApp, [](const std::string&) { return false; });
    EXPECT_EQ(m.backupFolder, kApp);
    EXPECT_EQ(c.writes.front().value, kApp);
}

}  // namespace
}  // namespace kestrine::ui
