#include <windows.h>

#include <vector>

#include "platform/program_run.h"
#include "platform/text.h"

namespace kestrine::platform {

namespace {

struct Handle {
    HANDLE h = nullptr;
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Close(); }
    void Close() {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
        h = nullptr;
    }
};

}  // namespace

ProgramRun RunHiddenAndWait(const std::string& programPath, const std::string& commandLine) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    Handle readEnd, writeEnd, input;
    if (!CreatePipe(&readEnd.h, &writeEnd.h, &inherit, 0)) return run;
    SetHandleInformation(readEnd.h, HANDLE_FLAG_INHERIT, 0);
    // No input: a program that asks a question reads the end of its input instead of waiting.
    input.h = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                          OPEN_EXISTING, 0, nullptr);

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    si.wShowWindow = SW_HIDE;
    si.hStdInput = input.h;
    si.hStdOutput = writeEnd.h;
    si.hStdError = writeEnd.h;
    std::wstring program = Widen(programPath);
    std::wstring cmd = Widen(commandLine);
    std::vector<wchar_t> buffer(cmd.begin(), cmd.end());
    buffer.push_back(L'\0');  // CreateProcessW may write into the command line
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &si, &pi)) {
        return run;
    }
    run.started = true;
    CloseHandle(pi.hThread);
    // Only the child holds the write end now, so the pipe ends when the child does.
    writeEnd.Close();
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(readEnd.h, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    run.exitCode = code;
    // Console programs write to a pipe in the OEM code page.
    run.output = OemToUtf8(bytes);
    return run;
}

std::string RunningProgramPath() {
    std::wstring path(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size()) return {};
    path.resize(n);
    return Narrow(path);
}

std::string SystemFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
    if (n == 0 || n > MAX_PATH) return {};
    return Narrow(std::wstring_view(buffer, n));
}

}  // namespace kestrine::platform
