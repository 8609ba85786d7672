#pragma once
// The registry toolkit: every registry access by full key path ("HKEY_CURRENT_USER\Software\...").
// Each operation opens the key it needs, does one thing and closes it again. Text is UTF-8.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrine::registry {

// Root name -> predefined handle value (0x80000000 ...), 0 for an unknown name.
uint32_t GetRootKey(const std::string& rootName);

struct ParsedKey {
    uint32_t root = 0;   // 0: the path cannot be opened
    std::string subkey;  // empty: the root key itself
};
// Splits a full key path. A path that does not begin with "HKEY_" or ends with "\" gives root 0,
// which every operation treats as a key that cannot be opened.
ParsedKey ParseKey(const std::string& fullPath);

bool KeyExists(const std::string& fullPath);
// The value's text; nothing when the key or value cannot be read.
std::optional<std::string> GetStringValue(const std::string& fullPath,
                                          const std::string& valueName);
// The same for a machine-wide setting: where the native view lacks the value, the registry's 32-bit
// view, in which 32-bit programs on 64-bit Windows (32-bit Office among them) write theirs.
std::optional<std::string> GetMachineStringValue(const std::string& fullPath,
                                                 const std::string& valueName);
// A REG_DWORD value of exactly four bytes; nothing for any other type or size.
std::optional<uint32_t> GetDwordValue(const std::string& fullPath, const std::string& valueName);
// A REG_SZ or REG_EXPAND_SZ value whole (no field limit, not expanded, cut at its first NUL);
// nothing for any other type or text that is not well-formed UTF-16.
std::optional<std::string> GetTextValue(const std::string& fullPath, const std::string& valueName);
// Writes the text as REG_SZ into an existing key; false when it was not written.
bool SetStringValue(const std::string& fullPath, const std::string& valueName,
                    const std::string& text);
// True when the value is not there afterwards (a value or key that never was counts as deleted).
bool DeleteValue(const std::string& fullPath, const std::string& valueName);
// Deletes a key that has no subkeys; false when it could not be deleted (or does not exist).
bool DeleteKey(const std::string& fullPath);

// Subkey names in enumeration order. `failed` is set when the listing ended on an error other than
// "no more items" (the names read before it are kept); a key that cannot be opened is an empty
// list.
struct SubKeyList {
    std::vector<std::string> names;
    bool failed = false;
};
SubKeyList EnumSubKeys(const std::string& fullPath);
// Deletes the key and everything below it, children first. False when a listing failed or the key
// is still there afterwards; a key that does not exist counts as deleted.
bool DeleteKeyTree(const std::string& fullPath);

// The data file path a REG_BINARY value of exactly this name ends with (binary_path.h); nothing
// when there is no such value or it holds no path. GetBinaryPath reads the data as UTF-16LE,
// GetBinaryPathViaFile as ANSI text.
std::optional<std::string> GetBinaryPath(const std::string& fullPath, const std::string& valueName);
std::optional<std::string> GetBinaryPathViaFile(const std::string& fullPath,
                                                const std::string& valueName);
// The text a REG_BINARY value holds up to its first NUL (a MAPI text property: UTF-16LE when
// `wide`, else ANSI); nothing when there is no such value or it holds no text.
std::optional<std::string> GetBinaryText(const std::string& fullPath, const std::string& valueName,
                                         bool wide);
// Rewrites the path inside the named REG_BINARY value. A value that does not hold the old path is
// written back as it was.
enum class PathRewrite {
    Rewritten,
    NoValue,       // no REG_BINARY value of that name: nothing to rewrite
    PathNotFound,  // the value holds the old path in neither form
    WriteFailed,
};
PathRewrite ReplaceBinaryPath(const std::string& fullPath, const std::string& valueName,
                              const std::string& oldPath, const std::string& newPath);

// Registry export files: ExportKey writes the tree below the key into `fileName` (replacing the
// file whole; a key that cannot be read still gives the file with its top line, a subkey that
// cannot be opened its key line alone, which is no fault); false when the key could not be read,
// a listing failed or the file was not written. ImportKey reads and checks the whole file
// first and only then replaces the tree at the key; false, and the tree as it was, for a malformed
// file, a tree that cannot be read beforehand (it could not be put back), a root key, or a registry
// write that fails midway (the old tree is put back).
// `written`, when given, receives the bytes written into the file.
bool ExportKey(const std::string& fullPath, const std::string& fileName,
               std::string* written = nullptr);
bool ImportKey(const std::string& fullPath, const std::string& fileName);
// True when ImportKey would take the file (it reads and is well formed).
bool ExportFileIsImportable(const std::string& fileName);

}  // namespace kestrine::registry
