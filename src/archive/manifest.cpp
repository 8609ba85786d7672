#include "archive/manifest.h"

#include "base/line_file.h"
#include "base/text.h"
#include "base/utf.h"

namespace kestrine::archive {

std::string EncodeNote(std::string_view note) {
    // A line break of any kind would end the manifest line early, and one that forms an empty
    // line would hide BackupItem from every reader: a lone CR or LF travels as the token too.
    std::string out = base::ReplaceAll(note, "\r\n", kNoteBreakToken);
    out = base::ReplaceAll(out, "\r", kNoteBreakToken);
    return base::ReplaceAll(out, "\n", kNoteBreakToken);
}

std::string DecodeNote(std::string_view value) {
    return base::ReplaceAll(value, kNoteBreakToken, "\r\n");
}

std::vector<std::pair<std::string, std::string>> HeaderPairs(const ManifestHeader& header) {
    return {{kKeyComputer, header.computer},
            {kKeyLogonUser, header.logonUser},
            {kKeyIdentity, header.identity},
            {kKeyTime, header.time},
            {kKeyOutlookVersion, header.outlookVersion},
            {kKeyInformation, EncodeNote(header.note)}};
}

std::string JoinStagingList(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& name : names) {
        if (!out.empty()) out += ';';
        out += name;
    }
    return out;
}

std::vector<std::string> SplitStagingList(std::string_view list) {
    std::vector<std::string> names;
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t end = list.find(';', pos);
        if (end == std::string_view::npos) end = list.size();
        if (end > pos) names.emplace_back(list.substr(pos, end - pos));
        pos = end + 1;
    }
    return names;
}

bool IsValidItemFlags(std::string_view flags) {
    return flags.size() == kItemCount;
}

bool ItemPresent(std::string_view flags, Item item) {
    return IndexOf(item) < flags.size() && flags[IndexOf(item)] == '1';
}

std::string ManifestText(const ManifestHeader& header,
                         const std::vector<std::pair<std::string, std::string>>& itemLines,
                         std::string_view itemFlags) {
    std::string text;
    for (const auto& [key, value] : HeaderPairs(header)) text += base::INILine(key, value);
    for (const auto& [key, value] : itemLines) text += base::INILine(key, value);
    text += base::INILine(kKeyItemFlags, itemFlags);
    return text;
}

Manifest ReadManifestText(std::string_view text) {
    Manifest manifest;
    if (!base::IsWellFormedUtf8(text)) return manifest;
    manifest.header.computer = base::ScanINIText(text, kKeyComputer);
    manifest.header.logonUser = base::ScanINIText(text, kKeyLogonUser);
    manifest.header.identity = base::ScanINIText(text, kKeyIdentity);
    manifest.header.time = base::ScanINIText(text, kKeyTime);
    manifest.header.outlookVersion = base::ScanINIText(text, kKeyOutlookVersion);
    manifest.header.note = DecodeNote(base::ScanINIText(text, kKeyInformation));
    manifest.itemFlags = base::ScanINIText(text, kKeyItemFlags);
    manifest.valid = IsValidItemFlags(manifest.itemFlags);
    if (!manifest.valid) return manifest;
    for (const ItemInfo& info : kItems) {
        // An absent item is never looked up, even when its line is there.
        if (!ItemPresent(manifest.itemFlags, info.item)) continue;
        manifest.entries[IndexOf(info.item)] =
            base::CutAtNul(base::ScanINIText(text, info.manifestKey));
    }
    return manifest;
}

}  // namespace kestrine::archive
