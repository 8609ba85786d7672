#include "archive/manifest.h"

#include "app/line_file.h"

namespace kestrine::archive {

namespace {

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    size_t pos = 0;
    while (true) {
        size_t hit = text.find(from, pos);
        if (hit == std::string_view::npos) break;
        out.append(text.substr(pos, hit - pos)).append(to);
        pos = hit + from.size();
    }
    out.append(text.substr(pos));
    return out;
}

}  // namespace

std::string EncodeNote(std::string_view note) {
    // A line break of any kind would end the manifest line early, and one that forms an empty
    // line would hide BackupItem from every reader: a lone CR or LF travels as the token too.
    std::string out = ReplaceAll(note, "\r\n", kNoteBreakToken);
    out = ReplaceAll(out, "\r", kNoteBreakToken);
    return ReplaceAll(out, "\n", kNoteBreakToken);
}

std::string DecodeNote(std::string_view value) {
    return ReplaceAll(value, kNoteBreakToken, "\r\n");
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
    return flags.size() == kArchiveItemCount;
}

bool ItemPresent(std::string_view flags, int index) {
    return index >= 0 && static_cast<size_t>(index) < flags.size() &&
           flags[static_cast<size_t>(index)] == '1';
}

std::string ManifestText(const ManifestHeader& header,
                         const std::vector<std::pair<std::string, std::string>>& itemLines,
                         std::string_view itemFlags) {
    std::string text;
    for (const auto& [key, value] : HeaderPairs(header)) text += INILine(key, value);
    for (const auto& [key, value] : itemLines) text += INILine(key, value);
    text += INILine(kKeyItemFlags, itemFlags);
    return text;
}

Manifest ReadManifestText(std::string_view text) {
    Manifest manifest;
    manifest.header.computer = ScanINIText(text, kKeyComputer);
    manifest.header.logonUser = ScanINIText(text, kKeyLogonUser);
    manifest.header.identity = ScanINIText(text, kKeyIdentity);
    manifest.header.time = ScanINIText(text, kKeyTime);
    manifest.header.outlookVersion = ScanINIText(text, kKeyOutlookVersion);
    manifest.header.note = DecodeNote(ScanINIText(text, kKeyInformation));
    manifest.itemFlags = ScanINIText(text, kKeyItemFlags);
    manifest.valid = IsValidItemFlags(manifest.itemFlags);
    if (!manifest.valid) return manifest;
    for (int i = 0; i < kArchiveItemCount; ++i) {
        // An absent item is never looked up, even when its line is there.
        if (!ItemPresent(manifest.itemFlags, i)) continue;
        manifest.entries[static_cast<size_t>(i)] =
            CutAtNul(ScanINIText(text, kArchiveItems[static_cast<size_t>(i)].key));
    }
    return manifest;
}

}  // namespace kestrine::archive
