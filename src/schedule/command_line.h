#pragma once
// The unattended command line: sf=<profile>xm=<mask>ps=<password>bf=<archive>, taken apart by
// position, and the pieces the unattended run builds from it.
#include <string>
#include <string_view>

#include "backup_format/items.h"

namespace kestrine::schedule {

enum class CommandLineStatus {
    Ok,
    MalformedText,  // not well-formed UTF-8: no piece can be trusted
    TooFewPieces,   // fewer than four "="
    TooManyPieces,  // more than four "=": a value held "=", so no piece can be trusted
    EmptyProfile,
    EmptyMask,
    EmptyArchive,
};

struct UnattendedCommand {
    CommandLineStatus status = CommandLineStatus::TooFewPieces;
    std::string profile;
    std::string mask;      // ItemMask
    std::string password;  // empty: no protection
    std::string archive;
    bool ok() const { return status == CommandLineStatus::Ok; }
};

// Cuts the tail at every "=": piece 0 is ignored, pieces 1..3 lose their last two characters (the
// next key's name, whatever it is), piece 4 is the archive path; nothing is trimmed. Refused when
// the tail is not well-formed UTF-8, with fewer or more than five pieces, or an empty profile, mask
// or archive.
UnattendedCommand ParseUnattendedTail(std::string_view tail);

// Which of the nine items the mask chooses: position k (from 1) is item k-1; only "1" chooses, and
// positions beyond a shorter mask are not chosen.
backup_format::Choices ChosenItems(std::string_view mask);
// The mask of the chosen items: "1" or "0" for each of the nine, in order.
std::string ItemMask(const backup_format::Choices& chosen);

// The dated archive of a run: the ".ksx" of `archive` (any case) becomes "-MM-DD-YYYY-HH-MM.ksx";
// a name without that extension keeps all of itself and gets the dated suffix added.
std::string DatedArchivePath(std::string_view archive, int year, int month, int day, int hour,
                             int minute);

// The tail of a whole command line: the program path (quoted, or up to the first blank) and the
// blanks after it are skipped; the rest is returned as it stands.
std::string CommandLineTail(std::string_view commandLine);

}  // namespace kestrine::schedule
