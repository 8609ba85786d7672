#include "outlook/profile_data.h"

namespace kestrine::outlook {

std::string ProfileKey(std::string_view profilesRoot, std::string_view profile) {
    return std::string(profilesRoot) + "\\" + std::string(profile);
}

std::string AccountsKey(std::string_view profilesRoot, std::string_view profile) {
    return ProfileKey(profilesRoot, profile) + "\\" + kAccountsSubkey;
}

std::string AccountKey(std::string_view profilesRoot, std::string_view profile, unsigned index) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string name(8, '0');
    for (int i = 7; i >= 0; --i, index >>= 4) name[static_cast<size_t>(i)] = kDigits[index & 15];
    return AccountsKey(profilesRoot, profile) + "\\" + name;
}

std::string OptionsKey(std::string_view outlookVersion) {
    return std::string(kOfficeKey) + "\\" + std::string(outlookVersion) + "\\Outlook\\Options";
}

}  // namespace kestrine::outlook
