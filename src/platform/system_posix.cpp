// The POSIX twin of platform/system.h, for the native build of the engine. The folders the shell
// would know come from the environment variables of the same names (APPDATA, LOCALAPPDATA,
// USERPROFILE), so a test points them at scratch folders; the Windows folders are the usual ones.
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string_view>

#include "base/path.h"
#include "base/text.h"
#include "platform/posix_hooks.h"
#include "platform/system.h"

namespace kestrine::platform {

base::SystemError LastSystemError() {
    const int code = errno;
    if (code == 0) return {};
    char buffer[256] = {};
    // The GNU strerror_r, which returns its text (in `buffer` or a static string).
    return {static_cast<uint32_t>(code), strerror_r(code, buffer, sizeof buffer)};
}

namespace {

// The environment's value of `name`, found without regard to case as on Windows.
const char* Lookup(const std::string& name) {
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view text = *entry;
        const size_t equals = text.find('=');
        if (equals != std::string_view::npos && base::EqualsNoCase(text.substr(0, equals), name))
            return *entry + equals + 1;
    }
    return nullptr;
}

std::string Variable(const char* name) {
    const char* value = Lookup(name);
    return value ? value : "";
}

}  // namespace

void LoadDllsFromSystemFolderOnly() {}

std::string RunningProgramPath() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::string ExeFolder() {
    return base::FolderPart(RunningProgramPath());
}

std::string ComputerName() {
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) return {};
    return base::TrimSpaces(base::CutAtNul(buffer));
}

std::string UserName() {
    if (const passwd* user = ::getpwuid(::geteuid())) return base::TrimSpaces(user->pw_name);
    return base::TrimSpaces(Variable("USER"));
}

// The form Samba gives a POSIX user: unique per user, as a Windows SID is.
std::string CurrentUserSid() {
    return "S-1-22-1-" + std::to_string(::geteuid());
}

std::string WindowsFolder() {
    return "C:\\Windows";
}

std::string SystemFolder() {
    return "C:\\Windows\\System32";
}

std::string CommandLineText() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string line;
    size_t start = 0;
    while (start < raw.size()) {
        size_t end = raw.find('\0', start);
        if (end == std::string::npos) end = raw.size();
        const std::string argument = raw.substr(start, end - start);
        if (!line.empty()) line += ' ';
        line += argument.find(' ') == std::string::npos ? argument : "\"" + argument + "\"";
        start = end + 1;
    }
    return line;
}

std::string ExpandEnvironment(const std::string& text) {
    // As Windows does: %Name% of a variable that is set becomes its value; anything else stays.
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const size_t open = text.find('%', i);
        const size_t close = open == std::string::npos ? open : text.find('%', open + 1);
        if (close == std::string::npos) break;
        out += text.substr(i, open - i);
        const std::string name = text.substr(open + 1, close - open - 1);
        const char* value = name.empty() ? nullptr : Lookup(name);
        if (value) {
            out += value;
            i = close + 1;
        } else {
            out += '%' + name;
            i = close;
        }
    }
    return out + text.substr(i);
}

std::string RoamingAppDataFolder() {
    return Variable("APPDATA");
}

std::string LocalAppDataFolder() {
    return Variable("LOCALAPPDATA");
}

std::string DocumentsFolder() {
    const std::string profile = Variable("USERPROFILE");
    return profile.empty() ? std::string() : base::JoinPath(profile, "Documents");
}

// No version resources here: what platform/posix_hooks.h says.
std::string FileVersion(const std::string& path) {
    const auto& version = Hooks().fileVersion;
    return version ? version(path) : std::string();
}

LocalTime Now() {
    const time_t now = std::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
}

// The form of a United States English locale: "12/7/2026 9:05:03 AM".
std::string LocaleDateTimeText(const LocalTime& time) {
    const int hour = time.hour % 12 == 0 ? 12 : time.hour % 12;
    char text[64];
    std::snprintf(text, sizeof text, "%d/%d/%d %d:%02d:%02d %s", time.month, time.day, time.year,
                  hour, time.minute, time.second, time.hour < 12 ? "AM" : "PM");
    return text;
}

std::string NowText() {
    return LocaleDateTimeText(Now());
}

}  // namespace kestrine::platform
