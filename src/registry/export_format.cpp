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

namespace {

// The lines of an export file: a line ends at CR or CR LF (a lone LF belongs to the line), and an
// empty line ends the file.
class ExportLines {
  public:
    explicit ExportLines(std::string_view text) : text_(text) {}

    // The next line; nothing at the end.
    std::optional<std::string_view> Next() {
        if (pos_ >= text_.size() || text_[pos_] == '\r') return std::nullopt;
        auto end = text_.find('\r', pos_);
        if (end == std::string_view::npos) end = text_.size();
        std::string_view line = text_.substr(pos_, end - pos_);
        pos_ = end;
        if (pos_ < text_.size()) ++pos_;
        if (pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
        ++number_;
        return line;
    }
    // The 1-based number of the line Next gave last.
    size_t Number() const { return number_; }

  private:
    std::string_view text_;
    size_t pos_ = 0;
    size_t number_ = 0;
};

// A value line cut as earlier versions cut it, by characters: the name lies between the first
// character and the one before the first "=" (which must be the third character or later), the
// type is the three characters after "=", and the data follows the one character after the type.
// The text is UTF-8 here, so a character is a whole sequence, never a byte of one.
struct ValueLineParts {
    std::string_view name;
    std::string type;
    std::string_view data;
    // Extension lines begin with the placeholder name; an older file whose value name merely
    // contains "=hex" or "=key" keeps being skipped as a type nobody knows.
    bool extension = false;
};

// The parts of a value line, or why it has none (`why`).
std::optional<ValueLineParts> CutValueLine(std::string_view line, const char*& why) {
    auto eq = line.find('=');
    if (eq == std::string_view::npos) {
        why = "line without \"=\"";
        return std::nullopt;
    }
    const size_t nameStart = NextCharacter(line, 0);
    if (eq <= nameStart) {
        why = "\"=\" too early";
        return std::nullopt;
    }
    size_t nameEnd = nameStart;
    while (NextCharacter(line, nameEnd) < eq) nameEnd = NextCharacter(line, nameEnd);
    ValueLineParts parts;
    parts.name = line.substr(nameStart, nameEnd - nameStart);
    parts.type = base::TrimSpaces(line.substr(eq + 1, 3));
    parts.data = line.substr(NextCharacter(line, std::min(eq + 4, line.size())));
    parts.extension = line.substr(0, kExtensionName.size()) == kExtensionName;
    return parts;
}

// A "dw" value's four bytes; nothing when the number does not convert.
std::optional<std::vector<uint8_t>> DwordData(std::string_view data) {
    auto number = ParseInteger(data, INT32_MIN, INT32_MAX);
    if (!number) return std::nullopt;
    auto bits = static_cast<uint32_t>(static_cast<int32_t>(*number));
    return std::vector<uint8_t>{static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                                static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
}

// A "bin" value's bytes, written as decimal numbers between commas; nothing when one does not
// convert.
std::optional<std::vector<uint8_t>> BinaryData(std::string_view data) {
    std::vector<uint8_t> bytes;
    if (data.empty()) return bytes;
    size_t start = 0;
    while (true) {
        auto comma = data.find(',', start);
        auto part = data.substr(start, comma == std::string_view::npos ? data.npos : comma - start);
        auto byte = ParseInteger(part, 0, 255);
        if (!byte) return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(*byte));
        if (comma == std::string_view::npos) return bytes;
        start = comma + 1;
    }
}

// An extension value line's data, "<type>:<name>:<data>" (the type in hex digits, name and data
// as hex bytes); false when it is malformed.
bool ReadExtensionValue(std::string_view data, RegValue& value) {
    auto c1 = data.find(':');
    auto c2 = c1 == std::string_view::npos ? c1 : data.find(':', c1 + 1);
    if (c2 == std::string_view::npos) return false;
    std::string_view typeText = data.substr(0, c1);
    if (typeText.empty() || typeText.size() > 8) return false;
    uint32_t regType = 0;
    for (char c : typeText) {
        int d = HexDigit(c);
        if (d < 0) return false;
        regType = regType * 16 + static_cast<uint32_t>(d);
    }
    auto nameBytes = Unhex(data.substr(c1 + 1, c2 - c1 - 1));
    auto dataBytes = Unhex(data.substr(c2 + 1));
    if (!nameBytes || !dataBytes) return false;
    value.name.assign(nameBytes->begin(), nameBytes->end());
    if (!base::IsWellFormedUtf8(value.name)) return false;
    value.type = regType;
    value.data = std::move(*dataBytes);
    return true;
}

// The plan of one file, line by line; each line's reading returns why it is refused, or null.
class ExportReader {
  public:
    const char* KeyLine(std::string_view line) {
        if (HasControlCharacter(line)) return "control character in a key name";
        return OpenKey(line) ? nullptr : "bad key line";
    }

