#include "backup_format/manifest.h"

#include <algorithm>

#include "backup_format/backup_contents.h"
#include "base/line_file.h"
#include "base/text.h"
#include "base/utf.h"
#include "platform/text.h"

namespace kestrine::backup_format {

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

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

std::vector<std::string_view> SplitAt(std::string_view list, char separator) {
    std::vector<std::string_view> parts;
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t end = list.find(separator, pos);
        if (end == std::string_view::npos) end = list.size();
        if (end > pos) parts.push_back(list.substr(pos, end - pos));
        pos = end + 1;
    }
    return parts;
}

}  // namespace

std::string JoinStagingList(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& name : names) {
        if (!out.empty()) out += ';';
        for (char c : name) out += c == ';' ? '|' : c;
    }
    return out;
}

std::vector<std::string> SplitStagingList(std::string_view list) {
    std::vector<std::string> names;
    for (std::string_view part : SplitAt(list, ';')) names.push_back(DecodeEntryName(part));
    return names;
}

std::vector<std::string> DistinctEntryNames(const std::vector<std::string>& names) {
    std::vector<std::string> distinct;
    auto taken = [](const std::vector<std::string>& list, const std::string& candidate) {
        for (const auto& name : list)
            if (base::EqualsNoCase(name, candidate)) return true;
        return false;
    };
    for (const auto& name : names) {
        std::string entry = name;
        if (taken(distinct, name)) {
            const size_t dot = name.rfind('.');
            const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
            const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
            for (size_t n = 2; taken(distinct, entry) || taken(names, entry); ++n)
                entry = stem + " (" + std::to_string(n) + ")" + ext;
        }
        distinct.push_back(std::move(entry));
    }
    return distinct;
}

std::string DecodeEntryName(std::string_view value) {
    std::string name(value);
    for (char& c : name)
        if (c == '|') c = ';';
    return name;
}

std::string JoinDataFileStores(const DataFileStores& stores) {
    std::string out;
    for (const auto& [section, position] : stores) {
        // A name with a control character (a line end would cut the manifest line) is not written.
        const bool control = std::any_of(section.begin(), section.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
        });
        if (section.empty() || control || section.find_first_of(";:") != std::string::npos)
            continue;
        if (!out.empty()) out += ';';
        out += section + ':' + std::to_string(position + 1);
    }
    return out;
}

DataFileStores SplitDataFileStores(std::string_view value) {
    DataFileStores stores;
    for (std::string_view pair : SplitAt(value, ';')) {
        const size_t colon = pair.rfind(':');
        if (colon == 0 || colon == std::string_view::npos) continue;
        const std::string_view digits = pair.substr(colon + 1);
        if (digits.empty() || digits.size() > 6) continue;
        size_t position = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') {
                position = 0;
                break;
            }
            position = position * 10 + static_cast<size_t>(c - '0');
        }
        if (position == 0) continue;
        stores.emplace_back(std::string(pair.substr(0, colon)), position - 1);
    }
    return stores;
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
    if (ItemPresent(manifest.itemFlags, Item::DataFiles))
        manifest.dataFileStores = base::ScanINIText(text, kKeyDataFileStores);
    manifest.contents = base::ScanINIText(text, kKeyContents);
    return manifest;
}

std::string EncodeManifestFile(std::string_view text) {
    if (platform::FitsAnsi(text)) return platform::Utf8ToAnsi(text);
    std::string bytes(kUtf8Mark);
    return bytes.append("\r\n").append(text);
}

std::string DecodeManifestFile(std::string_view bytes) {
    if (!bytes.starts_with(kUtf8Mark)) return platform::AnsiToUtf8(bytes);
    bytes.remove_prefix(kUtf8Mark.size());
    // The mark's own line ends here; an empty line would end the scan before the first key.
    if (bytes.starts_with("\r")) bytes.remove_prefix(1);
    if (bytes.starts_with("\n")) bytes.remove_prefix(1);
    return std::string(bytes);
}

}  // namespace kestrine::backup_format
