// The code pages of a Western Windows system, for the native build of the portable core:
// Windows-1252 as the ANSI code page and 437 as the OEM code page.
#include <cstdint>

#include "base/utf.h"
#include "platform/text.h"

namespace kestrine::platform {

namespace {

// Windows-1252 0x80..0x9F; 0 marks the five unassigned bytes. 0xA0..0xFF are Latin-1.
constexpr uint16_t kAnsiHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr uint16_t kOemHigh[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

char16_t AnsiCodePoint(unsigned char c) {
    if (c < 0x80 || c >= 0xA0) return c;
    uint16_t cp = kAnsiHigh[c - 0x80];
    return cp != 0 ? cp : c;  // an unassigned byte maps to the control character of that value
}

// The ANSI byte of a UTF-16 code unit, or -1 when the code page lacks it.
int AnsiByte(char16_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (int k = 0; k < 32; ++k) {
        if (kAnsiHigh[k] != 0 && kAnsiHigh[k] == cp) return 0x80 + k;
        if (kAnsiHigh[k] == 0 && cp == 0x80 + k) return 0x80 + k;
    }
    return -1;
}

}  // namespace

std::string Utf8ToAnsi(std::string_view utf8) {
    std::string out;
    for (char16_t unit : base::Utf8ToUtf16(utf8)) {
        int byte = AnsiByte(unit);
        out.push_back(byte < 0 ? '?' : static_cast<char>(byte));
    }
    return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
    std::u16string units;
    for (char c : ansi) units.push_back(AnsiCodePoint(static_cast<unsigned char>(c)));
    return base::Utf16ToUtf8(units);
}

bool FitsAnsi(std::string_view utf8) {
    if (!base::IsWellFormedUtf8(utf8)) return false;
    for (char16_t unit : base::Utf8ToUtf16(utf8))
        if (AnsiByte(unit) < 0) return false;
    return true;
}

std::string OemToUtf8(std::string_view oem) {
    std::u16string units;
    for (char ch : oem) {
        auto c = static_cast<unsigned char>(ch);
        units.push_back(c < 0x80 ? c : kOemHigh[c - 0x80]);
    }
    return base::Utf16ToUtf8(units);
}

}  // namespace kestrine::platform
