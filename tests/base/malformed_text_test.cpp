// Text that is not well-formed UTF-8 cannot name anything: every importer of names and paths
// outside the zip code refuses it rather than turning it into some other name.
#include <gtest/gtest.h>

#include "backup_format/manifest.h"
#include "base/utf.h"
#include "registry/export_format.h"
#include "schedule/command_line.h"
#include "ui/archive_name.h"

namespace kestrine {
namespace {

struct Sample {
    const char* why;
    std::string bytes;
};
const Sample kMalformed[] = {
    {"a character cut off", "caf\xC3"},
    {"a three-byte character cut off", "\xE6\x97"},
    {"a stray continuation byte", "a\x80"},
    {"a continuation byte first", "\xBFx"},
    {"C0..FF where a continuation belongs", "\xC3\xC3"},
    {"FF where a continuation belongs", "\xE6\x97\xFF"},
    {"F0 where a continuation belongs", "\xF0\x9F\x98\xF0"},
    {"an overlong form", "\xC0\xAF"},
};
const std::string kFine = "J\xC3\xB6rg \xE6\x97\xA5";

auto Exists = [](const std::string&) { return true; };

TEST(MalformedText, EveryImporterOfNamesAndPathsRefusesIt) {
    for (const auto& [why, bad] : kMalformed) {
        SCOPED_TRACE(why);
        EXPECT_FALSE(base::IsWellFormedUtf8(bad));

        // A registry export file: in a value name, in string data, in a key line.
        for (const std::string& text :
             {"\\\r\n\"n" + bad + "\"= sz:x\r\n", "\\\r\n\"n\"= sz:x" + bad + "\r\n",
              "\\\r\n\\Sub" + bad + "\r\n\"n\"= dw:1\r\n", "\\\r\n\"n\"= sz:x\r\n\\" + bad}) {
            const auto plan = registry::ParseExportText(text);
            EXPECT_FALSE(plan.ok);
            EXPECT_TRUE(plan.steps.empty());
        }

        // The scheduled command line: the profile, the password, the archive (also at its end).
        for (const std::string& tail :
             {"sf=P" + bad + "xm=1ps=bf=C:\\b.ksx", "sf=Pxm=1ps=" + bad + "bf=C:\\b.ksx",
              "sf=Pxm=1ps=bf=C:\\b" + bad}) {
            EXPECT_EQ(schedule::ParseUnattendedTail(tail).status,
                      schedule::CommandLineStatus::MalformedText);
        }

        // A manifest: a header value or an item's entry names make it no valid backup.
        EXPECT_FALSE(backup_format::ReadManifestText("BackupIdentity=" + bad +
                                                     "\r\nBackupItem=00000000000\r\n")
                         .valid);
        EXPECT_FALSE(backup_format::ReadManifestText("BackupContacts=a" + bad +
                                                     "\r\nBackupItem=00000000001\r\n")
                         .valid);

        // The backup folder setting names no folder: proposals go to the application folder.
        EXPECT_EQ(ui::ChooseProposalFolder("D:\\Backups" + bad, "C:\\App", Exists), "C:\\App");
    }

    // Well-formed text beyond ASCII passes every one of them.
    EXPECT_TRUE(registry::ParseExportText("\\\r\n\"" + kFine + "\"= sz:" + kFine + "\r\n").ok);
    EXPECT_EQ(schedule::ParseUnattendedTail("sf=" + kFine + "xm=1ps=bf=C:\\" + kFine).profile,
              kFine);
    EXPECT_EQ(
        backup_format::ReadManifestText("BackupContacts=" + kFine + "\r\nBackupItem=00000000001")
            .entries[backup_format::IndexOf(backup_format::Item::Contacts)],
        kFine);
    EXPECT_EQ(ui::ChooseProposalFolder("D:\\" + kFine, "C:\\App", Exists), "D:\\" + kFine);
}

}  // namespace
}  // namespace kestrine
