// kestrine-zip: creates, lists, tests and extracts archives with the program's zip library.
// Exit status: 0 success, 1 damaged archive or wrong password, 2 usage error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "platform/file_stream.h"

namespace {

using kestrine::archive::ArchiveReader;
using kestrine::archive::ArchiveWriter;
using kestrine::archive::EntryInfo;
using kestrine::archive::EntryProtection;
namespace fileio = kestrine::platform::fileio;

// The password from the environment variable KESTRINE_PASSWORD, as UTF-8.
std::string g_envPassword;

constexpr int kOk = 0;
constexpr int kDamaged = 1;
constexpr int kUsage = 2;

int Usage(const std::string& problem) {
    std::fprintf(stderr, "kestrine-zip: %s\n", problem.c_str());
    std::fprintf(
        stderr,
        "usage: kestrine-zip create [--password-file F] [--reuse EARLIER] [--piece-size N[K|M]]\n"
        "                          ARCHIVE FILE...\n"
        "       kestrine-zip list ARCHIVE\n"
        "       kestrine-zip test [--password-file F] ARCHIVE\n"
        "       kestrine-zip extract [--password-file F] ARCHIVE DIR [ENTRY...]\n"
        "The password may also come from the environment variable KESTRINE_PASSWORD.\n");
    return kUsage;
}

int Failure(const std::string& message, int status) {
    std::fprintf(stderr, "kestrine-zip: %s\n", message.c_str());
    return status;
}

// The password file's first line, without its line end.
bool ReadPasswordFile(const std::string& path, std::string& password) {
    auto in = fileio::OpenForRead(path);
    if (!in) return false;
    std::string text;
    char buffer[4096];
    for (;;) {
        int64_t n = in->Read(buffer, sizeof buffer);
        if (n < 0) return false;
        if (n == 0) break;
        text.append(buffer, static_cast<size_t>(n));
        if (text.size() > 65536) return false;
    }
    size_t end = text.find_first_of("\r\n");
    password = text.substr(0, end);
    return true;
}

struct Options {
    std::string password;
    bool havePassword = false;
    std::string reuse;     // create: the earlier archive whose unchanged pieces are copied
    size_t pieceSize = 0;  // create: the piece size of large files; 0 for the program's
    std::vector<std::string> args;
};

// "N", "NK" or "NM" bytes; 0 when it is none of them.
size_t ParsePieceSize(const std::string& text) {
    char* end = nullptr;
    const unsigned long long n = std::strtoull(text.c_str(), &end, 10);
    if (end == text.c_str() || n == 0 || n > (64u << 20)) return 0;
    const std::string unit = end;
    if (unit.empty()) return static_cast<size_t>(n);
    if (unit == "K" || unit == "k") return static_cast<size_t>(n) << 10;
    if (unit == "M" || unit == "m") return n > 64 ? 0 : static_cast<size_t>(n) << 20;
    return 0;
}

// Parses "[--password-file F] args..."; returns an error text or "".
std::string ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--password-file") {
            if (i + 1 >= argc) return "--password-file needs a file name";
            if (!ReadPasswordFile(argv[++i], options.password)) {
                return std::string("cannot read the password file ") + argv[i];
            }
            options.havePassword = true;
        } else if (arg == "--reuse") {
            if (i + 1 >= argc) return "--reuse needs an archive";
            options.reuse = argv[++i];
        } else if (arg == "--piece-size") {
            if (i + 1 >= argc) return "--piece-size needs a size";
            options.pieceSize = ParsePieceSize(argv[++i]);
            if (options.pieceSize == 0) return std::string("not a piece size: ") + argv[i];
        } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            return "unknown option " + arg;
        } else {
            options.args.push_back(arg);
        }
    }
    if (!options.havePassword) {
        if (!g_envPassword.empty()) {
            options.password = g_envPassword;
            options.havePassword = true;
        }
    }
    return {};
}

const char* MethodName(uint16_t method) {
    switch (method) {
        case 0:
            return "stored";
        case 8:
            return "deflated";
        default:
            return "other";
    }
}

// Tells what the earlier archive of --reuse gave: why it did not serve (standard error), or how
// much of each large entry it gave (standard output).
class ReuseReport : public kestrine::archive::ZipObserver {
  public:
    void EarlierArchiveUnused(const std::string& why) override {
        std::fprintf(stderr, "kestrine-zip: the earlier archive is not used: %s\n", why.c_str());
    }
    void PiecesReused(const std::string& name, uint64_t reused, uint64_t total) override {
        std::printf("%s: %llu of %llu bytes reused\n", name.c_str(),
                    static_cast<unsigned long long>(reused),
                    static_cast<unsigned long long>(total));
    }
};

