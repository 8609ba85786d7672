// Stands in for the system's schtasks.exe, answering as Windows does. It appends "path<TAB>command
// line" to the file named by KESTRINE_SCHTASKS_RECORD. A "/create" with a "/tr" over 261
// characters is invalid syntax; one with "/xml" reads that file, which must be UTF-16 behind its
// byte-order mark and hold the trigger and action (what it read goes, as UTF-8, to the file named
// by KESTRINE_SCHTASKS_DEFINITION). With KESTRINE_SCHTASKS_FAIL set a create or run prints that
// text and fails. A /query for the task's list prints the file named by KESTRINE_SCHTASKS_TASK;
// otherwise there is no task, and the query fails.
#include <windows.h>
//
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

static std::string Utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    return out;
}

static std::wstring Env(const wchar_t* name) {
    wchar_t value[1024] = {};
    return GetEnvironmentVariableW(name, value, 1024) ? value : L"";
}

static std::string ReadAll(const std::wstring& path) {
    std::string bytes;
    if (FILE* in = _wfopen(path.c_str(), L"rb")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) bytes.append(buffer, n);
        std::fclose(in);
    }
    return bytes;
}

static int Answer(const std::string& text, int status) {
    std::printf("%s\r\n", text.c_str());
    return status;
}

int main() {
    _setmode(_fileno(stdout), _O_BINARY);  // the lines end as written, in CR LF
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (FILE* out = _wfopen(Env(L"KESTRINE_SCHTASKS_RECORD").c_str(), L"ab")) {
        std::fprintf(out, "%s\t%s\n", Utf8(self).c_str(), Utf8(GetCommandLineW()).c_str());
        std::fclose(out);
    }
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring verb = argc > 1 ? argv[1] : L"", tr, xml;
    for (int i = 2; i + 1 < argc; ++i) {
        if (!_wcsicmp(argv[i], L"/tr")) tr = argv[i + 1];
        if (!_wcsicmp(argv[i], L"/xml")) xml = argv[i + 1];
    }
    LocalFree(argv);
    const std::string missing = "ERROR: The system cannot find the file specified.";
    if (verb == L"/query") {  // only the task's list can be there, never the shared name's task
        const std::wstring listed = Env(L"KESTRINE_SCHTASKS_TASK");
        const std::string list = wcsstr(GetCommandLineW(), L"/fo LIST") ? ReadAll(listed) : "";
        return list.empty() ? Answer(missing, 1) : Answer(list, 0);
    }
    if (verb == L"/create" && tr.size() > 261)
        return Answer(
            "ERROR: Invalid syntax. Value for '/tr' option cannot be more than 261 "
            "character(s).\r\nType \"SCHTASKS /CREATE /?\" for usage.",
            1);
    if (verb == L"/create" && !xml.empty()) {
        const std::string bytes = ReadAll(xml);
        if (bytes.size() < 2 || bytes.compare(0, 2, "\xff\xfe") || bytes.size() % 2)
            return Answer(bytes.empty() ? missing : "ERROR: The task XML is malformed.", 1);
        const std::string text = Utf8(std::wstring(
            reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2));
        for (const char* part : {"<Task ", "<Triggers>", "<Actions", "<Exec>", "<Command>"})
            if (text.find(part) == std::string::npos)
                return Answer("ERROR: The task XML is missing a required element or attribute.", 1);
        if (FILE* out = _wfopen(Env(L"KESTRINE_SCHTASKS_DEFINITION").c_str(), L"wb")) {
            std::fwrite(text.data(), 1, text.size(), out);
            std::fclose(out);
        }
    }
    if (const std::wstring failure = Env(L"KESTRINE_SCHTASKS_FAIL");
        !failure.empty() && (verb == L"/create" || verb == L"/run"))
        return Answer(Utf8(failure), 1);
    return Answer("SUCCESS: The scheduled task has been " +
                      std::string(verb == L"/create" ? "created." : "handled."),
                  0);
}
