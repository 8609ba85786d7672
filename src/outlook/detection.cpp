#include "outlook/detection.h"

#include "base/text.h"
#include "outlook/profile_data.h"

namespace kestrine::outlook {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

struct Release {
    int major;
    const char* name;
    const char* version;
};

// There was never an Outlook 13.
constexpr Release kReleases[] = {
    {8, "Outlook 97", "8.0"},     {9, "Outlook 2000", "9.0"},   {10, "Outlook 2002(XP)", "10.0"},
    {11, "Outlook 2003", "11.0"}, {12, "Outlook 2007", "12.0"}, {14, "Outlook 2010", "14.0"},
    {15, "Outlook 2013", "15.0"}, {16, "Outlook 2016", "16.0"},
};

}  // namespace

double ReadAsNumber(std::string_view text) {
    const std::string trimmed = base::TrimSpaces(text);
    text = trimmed;
    double value = 0;
    size_t i = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) value = value * 10 + (text[i] - '0');
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && IsDigit(text[i]); ++i, scale /= 10) {
            value += (text[i] - '0') * scale;
        }
    }
    return value;
}

std::string CutOSVersion(std::string_view wmiVersion) {
    size_t dot = wmiVersion.find('.');
    if (dot == std::string_view::npos) return std::string(wmiVersion);
    return std::string(wmiVersion.substr(0, dot + 2));
}

std::optional<OutlookRelease> LookupOutlookRelease(std::string_view versionText) {
    std::string_view major = versionText.substr(0, versionText.find('.'));
    if (major.empty() || major.size() > 4) return std::nullopt;
    int number = 0;
    for (char c : major) {
        if (!IsDigit(c)) return std::nullopt;
        number = number * 10 + (c - '0');
    }
    for (const Release& r : kReleases) {
        if (r.major == number) return OutlookRelease{r.name, r.version};
    }
    return std::nullopt;
}

std::string ProfilesRootFor(std::string_view outlookVersion) {
    if (ReadAsNumber(outlookVersion) >= 15) {
        return std::string(kOfficeKey) + "\\" + std::string(outlookVersion) + "\\Outlook\\Profiles";
    }
    return kMessagingProfilesRoot;
}

bool IsBlankName(std::string_view name) {
    for (char c : name) {
        if (c != '\0' && c != ' ') return false;
    }
    return true;
}

std::vector<std::string> UsableProfileNames(const std::vector<std::string>& subkeyNames) {
    std::vector<std::string> names;
    for (const auto& name : subkeyNames) {
        if (!IsBlankName(name)) names.push_back(name);
    }
    return names;
}

bool UsesAppDataLayout(std::string_view osVersion) {
    return ReadAsNumber(osVersion) >= 6;
}

}  // namespace kestrine::outlook
