#include "app/policy.h"

#include "app/settings.h"
#include "base/path.h"
#include "base/text.h"
#include "platform/system.h"
#include "registry/registry.h"

namespace kestrine {

namespace {

constexpr const char* kDayNames[7] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

// The machine's value when it is usable, otherwise the user's.
template <typename T, typename Read>
std::optional<T> MachineBeforeUser(const PolicyKeys& keys, const Read& read) {
    if (auto value = read(keys.machine)) return value;
    return read(keys.user);
}

std::optional<bool> ReadSwitch(const PolicyKeys& keys, const char* name) {
    return MachineBeforeUser<bool>(keys, [name](const std::string& key) -> std::optional<bool> {
        auto value = registry::GetDwordValue(key, name);
        if (!value || *value > 1) return std::nullopt;
        return *value == 1;
    });
}

// A full path: a drive's ("C:\...") or a share's ("\\server\share..."), with no variable left.
bool IsFullFolder(const std::string& folder) {
    return folder.find('%') == std::string::npos && base::IsFullPath(folder);
}

std::optional<std::string> ReadFolder(const PolicyKeys& keys) {
    return MachineBeforeUser<std::string>(
        keys, [](const std::string& key) -> std::optional<std::string> {
            auto text = registry::GetTextValue(key, kPolicyBackupFolder);
            if (!text) return std::nullopt;
            std::string folder = base::TrimSpaces(platform::ExpandEnvironment(*text));
            folder = base::WithoutTrailingSeparators(folder);
            if (!IsFullFolder(folder)) return std::nullopt;
            return folder;
        });
}

bool IsTimeOfDay(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon < 1 || colon > 2 || text.size() != colon + 3) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (i != colon && (text[i] < '0' || text[i] > '9')) return false;
    const int hour = std::stoi(std::string(text.substr(0, colon)));
    const int minute = std::stoi(std::string(text.substr(colon + 1)));
    return hour < 24 && minute < 60;
}

}  // namespace

std::optional<std::array<bool, 7>> PolicyDays(std::string_view text) {
    std::array<bool, 7> days{};
    if (base::TrimSpaces(text) == "*") {
        days.fill(true);
        return days;
    }
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string name = base::TrimSpaces(text.substr(start, end - start));
        bool known = false;
        for (int day = 0; day < 7; ++day) {
            if (base::EqualsNoCase(name, kDayNames[day])) days[day] = known = true;
        }
        if (!known) return std::nullopt;
        start = end + 1;
    }
    return days;  // every name was a day's, and there was at least one
}

Policies ReadPolicies(const PolicyKeys& keys) {
    Policies policies;
    policies.backupFolder = ReadFolder(keys);
    policies.requirePassword = ReadSwitch(keys, kPolicyRequirePassword);
    policies.days = MachineBeforeUser<std::array<bool, 7>>(
        keys, [](const std::string& key) -> std::optional<std::array<bool, 7>> {
            auto text = registry::GetTextValue(key, kPolicyScheduleDays);
            return text ? PolicyDays(*text) : std::nullopt;
        });
    policies.startTime = MachineBeforeUser<std::string>(
        keys, [](const std::string& key) -> std::optional<std::string> {
            auto text = registry::GetTextValue(key, kPolicyScheduleTime);
            if (text) *text = base::TrimSpaces(*text);
            if (!text || !IsTimeOfDay(*text)) return std::nullopt;
            return text;
        });
    policies.keepNewest =
        MachineBeforeUser<int>(keys, [](const std::string& key) -> std::optional<int> {
            auto value = registry::GetDwordValue(key, kPolicyKeepNewest);
            if (!value || *value > kPolicyKeepNewestMax) return std::nullopt;
            return static_cast<int>(*value);
        });
    policies.closeOutlookForSchedule = ReadSwitch(keys, kPolicyCloseOutlook);
    policies.checkBackup = ReadSwitch(keys, kPolicyCheckBackup);
    return policies;
}

std::optional<std::string> Policies::SettingText(const SettingKey& key) const {
    auto same = [&key](const SettingKey& other) {
        return base::EqualsNoCase(key.section, other.section) &&
               base::EqualsNoCase(key.name, other.name);
    };
    auto flag = [](const std::optional<bool>& on) -> std::optional<std::string> {
        if (!on) return std::nullopt;
        return *on ? "1" : "0";
    };
    if (same(kBackupFolder)) return backupFolder;
    if (same(kCheckBackupFile)) return flag(checkBackup);
    if (same(kCloseOutlookForSchedule)) return flag(closeOutlookForSchedule);
    if (same(kKeepDatedBackups) && keepNewest) return std::to_string(*keepNewest);
    return std::nullopt;
}

std::string EffectiveSetting(const Policies& policies, const std::string& settingsFile,
                             const SettingKey& key) {
    if (auto text = policies.SettingText(key)) return *text;
    return ReadSetting(settingsFile, key);
}

std::string InPolicyFolder(const Policies& policies, const std::string& archivePath) {
    if (!policies.backupFolder || archivePath.empty()) return archivePath;
    return base::JoinPath(*policies.backupFolder, base::BaseName(archivePath));
}

}  // namespace kestrine
