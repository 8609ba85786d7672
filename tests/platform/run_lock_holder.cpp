// Takes the user's run lock ROUNDS times, as a run of another process would, and checks each time
// that no other holder is at work: a holder makes MARKER anew while it holds the lock and removes
// it before letting go, so a second holder at the same time finds it there.
//   run_lock_holder MARKER ROUNDS
// Exit code 0: every round held the lock alone; 3: the lock could not be had; 4: another holder
// was at work at the same time.
#include <windows.h>

#include <chrono>
#include <string>

#include "platform/run_lock.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    const std::wstring marker = argv[1];
    const int rounds = _wtoi(argv[2]);
    for (int i = 0; i < rounds; ++i) {
        const auto lock = kestrine::platform::RunLock::Take(std::chrono::seconds(60));
        if (!lock) return 3;
        HANDLE alone = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (alone == INVALID_HANDLE_VALUE) return 4;
        CloseHandle(alone);
        Sleep(100);
        if (!DeleteFileW(marker.c_str())) return 4;
    }
    return 0;
}
