#pragma once
// The weekly re-backup: the bench's data file a week later (1 % of its size appended as new text,
// one 4 KiB page in 2,000 rewritten at random places, fixed seed), written afresh and again over
// the first week's archive (`kestrine-zip create --reuse`), against a plain `cp` of it (the
// ceiling) and restic's second backup into a repository that holds the first week.
#include <filesystem>
#include <string>

namespace kestrine::bench {

struct WeeklySetup {
    std::filesystem::path dir;       // the bench's folder, for the files made here
    std::string dataFile;            // the first week's data file
    std::string tool;                // kestrine-zip
    std::filesystem::path password;  // a file holding the password
    int runs = 3;
};

// The week-later figures, with and without a password; false when a run failed.
bool WeeklyFigures(const WeeklySetup& setup);
// For piece sizes of 64 KiB to 1 MiB: the fresh archive's size and time, the re-backup's time and
// the fraction of the file it took over; false when a run failed.
bool PieceSizeTable(const WeeklySetup& setup);

}  // namespace kestrine::bench
