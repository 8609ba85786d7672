#include "backup_format/backup_contents.h"

#include <cstdio>

#include "base/utf.h"

namespace kestrine::backup_format {

namespace {

std::string Escape(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '%' || c == ';' || byte < 0x20 || byte == 0x7f) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> Unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = HexDigit(text[i + 1]), low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::optional<uint64_t> ParseSize(std::string_view digits) {
    if (digits.size() > 19) return std::nullopt;
    uint64_t size = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        size = size * 10 + static_cast<uint64_t>(c - '0');
    }
    return size;
}

}  // namespace

std::string EncodeContents(const BackupContents& contents) {
    std::string out;
    auto record = [&out](char kind, const std::string& size, std::string_view name) {
        if (!out.empty()) out += ';';
        out += kind;
        out.append(size).append(":").append(Escape(name));
    };
    for (const auto& f : contents.dataFiles) record('D', std::to_string(f.size), f.name);
    for (const auto& a : contents.serverAccounts) record('S', {}, a);
    for (const auto& f : contents.unattached) record('U', std::to_string(f.size), f.name);
    for (const auto& f : contents.missing) record('M', {}, f.name);
    return out;
}

std::optional<BackupContents> DecodeContents(std::string_view value) {
    if (value.empty()) return std::nullopt;
    BackupContents contents;
    size_t pos = 0, records = 0;
    while (pos <= value.size()) {
        if (++records > kMaxContentsRecords) return std::nullopt;
        size_t end = value.find(';', pos);
        if (end == std::string_view::npos) end = value.size();
        const std::string_view record = value.substr(pos, end - pos);
        pos = end + 1;
        const size_t colon = record.find(':');
        if (record.empty() || colon == std::string_view::npos) return std::nullopt;
        const auto size = ParseSize(record.substr(1, colon - 1));
        const auto name = Unescape(record.substr(colon + 1));
        if (!size || !name || name->empty() || !base::IsWellFormedUtf8(*name)) return std::nullopt;
        switch (record[0]) {
            case 'D':
                contents.dataFiles.push_back({*name, *size});
                break;
            case 'S':
                contents.serverAccounts.push_back(*name);
                break;
            case 'U':
                contents.unattached.push_back({*name, *size});
                break;
            case 'M':
                contents.missing.push_back({*name, 0});
                break;
            default:
                return std::nullopt;
        }
    }
    return contents;
}

std::string SizeText(uint64_t bytes) {
    char text[32];
    if (bytes >= (uint64_t{1} << 30))
        std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / (1 << 30));
    else if (bytes >= (uint64_t{1} << 20))
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1 << 20));
    else if (bytes >= 1024)
        std::snprintf(text, sizeof text, "%llu KB", static_cast<unsigned long long>(bytes / 1024));
    else
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    return text;
}

namespace {

// A name as one line of plain text: a control character (a line break among them) or a mark that
// turns the direction of the text would let a name read as something else, or as lines of its
// own; each is shown as U+FFFD.
std::string Shown(std::string_view name) {
    static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    auto at = [&name](size_t i) {
        return i < name.size() ? static_cast<unsigned char>(name[i]) : 0;
    };
    std::string out;
    for (size_t i = 0; i < name.size();) {
        const unsigned char c = at(i);
        size_t hidden = 0;  // the length of a sequence not to show
        if (c < 0x20 || c == 0x7f)
            hidden = 1;
        else if ((c == 0xC2 && at(i + 1) >= 0x80 && at(i + 1) <= 0x9F) ||  // U+0080..U+009F
                 (c == 0xD8 && at(i + 1) == 0x9C))                         // U+061C
            hidden = 2;
        else if (c == 0xE2 && ((at(i + 1) == 0x80 && (at(i + 2) == 0x8E || at(i + 2) == 0x8F ||
                                                      (at(i + 2) >= 0xAA && at(i + 2) <= 0xAE))) ||
                               (at(i + 1) == 0x81 && at(i + 2) >= 0xA6 && at(i + 2) <= 0xA9)))
            hidden = 3;  // U+200E, U+200F, U+202A..U+202E, U+2066..U+2069
        if (hidden) {
            out += kReplacement;
            i += hidden;
        } else {
            out += name[i++];
        }
    }
    return out;
}

}  // namespace

std::vector<std::string> DescribeContents(const BackupContents& contents) {
    std::vector<std::string> lines;
    if (contents.dataFiles.empty()) lines.push_back("Data files included: none.");
    for (const auto& f : contents.dataFiles)
        lines.push_back("Data file included: " + Shown(f.name) + " (" + SizeText(f.size) + ").");
    for (const auto& a : contents.serverAccounts)
        lines.push_back("Mail of " + Shown(a) +
                        " stays on the server and is not in this backup; its offline store "
                        "(.ost) works only in the profile and on the computer that made it.");
    for (const auto& f : contents.missing)
        lines.push_back("Data file missing, not included: " + Shown(f.name) + ".");
    for (const auto& f : contents.unattached)
        lines.push_back("Not included, not used by this profile: " + Shown(f.name) + " (" +
                        SizeText(f.size) + ").");
    lines.push_back(kPasswordsNote);
    return lines;
}

}  // namespace kestrine::backup_format
