// Starts a program as the weekly task would: registers nothing, but makes the task's command line
// with the code the scheduled-backup dialog uses (the password protected for the user running this)
// and starts the program with exactly that command line, then waits for it. Prints the command line
// and the program's exit code; its own exit code is the program's.
//   run_as_task PROGRAM PROFILE MASK PASSWORD ARCHIVE
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/text.h"
#include "schedule/task_commands.h"
#include "schedule/task_password.h"

int wmain(int argc, wchar_t** argv) {
    using namespace kestrine;
    if (argc != 6) {
        std::fprintf(stderr, "usage: run_as_task PROGRAM PROFILE MASK PASSWORD ARCHIVE\n");
        return 100;
    }
    const std::string password = platform::Narrow(argv[4]);
    const auto field = schedule::TaskPasswordField(password, schedule::ProtectForCurrentUser);
    if (!field) {
        std::fprintf(stderr, "the password cannot be carried\n");
        return 101;
    }
    std::string line(1, '"');
    line.append(platform::Narrow(argv[1])).append("\" ");
    line.append(schedule::UnattendedTail(platform::Narrow(argv[2]), platform::Narrow(argv[3]),
                                         *field, platform::Narrow(argv[5])));
    std::printf("command line: %s\n", line.c_str());
    std::fflush(stdout);
    std::wstring command = platform::Widen(line);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        std::fprintf(stderr, "cannot start the program\n");
        return 102;
    }
    CloseHandle(info.hThread);
    WaitForSingleObject(info.hProcess, 300000);
    DWORD code = 103;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    std::printf("exit code: %lu\n", code);
    return static_cast<int>(code);
}