    const char* ValueLine(std::string_view line) {
        const char* why = nullptr;
        const auto parts = CutValueLine(line, why);
        if (!parts) return why;
        RegValue value;
        value.name = std::string(parts->name);
        if (parts->type == "sz" || parts->type == "esz") {
            value.type = parts->type == "sz" ? kRegSz : kRegExpandSz;
            value.data = StringData(parts->data);
        } else if (parts->type == "dw") {
            auto data = DwordData(parts->data);
            if (!data) return "bad number";
            value.type = kRegDword;
            value.data = std::move(*data);
        } else if (parts->type == "bin") {
            auto data = BinaryData(parts->data);
            if (!data) return "bad byte";
            value.type = kRegBinary;
            value.data = std::move(*data);
        } else if (parts->extension && parts->type == "hex") {
            if (!ReadExtensionValue(parts->data, value)) return "bad extension line";
        } else if (parts->extension && parts->type == "key") {
            return ExtensionKeyLine(parts->data);
        } else {
            return nullptr;  // a type this importer does not know
        }
        if (HasControlCharacter(value.name)) return "control character in a value name";
        if (!haveKey_)
            return nullptr;  // no key to write it into: earlier versions lost it the same way
        ImportStep step;
        step.kind = ImportStep::Kind::SetValue;
        step.value = std::move(value);
        steps_.push_back(std::move(step));
        return nullptr;
    }

    std::vector<ImportStep> TakeSteps() { return std::move(steps_); }

  private:
    // A key path in hex bytes, for a name that a plain key line cannot carry.
    const char* ExtensionKeyLine(std::string_view data) {
        auto path = Unhex(data);
        if (!path) return "bad extension line";
        std::string pathText(path->begin(), path->end());
        if (HasControlCharacter(pathText)) return "control character in a key name";
        if (pathText == "\\" || !base::IsWellFormedUtf8(pathText) || !OpenKey(pathText))
            return "bad extension line";
        return nullptr;
    }

    // Makes the key of `path` the current one ("\" replaces the whole tree); a path that repeats
    // the last one adds no step. False when it names no key below the import key.
    bool OpenKey(std::string_view path) {
        if (HasControlCharacter(path)) return false;
        if (path == lastKey_) return true;
        lastKey_ = std::string(path);
        ImportStep step;
        if (path == "\\") {
            step.kind = ImportStep::Kind::ReplaceTree;
        } else {
            auto relative = RelativeKeyPath(path);
            if (!relative) return false;
            step.kind = ImportStep::Kind::OpenKey;
            step.relativePath = *relative;
        }
        steps_.push_back(std::move(step));
        haveKey_ = true;
        return true;
    }

    std::vector<ImportStep> steps_;
    std::string lastKey_;
    bool haveKey_ = false;
};

}  // namespace

ImportPlan ParseExportText(std::string_view text) {
    ImportPlan plan;
    ExportLines lines(text);
    ExportReader reader;
    while (const auto line = lines.Next()) {
        const char* why = !base::IsWellFormedUtf8(*line) ? "not UTF-8 text"
                          : line->front() == '\\'        ? reader.KeyLine(*line)
                                                         : reader.ValueLine(*line);
        if (why) {
            plan.errorLine = lines.Number();
            plan.error = why;
            return plan;
        }
    }
    plan.ok = true;
    plan.steps = reader.TakeSteps();
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
