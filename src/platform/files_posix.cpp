// The POSIX twin of platform/files.h, for the native build of the engine. It keeps the Windows
// semantics the program relies on: the profile functions' 128-character field and the file's
// ANSI or UTF-16 form. A file without write permission stands for a read-only one; POSIX has no
// hidden or system files.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "base/path.h"
#include "base/text.h"
#include "base/utf.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/posix_hooks.h"
#include "platform/posix_path.h"
#include "platform/text.h"

namespace kestrine::platform::fileio {

bool NormalFileExists(const std::string& path) {
    return !path.empty() && IsFile(path);
}

bool SetNormalAttributes(const std::string& path) {
    struct stat st {};
    const std::string system = SystemPath(path);
    if (path.empty() || ::stat(system.c_str(), &st) != 0) return false;
    return ::chmod(system.c_str(), (st.st_mode & 07777) | S_IRUSR | S_IWUSR) == 0;
}

bool FolderIsWritable(const std::string& folder) {
    if (folder.empty() || InProtectedFolder(folder)) return false;
    const std::string probe =
        base::JoinPath(folder, "~kestrine.probe-" + std::to_string(::getpid()) + ".tmp");
    const int fd = ::open(SystemPath(probe).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(SystemPath(probe).c_str());
    return true;
}

bool ControlledFolderAccessBlocks(const std::string& folder) {
    return InProtectedFolder(folder) && ::access(SystemPath(folder).c_str(), W_OK) == 0;
}

bool MakePrivateFolder(const std::string& path) {
    return !path.empty() && ::mkdir(SystemPath(path).c_str(), 0700) == 0;
}

bool IsOwnPlainFolder(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(SystemPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::geteuid();
}

std::optional<uint64_t> FreeSpace(const std::string& folder) {
    if (folder.empty()) return std::nullopt;
    std::optional<uint64_t> free;
    struct statvfs fs {};
    if (::statvfs(SystemPath(folder).c_str(), &fs) == 0)
        free = static_cast<uint64_t>(fs.f_bavail) * fs.f_frsize;
    const auto& hook = Hooks().freeSpace;
    return hook ? hook(folder, free) : free;
}

bool IsOwnFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(SystemPath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           st.st_uid == ::geteuid();
}

bool AppendBytes(const std::string& path, const std::string& bytes) {
    if (path.empty()) return false;
    const int fd =
        ::open(SystemPath(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    return ::close(fd) == 0 && ok;
}

namespace {

// A profile file's text as UTF-8 lines, and the form it is stored in.
struct ProfileText {
    enum class Form { Ansi, Utf8, Utf16 } form = Form::Ansi;
    std::vector<std::string> lines;
};

constexpr std::string_view kUtf16Mark = "\xFF\xFE";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

ProfileText Decode(std::string_view bytes) {
    ProfileText profile;
    std::string text;
    if (bytes.starts_with(kUtf16Mark)) {
        profile.form = ProfileText::Form::Utf16;
        bytes.remove_prefix(kUtf16Mark.size());
        text =
            base::Utf16ToUtf8(base::BytesToUtf16(std::vector<uint8_t>(bytes.begin(), bytes.end())));
    } else if (bytes.starts_with(kUtf8Mark)) {
        profile.form = ProfileText::Form::Utf8;
        text = bytes.substr(kUtf8Mark.size());
    } else {
        text = AnsiToUtf8(bytes);
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        profile.lines.push_back(std::move(line));
        start = end + 1;
    }
    return profile;
}

std::string Encode(const ProfileText& profile) {
    std::string text;
    for (const auto& line : profile.lines) text += line + "\r\n";
    switch (profile.form) {
        case ProfileText::Form::Utf16: {
            const auto bytes = base::Utf16ToBytes(base::Utf8ToUtf16(text));
            return std::string(kUtf16Mark) + std::string(bytes.begin(), bytes.end());
        }
        case ProfileText::Form::Utf8:
            return std::string(kUtf8Mark) + text;
        case ProfileText::Form::Ansi:
            break;
    }
    return Utf8ToAnsi(text);
}

// "[name]" with spaces around: the section's name; nothing for other lines.
std::optional<std::string> SectionOf(const std::string& line) {
    const std::string trimmed = base::TrimSpaces(line);
    if (!trimmed.starts_with('[')) return std::nullopt;
    const size_t close = trimmed.find(']');
    if (close == std::string::npos) return std::nullopt;
    return base::TrimSpaces(std::string_view(trimmed).substr(1, close - 1));
}

// The key of a "key=value" line, trimmed; nothing for a line without "=".
std::optional<std::string> KeyOf(const std::string& line) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return std::nullopt;
    return base::TrimSpaces(std::string_view(line).substr(0, equals));
}

// The value as the profile functions return it: trimmed, and without quotes around it.
std::string ValueOf(const std::string& line) {
    std::string value = base::TrimSpaces(std::string_view(line).substr(line.find('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

// The lines [first, end) of the section `name`: the line after its header up to the next header.
struct SectionLines {
    size_t header = 0;
    size_t first = 0;
    size_t end = 0;
};
std::optional<SectionLines> FindSection(const ProfileText& profile, const std::string& name) {
    for (size_t i = 0; i < profile.lines.size(); ++i) {
        const auto section = SectionOf(profile.lines[i]);
        if (!section || !base::EqualsNoCase(*section, name)) continue;
        size_t end = i + 1;
        while (end < profile.lines.size() && !SectionOf(profile.lines[end])) ++end;
        return SectionLines{i, i + 1, end};
    }
    return std::nullopt;
}

std::optional<size_t> FindKey(const ProfileText& profile, const SectionLines& section,
                              const std::string& key) {
    for (size_t i = section.first; i < section.end; ++i) {
        const auto name = KeyOf(profile.lines[i]);
        if (name && base::EqualsNoCase(*name, key)) return i;
    }
    return std::nullopt;
}

// The first `units` UTF-16 units of `text`.
std::string FirstUnits(const std::string& text, size_t units) {
    std::u16string wide = base::Utf8ToUtf16(text);
    if (wide.size() <= units) return text;
    wide.resize(units);
    return base::Utf16ToUtf8(wide);
}

}  // namespace

std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key) {
    const auto bytes = ReadWholeFile(file);
    if (!bytes) return {};
    const ProfileText profile = Decode(*bytes);
    const auto lines = FindSection(profile, section);
    if (!lines) return {};
    const auto line = FindKey(profile, *lines, key);
    if (!line) return {};
    return base::CutAtNul(FirstUnits(ValueOf(profile.lines[*line]), kProfileFieldChars - 1));
}

bool WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value) {
    if (file.empty() || section.empty() || key.empty()) return false;
    ProfileText profile;
    if (Exists(file)) {
        const auto bytes = ReadWholeFile(file);
        if (!bytes) return false;
        profile = Decode(*bytes);
    }
    // Text without an ANSI form turns the whole file into UTF-16, which keeps every character.
    if (profile.form == ProfileText::Form::Ansi &&
        !(FitsAnsi(section) && FitsAnsi(key) && FitsAnsi(value)))
        profile.form = ProfileText::Form::Utf16;
    const std::string line = key + "=" + FirstUnits(value, kProfileFieldChars);
    if (const auto lines = FindSection(profile, section)) {
        if (const auto at = FindKey(profile, *lines, key)) {
            profile.lines[*at] = line;
        } else {
            size_t after = lines->end;
            while (after > lines->first && base::TrimSpaces(profile.lines[after - 1]).empty())
                --after;
            profile.lines.insert(profile.lines.begin() + static_cast<std::ptrdiff_t>(after), line);
        }
    } else {
        if (!profile.lines.empty() && !base::TrimSpaces(profile.lines.back()).empty())
            profile.lines.emplace_back();
        profile.lines.push_back("[" + section + "]");
        profile.lines.push_back(line);
    }
    const std::string bytes = Encode(profile);
    return ReplaceFileWhole(file, bytes, "KSS");
}

}  // namespace kestrine::platform::fileio