int Create(const Options& o) {
    if (o.args.size() < 2) return Usage("create needs an archive and at least one file");
    kestrine::archive::ZipOptions options;
    if (o.pieceSize) options.chunkSize = o.pieceSize;
    ArchiveWriter zip(o.havePassword ? EntryProtection::Aes(o.password) : EntryProtection::None(),
                      options);
    if (!o.reuse.empty()) zip.ReuseFrom(o.reuse, o.havePassword ? o.password : std::string());
    if (auto created = zip.CreateArchive(o.args[0]); !created)
        return Failure(created.message(), kDamaged);
    ReuseReport report;
    for (size_t i = 1; i < o.args.size(); ++i) {
        if (auto added = zip.AddFile(o.args[i], {}, std::nullopt, report); !added) {
            zip.CloseArchive();
            return Failure(added.message(), kDamaged);
        }
    }
    if (auto written = zip.WriteArchive(); !written) return Failure(written.message(), kDamaged);
    return kOk;
}

int List(const Options& o) {
    if (o.args.size() != 1) return Usage("list needs exactly one archive");
    ArchiveReader zip;
    if (auto opened = zip.OpenArchive(o.args[0]); !opened)
        return Failure(o.args[0] + ": " + opened.message(), kDamaged);
    for (const EntryInfo& e : zip.Entries()) {
        std::printf("%12llu %12llu %-8s %-9s %s\n",
                    static_cast<unsigned long long>(e.uncompressedSize),
                    static_cast<unsigned long long>(e.compressedSize), MethodName(e.method),
                    e.aes         ? "AES"
                    : e.encrypted ? "ZipCrypto"
                                  : "none",
                    e.name.c_str());
    }
    return kOk;
}

int Test(const Options& o) {
    if (o.args.size() != 1) return Usage("test needs exactly one archive");
    ArchiveReader zip;
    if (auto opened = zip.OpenArchive(o.args[0]); !opened)
        return Failure(o.args[0] + ": " + opened.message(), kDamaged);
    zip.SetReadingPassword(o.password);
    auto entries = zip.Entries();
    for (const EntryInfo& e : entries) {
        if (e.encrypted && !o.havePassword) {
            return Failure(o.args[0] + ": the archive is protected; give a password", kDamaged);
        }
    }
    if (auto tested = zip.TestEntries(); !tested)
        return Failure(o.args[0] + ": " + tested.message(), kDamaged);
    std::printf("%zu entries OK\n", entries.size());
    return kOk;
}

int Extract(const Options& o) {
    if (o.args.size() < 2) return Usage("extract needs an archive and a folder");
    const std::string& folder = o.args[1];
    if (!fileio::IsDirectory(folder)) return Usage("no such folder: " + folder);
    ArchiveReader zip;
    if (auto opened = zip.OpenArchive(o.args[0]); !opened)
        return Failure(o.args[0] + ": " + opened.message(), kDamaged);
    zip.SetReadingPassword(o.password);
    std::vector<EntryInfo> chosen;
    if (o.args.size() == 2) {
        chosen = zip.Entries();
    } else {
        for (size_t i = 2; i < o.args.size(); ++i) {
            auto e = zip.FindEntry(o.args[i]);
            if (!e) return Failure(o.args[0] + ": no entry named " + o.args[i], kDamaged);
            chosen.push_back(*e);
        }
    }
    for (const EntryInfo& e : chosen) {
        if (e.encrypted && !o.havePassword) {
            return Failure(o.args[0] + ": the archive is protected; give a password", kDamaged);
        }
        if (auto extracted = zip.ExtractTo(e, folder); !extracted)
            return Failure(o.args[0] + ": " + extracted.message(), kDamaged);
    }
    return kOk;
}

int Main(int argc, char** argv) {
    if (argc < 2) return Usage("no command given");
    std::string command = argv[1];
    Options options;
    std::string problem = ParseOptions(argc, argv, options);
    if (!problem.empty()) return Usage(problem);
    if (command == "create") return Create(options);
    if (command == "list") return List(options);
    if (command == "test") return Test(options);
    if (command == "extract") return Extract(options);
    return Usage("unknown command " + command);
}

}  // namespace

#ifdef _WIN32
// Windows passes the arguments as UTF-16; the program works in UTF-8.
int wmain(int argc, wchar_t** wargv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        auto u8 = std::filesystem::path(wargv[i]).u8string();
        args.emplace_back(u8.begin(), u8.end());
    }
    if (const wchar_t* env = _wgetenv(L"KESTRINE_PASSWORD")) {
        auto u8 = std::filesystem::path(env).u8string();
        g_envPassword.assign(u8.begin(), u8.end());
    }
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return Main(argc, argv.data());
}
#else
int main(int argc, char** argv) {
    if (const char* env = std::getenv("KESTRINE_PASSWORD")) g_envPassword = env;
    return Main(argc, argv);
}
#endif
