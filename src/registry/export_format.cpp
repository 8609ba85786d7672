#include "registry/export_format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "base/text.h"
#include "base/utf.h"

namespace kestrine::registry {

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr std::string_view kExtensionName = "\"*\"=";

std::string Hex(const uint8_t* bytes, size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}
std::string Hex(std::string_view text) {
    return Hex(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}
std::string Hex(const std::vector<uint8_t>& data) {
    return Hex(data.data(), data.size());
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::vector<uint8_t>> Unhex(std::string_view text) {
    if (text.size() % 2) return std::nullopt;
    std::vector<uint8_t> out;
    out.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return out;
}

// Text that a line can hold as it is: no line break or NUL, and an exact ANSI form.
bool PlainText(std::string_view text, const FitsAnsiFn& fitsAnsi) {
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return false;
    return base::IsWellFormedUtf8(text) && fitsAnsi(text);
}

// An importer takes the name up to the first "=", so a plain name holds neither "=" nor a quote.
bool PlainValueName(std::string_view name, const FitsAnsiFn& fitsAnsi) {
    return name.find_first_of("=\"") == std::string_view::npos && PlainText(name, fitsAnsi);
}

bool PlainKeyName(std::string_view name, const FitsAnsiFn& fitsAnsi) {
    return !name.empty() && name.find('\\') == std::string_view::npos && PlainText(name, fitsAnsi);
}

// The text of string data that " sz" / "esz" carry exactly: UTF-16 ending in its one terminator.
std::optional<std::string> PlainStringData(const std::vector<uint8_t>& data,
                                           const FitsAnsiFn& fitsAnsi) {
    if (data.size() < 2 || data.size() % 2) return std::nullopt;
    std::u16string units = base::BytesToUtf16(data);
    if (units.back() != 0) return std::nullopt;
    units.pop_back();
    if (!base::IsWellFormedUtf16(units)) return std::nullopt;
    std::string text = base::Utf16ToUtf8(units);
    if (!PlainText(text, fitsAnsi)) return std::nullopt;  // a zero inside the text too
    return text;
}

std::optional<std::string> PlainValueLine(const RegValue& value, const FitsAnsiFn& fitsAnsi) {
    if (!PlainValueName(value.name, fitsAnsi)) return std::nullopt;
    std::string head = "\"" + value.name + "\"=";
    switch (value.type) {
        case kRegSz:
        case kRegExpandSz: {
            auto text = PlainStringData(value.data, fitsAnsi);
            if (!text) return std::nullopt;
            return head + (value.type == kRegSz ? " sz:" : "esz:") + *text;
        }
        case kRegBinary: {
            std::string line = head + "bin:";
            for (size_t i = 0; i < value.data.size(); ++i) {
                if (i) line += ',';
                line += std::to_string(value.data[i]);
            }
            return line;
        }
        case kRegDword: {
            if (value.data.size() != 4) return std::nullopt;
            uint32_t bits = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                            (static_cast<uint32_t>(value.data[3]) << 24);
            int32_t number;
            std::memcpy(&number, &bits, sizeof number);
            return head + " dw:" + std::to_string(number);
        }
        default:
            return std::nullopt;
    }
}

std::string ExtensionValueLine(const RegValue& value) {
    char type[16];
    std::snprintf(type, sizeof type, "%x", static_cast<unsigned>(value.type));
    return std::string(kExtensionName) + "hex:" + type + ":" + Hex(value.name) + ":" +
           Hex(value.data);
}

void WriteKey(std::string& out, const RegKeyTree& key, const std::string& relativePath, bool plain,
              const FitsAnsiFn& fitsAnsi) {
    if (relativePath.empty())
        out += "\\";
    else if (plain)
        out += relativePath;
    else
        out += std::string(kExtensionName) + "key:" + Hex(relativePath);
    out += kCrLf;
    for (const auto& value : key.values) {
        std::optional<std::string> line;
        if (plain) line = PlainValueLine(value, fitsAnsi);
        out += line ? *line : ExtensionValueLine(value);
        out += kCrLf;
    }
    for (const auto& sub : key.subkeys)
        WriteKey(out, sub, relativePath + "\\" + sub.name,
                 plain && PlainKeyName(sub.name, fitsAnsi), fitsAnsi);
}

// Where the UTF-8 character at `pos` ends (the text's end at the latest).
size_t NextCharacter(std::string_view text, size_t pos) {
    if (pos >= text.size()) return text.size();
    ++pos;
    while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) ++pos;
    return pos;
}

// Optional sign and decimal digits, within [min, max].
std::optional<int64_t> ParseInteger(std::string_view text, int64_t min, int64_t max) {
    const std::string trimmed = base::TrimSpaces(text);
    text = trimmed;
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > max + 1) return std::nullopt;  // keeps far-out numbers from overflowing
    }
    if (negative) value = -value;
    if (value < min || value > max) return std::nullopt;
    return value;
}

