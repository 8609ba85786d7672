// The settings as stored and as written on OK. (The refusal of an empty folder and the fallback to
// the application folder are driven through the dialog under Wine.)
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
    EXPECT_EQ(Load({{"backup/backupfolder", "0"}}).backupFolder, kApp);
    EXPECT_TRUE(Load({{"autobackup/autobackupfile", "7"}}).newFileEachRun);
}

TEST(SettingsModel, OkWritesEveryKeyInItsOrder) {
    SettingsModel m;
    m.backupFolder = "  D:\\Backups ";
    m.startOnWindows = m.autoCloseOutlook = m.closeOutlookForSchedule = true;
    m.newFileEachRun = false;
    auto c = ConfirmSettings(m, kApp, [](const std::string& f) { return f == "D:\\Backups"; });
    ASSERT_FALSE(c.refusal);
    std::vector<std::string> written;
    for (const auto& w : c.writes) written.push_back(w.section + "/" + w.key + "=" + w.value);
    EXPECT_EQ(written, (std::vector<std::string>{
                           "Backup/backupfolder=D:\\Backups", "General/startonwindows=1",
                           "General/checkbackupfile=0", "General/runoutlookafterbackup=0",
                           "General/runoutlookafterrestore=0", "backup/autocloseoutlook=1",
                           "backup/openfolderbackup=0", "backup/automgeneratefile=0",
                           "autobackup/autobackupfile=0", "autobackup/closeoutlookforschedule=1"}));
}

}  // namespace
}  // namespace kestrine::ui
