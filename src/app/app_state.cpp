#include "app/app_state.h"

namespace kestrine {

AppState& State() {
    static AppState state;
    return state;
}

std::string JoinAppFolder(const std::string& appFolder, const std::string& name) {
    if (!appFolder.empty() && appFolder.back() == '\\') return appFolder + name;
    return appFolder + "\\" + name;
}

}  // namespace kestrine