std::vector<uint8_t> StringData(std::string_view text) {
    auto data = base::Utf16ToBytes(base::Utf8ToUtf16(text));
    data.push_back(0);
    data.push_back(0);
    return data;
}

// A relative key path "\A\B" as "A\B"; nothing when a component is empty.
std::optional<std::string> RelativeKeyPath(std::string_view line) {
    if (line.size() < 2 || line.front() != '\\') return std::nullopt;
    std::string_view rest = line.substr(1);
    size_t start = 0;
    while (true) {
        auto end = rest.find('\\', start);
        auto part = rest.substr(start, end == std::string_view::npos ? rest.npos : end - start);
        if (part.empty()) return std::nullopt;
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return std::string(rest);
}

// Key and value names with control characters would break the line files that carry them later
// (a CR or LF in a key name ends a manifest line), so the importer takes none.
bool HasControlCharacter(std::string_view name) {
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

}  // namespace

std::string WriteExportText(const RegKeyTree& tree, const FitsAnsiFn& fitsAnsi) {
    std::string out;
    WriteKey(out, tree, "", true, fitsAnsi);
    return out;
}

ImportPlan ParseExportText(std::string_view text) {
    ImportPlan plan;
    auto fail = [&](size_t line, std::string why) {
        plan.ok = false;
        plan.errorLine = line;
        plan.error = std::move(why);
        plan.steps.clear();
        return plan;
    };
    std::string lastHeader;
    bool haveKey = false;
    size_t pos = 0;
    size_t lineNo = 0;
    // A line ends at CR or CR LF; a lone LF belongs to the line. An empty line ends the file.
    while (pos < text.size() && text[pos] != '\r') {
        auto end = text.find('\r', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end;
        if (pos < text.size()) ++pos;
        if (pos < text.size() && text[pos] == '\n') ++pos;
        ++lineNo;
        if (!base::IsWellFormedUtf8(line)) return fail(lineNo, "not UTF-8 text");

        auto header = [&](std::string_view path) -> bool {
            if (HasControlCharacter(path)) return false;
            if (path == lastHeader) return true;
            lastHeader = std::string(path);
            ImportStep step;
            if (path == "\\") {
                step.kind = ImportStep::Kind::ReplaceTree;
            } else {
                auto relative = RelativeKeyPath(path);
                if (!relative) return false;
                step.kind = ImportStep::Kind::OpenKey;
                step.relativePath = *relative;
            }
            plan.steps.push_back(std::move(step));
            haveKey = true;
            return true;
        };

        if (line.front() == '\\') {
            if (HasControlCharacter(line)) return fail(lineNo, "control character in a key name");
            if (!header(line)) return fail(lineNo, "bad key line");
            continue;
        }
        // Every other line is a value line, read by characters as earlier versions read it: the
        // name lies between the first character and the one before the first "=" (which must be the
        // third character or later), the type is the three characters after "=", and the data
        // follows the one character after the type. The text is UTF-8 here, so a character is a
        // whole sequence, never a byte of one.
        auto eq = line.find('=');
        if (eq == std::string_view::npos) return fail(lineNo, "line without \"=\"");
        const size_t nameStart = NextCharacter(line, 0);
        if (eq <= nameStart) return fail(lineNo, "\"=\" too early");
        size_t nameEnd = nameStart;
        while (NextCharacter(line, nameEnd) < eq) nameEnd = NextCharacter(line, nameEnd);
        std::string_view name = line.substr(nameStart, nameEnd - nameStart);
        const std::string type = base::TrimSpaces(line.substr(eq + 1, 3));
        const size_t dataStart = NextCharacter(line, std::min(eq + 4, line.size()));
        std::string_view data = line.substr(dataStart);

        // Extension lines begin with the placeholder name; an older file whose value name merely
        // contains "=hex" or "=key" keeps being skipped as a type nobody knows.
        const bool extension = line.substr(0, kExtensionName.size()) == kExtensionName;
        RegValue value;
        value.name = std::string(name);
        if (type == "sz" || type == "esz") {
            value.type = type == "sz" ? kRegSz : kRegExpandSz;
            value.data = StringData(data);
        } else if (type == "dw") {
            auto number = ParseInteger(data, INT32_MIN, INT32_MAX);
            if (!number) return fail(lineNo, "bad number");
            auto bits = static_cast<uint32_t>(static_cast<int32_t>(*number));
            value.type = kRegDword;
            value.data = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                          static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
        } else if (type == "bin") {
            value.type = kRegBinary;
            if (!data.empty()) {
                size_t start = 0;
                while (true) {
                    auto comma = data.find(',', start);
                    auto part = data.substr(
                        start, comma == std::string_view::npos ? data.npos : comma - start);
                    auto byte = ParseInteger(part, 0, 255);
                    if (!byte) return fail(lineNo, "bad byte");
                    value.data.push_back(static_cast<uint8_t>(*byte));
                    if (comma == std::string_view::npos) break;
                    start = comma + 1;
                }
            }
        } else if (extension && type == "hex") {
            // <type>:<name>:<data>
            auto c1 = data.find(':');
            auto c2 = c1 == std::string_view::npos ? c1 : data.find(':', c1 + 1);
            if (c2 == std::string_view::npos) return fail(lineNo, "bad extension line");
            std::string_view typeText = data.substr(0, c1);
            if (typeText.empty() || typeText.size() > 8) return fail(lineNo, "bad extension line");
            uint32_t regType = 0;
            for (char c : typeText) {
                int d = HexDigit(c);
                if (d < 0) return fail(lineNo, "bad extension line");
                regType = regType * 16 + static_cast<uint32_t>(d);
            }
            auto nameBytes = Unhex(data.substr(c1 + 1, c2 - c1 - 1));
            auto dataBytes = Unhex(data.substr(c2 + 1));
            if (!nameBytes || !dataBytes) return fail(lineNo, "bad extension line");
            value.name.assign(nameBytes->begin(), nameBytes->end());
            if (!base::IsWellFormedUtf8(value.name)) return fail(lineNo, "bad extension line");
            value.type = regType;
            value.data = std::move(*dataBytes);
        } else if (extension && type == "key") {
            auto path = Unhex(data);
            if (!path) return fail(lineNo, "bad extension line");
            std::string pathText(path->begin(), path->end());
            if (HasControlCharacter(pathText))
                return fail(lineNo, "control character in a key name");
            if (pathText == "\\" || !base::IsWellFormedUtf8(pathText) || !header(pathText))
                return fail(lineNo, "bad extension line");
            continue;
        } else {
            continue;  // a type this importer does not know
        }
        if (HasControlCharacter(value.name))
            return fail(lineNo, "control character in a value name");
        if (!haveKey) continue;  // no key to write it into: earlier versions lost it the same way
        ImportStep step;
        step.kind = ImportStep::Kind::SetValue;
        step.value = std::move(value);
        plan.steps.push_back(std::move(step));
    }
    plan.ok = true;
    return plan;
}

void ApplyImportPlan(RegKeyTree& tree, const std::vector<ImportStep>& steps) {
    RegKeyTree* current = nullptr;
    for (const auto& step : steps) {
        switch (step.kind) {
            case ImportStep::Kind::ReplaceTree:
                tree.values.clear();
                tree.subkeys.clear();
                current = &tree;
                break;
            case ImportStep::Kind::OpenKey: {
                RegKeyTree* node = &tree;
                std::string_view rest = step.relativePath;
                while (true) {
                    auto slash = rest.find('\\');
                    std::string_view part = rest.substr(0, slash);
                    RegKeyTree* next = nullptr;
                    for (auto& sub : node->subkeys)
                        if (base::EqualsNoCase(sub.name, part)) next = &sub;
                    if (!next) {
                        node->subkeys.push_back(RegKeyTree{std::string(part), {}, {}});
                        next = &node->subkeys.back();
                    }
                    node = next;
                    if (slash == std::string_view::npos) break;
                    rest.remove_prefix(slash + 1);
                }
                current = node;
                break;
            }
            case ImportStep::Kind::SetValue: {
                if (!current) break;
                bool found = false;
                for (auto& value : current->values) {
                    if (base::EqualsNoCase(value.name, step.value.name)) {
                        value.type = step.value.type;
                        value.data = step.value.data;
                        found = true;
                    }
                }
                if (!found) current->values.push_back(step.value);
                break;
            }
        }
    }
}

}  // namespace kestrine::registry
