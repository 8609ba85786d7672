#include "schedule/command_line.h"

#include <cstdio>
#include <vector>

#include "backup/complete_backup.h"
#include "base/text.h"
#include "base/utf.h"

namespace kestrine::schedule {

namespace {

// Removes the last `count` characters (UTF-8 sequences, not bytes).
std::string DropLastChars(std::string_view text, int count) {
    size_t end = text.size();
    for (int i = 0; i < count; ++i) {
        if (end == 0) return {};
        --end;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    }
    return std::string(text.substr(0, end));
}

}  // namespace

UnattendedCommand ParseUnattendedTail(std::string_view tail) {
    UnattendedCommand command;
    if (!base::IsWellFormedUtf8(tail)) {
        command.status = CommandLineStatus::MalformedText;
        return command;
    }
    std::vector<std::string_view> pieces;
    size_t pos = 0;
    while (true) {
        size_t equals = tail.find('=', pos);
        if (equals == std::string_view::npos) {
            pieces.push_back(tail.substr(pos));
            break;
        }
        pieces.push_back(tail.substr(pos, equals - pos));
        pos = equals + 1;
    }

    if (pieces.size() < 5) {
        command.status = CommandLineStatus::TooFewPieces;
        return command;
    }
    if (pieces.size() > 5) {
        command.status = CommandLineStatus::TooManyPieces;
        return command;
    }
    command.profile = DropLastChars(pieces[1], 2);
    command.mask = DropLastChars(pieces[2], 2);
    command.password = DropLastChars(pieces[3], 2);
    command.archive = std::string(pieces[4]);
    if (command.profile.empty())
        command.status = CommandLineStatus::EmptyProfile;
    else if (command.mask.empty())
        command.status = CommandLineStatus::EmptyMask;
    else if (command.archive.empty())
        command.status = CommandLineStatus::EmptyArchive;
    else
        command.status = CommandLineStatus::Ok;
    return command;
}

backup_format::Choices ChosenItems(std::string_view mask) {
    backup_format::Choices chosen{};
    for (size_t i = 0; i < chosen.size() && i < mask.size(); ++i) chosen[i] = mask[i] == '1';
    return chosen;
}

std::string ItemMask(const backup_format::Choices& chosen) {
    std::string mask;
    for (bool on : chosen) mask += on ? '1' : '0';
    return mask;
}

std::string DatedArchivePath(std::string_view archive, int year, int month, int day, int hour,
                             int minute) {
    return backup::DatedArchivePath(archive, year, month, day, hour, minute);
}

std::string CommandLineTail(std::string_view commandLine) {
    size_t pos = 0;
    if (!commandLine.empty() && commandLine[0] == '"') {
        size_t close = commandLine.find('"', 1);
        pos = close == std::string_view::npos ? commandLine.size() : close + 1;
    } else {
        while (pos < commandLine.size() && commandLine[pos] != ' ' && commandLine[pos] != '\t')
            ++pos;
    }
    while (pos < commandLine.size() && (commandLine[pos] == ' ' || commandLine[pos] == '\t')) ++pos;
    return std::string(commandLine.substr(pos));
}

}  // namespace kestrine::schedule
