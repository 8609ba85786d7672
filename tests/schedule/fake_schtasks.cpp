// Stands in for the system's schtasks.exe: appends its own path and its command line, as one line
// "path<TAB>command line", to the file named by KESTRINE_SCHTASKS_RECORD. With
// KESTRINE_SCHTASKS_FAIL set it prints that text and fails, as the Task Scheduler does. A /query
// for the task's list prints the file named by KESTRINE_SCHTASKS_TASK; otherwise there is no
// task, and the query fails as the Task Scheduler's does.
#include <windows.h>

#include <cstdio>
#include <string>

static std::string Utf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

int main() {
    wchar_t self[MAX_PATH] = {}, record[MAX_PATH] = {}, failure[512] = {}, listFile[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (GetEnvironmentVariableW(L"KESTRINE_SCHTASKS_RECORD", record, MAX_PATH)) {
        if (FILE* out = _wfopen(record, L"ab")) {
            std::fprintf(out, "%s\t%s\n", Utf8(self).c_str(), Utf8(GetCommandLineW()).c_str());
            std::fclose(out);
        }
    }
    if (wcsstr(GetCommandLineW(), L"/query")) {
        // Only the task's list can be there; the task of the shared name never is.
        FILE* listed =
            wcsstr(GetCommandLineW(), L"/fo LIST") &&
                    GetEnvironmentVariableW(L"KESTRINE_SCHTASKS_TASK", listFile, MAX_PATH)
                ? _wfopen(listFile, L"rb")
                : nullptr;
        if (!listed) {
            std::printf("ERROR: The system cannot find the file specified.\r\n");
            return 1;
        }
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, listed)) > 0;)
            std::fwrite(buffer, 1, n, stdout);
        std::fclose(listed);
        return 0;
    }
    if (GetEnvironmentVariableW(L"KESTRINE_SCHTASKS_FAIL", failure, 512)) {
        std::printf("%s\r\n", Utf8(failure).c_str());
        return 1;
    }
    std::printf(
        "SUCCESS: The scheduled task \"Kestrine AutoBackup\" has successfully been created.\r\n");
    return 0;
}
