#pragma once
// Value data as the registry stores it, for the registry tests.
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/utf.h"
#include "registry/export_format.h"

namespace kestrine::registry {

// UTF-16LE text with its terminator.
inline std::vector<uint8_t> Utf16Data(std::u16string_view text) {
    auto data = base::Utf16ToBytes(text);
    data.insert(data.end(), {0, 0});
    return data;
}
inline std::vector<uint8_t> Sz(std::string_view utf8) {
    return Utf16Data(base::Utf8ToUtf16(utf8));
}
inline std::vector<uint8_t> Dword(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}
// Values and keys of every kind: those the plain lines of an export file carry, those only its
// extension lines carry (names with "=" or quotes, line breaks in data, names outside the ANSI code
// page, odd data sizes, unknown types), nested keys among them.
inline RegKeyTree EveryKindOfValue() {
    RegKeyTree tree;
    std::vector<uint8_t> big(100 * 1024);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
    tree.values = {
        {"", kRegSz, Sz("default")},
        {"sz", kRegSz, Sz("text with  spaces ")},
        {"esz", kRegExpandSz, Sz("%TEMP%")},
        {"bin", kRegBinary, {0, 1, 2, 255}},
        {"emptybin", kRegBinary, {}},
        {"big", kRegBinary, big},
        {"dw", kRegDword, Dword(0x80000000)},
        {"qw", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"multi", kRegMultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
        {"none", kRegNone, {9}},
        {"emptynone", kRegNone, {}},
        {"emptysz", kRegSz, {}},
        {"noterminator", kRegSz, {'a', 0}},
        {"odd", kRegSz, {'a', 0, 0}},
        {"inner nul", kRegSz, {'a', 0, 0, 0, 'b', 0, 0, 0}},
        {"a=b", kRegSz, Sz("eq")},
        {"\"quoted\"", kRegSz, Sz("q")},
        {"lines", kRegSz, Sz("one\r\ntwo\nthree\r")},
        {"\xE6\x97\xA5\xE6\x9C\xAC", kRegSz, Sz("\xE2\x82\xAC \xF0\x9F\x98\x80")},
        {"type 99", 99, {1, 2, 3}},
    };
    RegKeyTree nonAnsi{"\xD0\x9A\xD0\xBB\xD1\x8E\xD1\x87",
                       {{"v", kRegDword, Dword(1)}, {"", kRegSz, Sz("d")}},
                       {RegKeyTree{"Deeper", {{"w", kRegBinary, {5}}}, {}}}};
    RegKeyTree plain{"Plain = \"ok\"", {{"x", kRegSz, Sz("y")}}, {RegKeyTree{"Nested", {}, {}}}};
    tree.subkeys = {plain, nonAnsi, RegKeyTree{"After", {{"z", kRegDword, Dword(3)}}, {}}};
    return tree;
}

}  // namespace kestrine::registry
