#pragma once
// The registry export file: the text form of a key tree carried inside backup archives.
//
//   \                      the exported key
//   "Name"= sz:Outlook     its values: " sz", "esz", "bin" (decimal bytes), " dw" (signed decimal)
//   \Sub                   a subkey, by its path below the exported key
//
// Values and keys that those lines cannot carry exactly use extension lines that look like value
// lines of an unknown type, which older importers skip:
//   "*"=hex:<type in hex>:<name as hex of UTF-8>:<data as hex>
//   "*"=key:<relative path "\A\B" as hex of UTF-8>
// A key written as a "key" line has all its values, and its subkeys, written as extension lines
// too, so that an older importer never puts them into the wrong key.
//
// The functions here work on UTF-8 text; the Windows side converts the file from and to the ANSI
// code page. Every character outside the extension lines' hex fits that code page.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrine::registry {

inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegQword = 11;

// A value as the registry stores it: string types hold UTF-16LE bytes with their terminator.
struct RegValue {
    std::string name;  // UTF-8; empty: the key's default value
    uint32_t type = kRegNone;
    std::vector<uint8_t> data;
    bool operator==(const RegValue&) const = default;
};

struct RegKeyTree {
    std::string name;  // UTF-8; unused for the top key
    std::vector<RegValue> values;
    std::vector<RegKeyTree> subkeys;
    bool operator==(const RegKeyTree&) const = default;
};

// Whether a UTF-8 text has an exact form in the ANSI code page.
using FitsAnsiFn = std::function<bool(std::string_view)>;

// The whole file as UTF-8 text, lines ended by CR LF.
std::string WriteExportText(const RegKeyTree& tree, const FitsAnsiFn& fitsAnsi);

// One step of an import, in file order.
struct ImportStep {
    enum class Kind {
        ReplaceTree,  // delete the tree at the import key, recreate it, make it the current key
        OpenKey,      // create or open import key + "\" + relativePath, make it the current key
        SetValue,     // write `value` into the current key
    };
    Kind kind = Kind::SetValue;
    std::string relativePath;  // OpenKey: "A\B" (no leading backslash)
    RegValue value;
};

struct ImportPlan {
    bool ok = false;
    size_t errorLine = 0;  // 1-based line of the first fault
    std::string error;
    std::vector<ImportStep> steps;
};

// Reads and checks a whole file (UTF-8 text). Reading stops at the end or at the first empty line;
// lines end with CR LF or CR. A line that does not begin with a backslash is a value line, whatever
// its first character. Value lines of unknown types, and value lines before the first key line,
// are skipped. A line without "=" or with it before the third character, a number or byte that
// does not convert, a malformed key line or extension line, and a line that is not well-formed
// UTF-8 make the plan fail, so that nothing is applied.
ImportPlan ParseExportText(std::string_view text);

// Applies a plan to a tree held in memory (names compared without regard to ASCII case, like the
// registry does).
void ApplyImportPlan(RegKeyTree& tree, const std::vector<ImportStep>& steps);

}  // namespace kestrine::registry
