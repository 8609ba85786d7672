#include "registry/binary_path.h"

#include "base/utf.h"
#include "registry/registry.h"

namespace kestrine::registry {

std::u16string DecodeBinaryText(const std::vector<uint8_t>& data) {
    auto at = [&](size_t i) -> unsigned { return i < data.size() ? data[i] : 0u; };
    std::u16string out;
    bool pending = false;
    for (size_t i = 0; i < data.size(); ++i) {
        unsigned b = data[i];
        if (b == 0) continue;
        unsigned prev = i == 0 ? 0u : at(i - 1);
        if (!pending && at(i + 1) != 0) {
            pending = true;
        } else if (pending && prev != 0) {
            pending = false;
            out += static_cast<char16_t>(b * 256 + prev);
        } else {
            out += static_cast<char16_t>(b);
        }
    }
    return out;
}

std::string NonZeroBytes(const std::vector<uint8_t>& data) {
    std::string out;
    for (uint8_t b : data)
        if (b != 0) out += static_cast<char>(b);
    return out;
}

std::optional<std::string> ExtractDataFilePath(std::u16string_view text) {
    std::u16string_view path;
    auto drive = text.rfind(u":\\");
    if (drive != std::u16string_view::npos && drive >= 2) {
        path = text.substr(drive - 1);
    } else {
        auto unc = text.rfind(u"\\\\");
        if (unc != std::u16string_view::npos && unc >= 2) path = text.substr(unc);
    }
    if (path.empty()) return std::nullopt;
    return base::Utf16ToUtf8(path);
}

std::optional<std::string> DataFilePathIn(const std::vector<uint8_t>& data) {
    const size_t endAligned = data.size() % 2;
    for (size_t offset : {endAligned, 1 - endAligned}) {
        std::u16string text;
        for (size_t i = offset; i + 1 < data.size(); i += 2) {
            const auto unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
            if (unit != 0) text += unit;
        }
        if (auto path = ExtractDataFilePath(text)) return path;
    }
    return ExtractDataFilePath(DecodeBinaryText(data));
}

namespace {

void AppendHexByte(std::string& out, unsigned b) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (b >= 16) out += kDigits[b >> 4];
    out += kDigits[b & 15];
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// An image whose runs of "=" are collapsed to one.
std::string Collapse(std::string image) {
    std::string::size_type pos;
    while ((pos = image.find("==")) != std::string::npos) image.erase(pos, 1);
    return image;
}

}  // namespace

std::string HexImage(const std::vector<uint8_t>& data) {
    std::string out;
    for (size_t i = 0; i < data.size(); ++i) {
        if (i) out += '=';
        AppendHexByte(out, data[i]);
    }
    return out;
}

std::optional<std::vector<uint8_t>> ParseHexImage(std::string_view image) {
    std::vector<uint8_t> out;
    if (image.empty()) return out;
    size_t start = 0;
    while (true) {
        auto end = image.find('=', start);
        auto part = image.substr(start, end == std::string_view::npos ? image.npos : end - start);
        if (part.empty() || part.size() > 2) return std::nullopt;
        unsigned value = 0;
        for (char c : part) {
            int d = HexDigit(c);
            if (d < 0) return std::nullopt;
            value = value * 16 + static_cast<unsigned>(d);
        }
        out.push_back(static_cast<uint8_t>(value));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return out;
}

std::string Utf16PathImage(std::string_view utf8Path) {
    std::string out;
    for (char16_t c : base::Utf8ToUtf16(utf8Path)) {
        AppendHexByte(out, c & 0xFF);
        out += '=';
        AppendHexByte(out, c >> 8);
        out += '=';
    }
    return Collapse(out);
}

std::string SingleBytePathImage(std::string_view ansiPath) {
    std::string out;
    for (char c : ansiPath) {
        AppendHexByte(out, static_cast<unsigned char>(c));
        out += '=';
    }
    return Collapse(out);
}

std::string ReplaceInHexImage(std::string_view image, std::string_view oldImage,
                              std::string_view newImage, bool& changed) {
    changed = false;
    // Matching on "=" boundaries at both ends keeps "3=0=" from matching inside "43=0=".
    if (oldImage.empty()) return std::string(image);
    auto guarded = [](std::string_view part, bool closing) {
        std::string text;
        text.reserve(part.size() + 2);
        text.push_back('=');
        text.append(part.data(), part.size());
        if (closing && text.back() != '=') text.push_back('=');
        return text;
    };
    std::string text = guarded(image, true);
    std::string from = guarded(oldImage, true);
    std::string to = guarded(newImage, true);
    std::string out;
    size_t pos = 0;
    while (true) {
        auto hit = text.find(from, pos);
        if (hit == std::string::npos) break;
        out.append(text, pos, hit - pos);
        out += to;
        changed = true;
        // The match's closing "=" is the next match's opening one.
        pos = hit + from.size();
        out.pop_back();
        --pos;
    }
    out.append(text, pos, std::string::npos);
    // Strip the guards again.
    out = Collapse(out);
    if (!out.empty() && out.front() == '=') out.erase(0, 1);
    if (!out.empty() && out.back() == '=') out.pop_back();
    return out;
}

std::optional<std::vector<uint8_t>> ReplacePathInData(const std::vector<uint8_t>& data,
                                                      const std::string& oldPath,
                                                      const std::string& newPath,
                                                      const std::optional<std::string>& oldAnsi,
                                                      const std::optional<std::string>& newAnsi) {
    std::string image = HexImage(data);
    bool changed = false;
    std::string result =
        ReplaceInHexImage(image, Utf16PathImage(oldPath), Utf16PathImage(newPath), changed);
    if (!changed && oldAnsi && newAnsi)
        result = ReplaceInHexImage(image, SingleBytePathImage(*oldAnsi),
                                   SingleBytePathImage(*newAnsi), changed);
    if (!changed) return std::nullopt;
    return ParseHexImage(result);
}

}  // namespace kestrine::registry
