#include "app/app_state.h"

namespace kestrine {

AppState& State() {
    static AppState state;
    return state;
}

}  // namespace kestrine
