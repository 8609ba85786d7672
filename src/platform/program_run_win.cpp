#include <windows.h>

#include <vector>

#include "platform/handle_win.h"
#include "platform/program_run.h"
#include "platform/text.h"

namespace kestrine::platform {

ProgramRun RunHiddenAndWait(const std::string& programPath, const std::string& commandLine) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE pipeRead = nullptr, pipeWrite = nullptr;
    if (!CreatePipe(&pipeRead, &pipeWrite, &inherit, 0)) return run;
    KernelHandle readEnd(pipeRead), writeEnd(pipeWrite);
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    // No input: a program that asks a question reads the end of its input instead of waiting.
    FileHandle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr));

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    si.wShowWindow = SW_HIDE;
    si.hStdInput = input ? input.get() : nullptr;
    si.hStdOutput = writeEnd.get();
    si.hStdError = writeEnd.get();
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
    KernelHandle process(pi.hProcess);
    // Only the child holds the write end now, so the pipe ends when the child does.
    writeEnd.Close();
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(readEnd.get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    run.exitCode = code;
    // Console programs write to a pipe in the OEM code page.
    run.output = OemToUtf8(bytes);
    return run;
}

}  // namespace kestrine::platform
