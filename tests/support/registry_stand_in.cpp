#include "registry_stand_in.h"

#include <map>
#include <mutex>
#include <tuple>

#include "stand_in_answer.h"

namespace kestrine::platform::memory_registry {

namespace {

struct Fault {
    long status = 0;
    int succeedFirst = 0;
};

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

struct Faults {
    std::mutex mutex;
    std::map<std::tuple<Operation, uint32_t, std::string>, Fault> planted;
};

Faults& TheFaults() {
    static Faults faults;
    return faults;
}

StandInAnswer<std::function<void(uint32_t)>> g_flushed;

long Planted(Operation operation, uint32_t root, const std::string& subkey) {
    Faults& faults = TheFaults();
    const std::lock_guard lock(faults.mutex);
    auto found = faults.planted.find({operation, root, Upper(subkey)});
    if (found == faults.planted.end()) return 0;
    if (found->second.succeedFirst > 0) {
        --found->second.succeedFirst;
        return 0;
    }
    return found->second.status;
}

[[maybe_unused]] const bool kInstalled = [] {
    PosixHooks& hooks = Hooks();
    hooks.registryFault = Planted;
    hooks.registryFlushed = [](uint32_t root) {
        if (const auto heard = g_flushed.Get()) heard(root);
    };
    return true;
}();

}  // namespace

void Reset() {
    Empty();
    ClearFailures();
    g_flushed.Set(nullptr);
}

void PlantFailure(Operation operation, uint32_t root, const std::string& subkey, long status,
                  int succeedFirst) {
    Faults& faults = TheFaults();
    const std::lock_guard lock(faults.mutex);
    faults.planted[{operation, root, Upper(subkey)}] = Fault{status, succeedFirst};
}

void ClearFailures() {
    Faults& faults = TheFaults();
    const std::lock_guard lock(faults.mutex);
    faults.planted.clear();
}

void WhenFlushed(std::function<void(uint32_t root)> heard) {
    g_flushed.Set(std::move(heard));
}

}  // namespace kestrine::platform::memory_registry
