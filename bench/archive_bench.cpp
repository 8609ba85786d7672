// Archive benchmark: generates a corpus (fixed seed; 60% text, 40% random blocks), then archives
// it with kestrine-zip and with `7z a -tzip -mx=1`, with and without a password, and checks it
// with `kestrine-zip test` and `7z t`. Each program runs as a child process so its wall time and
// peak memory are its own. One line per figure.
//
//   kestrine_bench [--size BYTES|NM|NG] [--dir DIR] [--zip-tool PATH]
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Measure {
    bool ok = false;
    double seconds = 0;
    double peakMiB = 0;
};

// Runs argv as a child with its output silenced; wall time and the child's own peak memory.
Measure RunChild(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        FILE* null = std::fopen("/dev/null", "w");
        if (null) {
            dup2(fileno(null), 1);
            dup2(fileno(null), 2);
        }
        execvp(args[0], args.data());
        _exit(127);
    }
    Measure m;
    int status = 0;
    struct rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) < 0) return m;
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return m;
}

uint64_t ParseSize(const std::string& text) {
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    uint64_t unit = 1;
    if (end && (*end == 'k' || *end == 'K')) unit = 1ull << 10;
    if (end && (*end == 'm' || *end == 'M')) unit = 1ull << 20;
    if (end && (*end == 'g' || *end == 'G')) unit = 1ull << 30;
    return static_cast<uint64_t>(value * static_cast<double>(unit));
}

// Mail-like text: words of a fixed vocabulary, skewed towards the common ones, with numbers.
void TextBlock(std::mt19937_64& rng, const std::vector<std::string>& words, std::string& out,
               size_t size) {
    out.clear();
    std::uniform_real_distribution<double> u(0.0, 1.0);
    size_t line = 0;
    while (out.size() < size) {
        double r = u(rng);
        size_t index = static_cast<size_t>(r * r * r * static_cast<double>(words.size()));
        out += words[index];
        if ((rng() & 31) == 0) out += std::to_string(rng() % 100000);
        if (++line % 12 == 0) {
            out += "\r\n";
        } else {
            out += ' ';
        }
    }
    out.resize(size);
}

// The corpus: one large data file (most of the size) and a few small ones, in 1 MiB blocks of
// which 60% are text and 40% random bytes.
std::vector<std::string> MakeCorpus(const fs::path& dir, uint64_t total) {
    fs::create_directories(dir);
    std::vector<std::pair<std::string, uint64_t>> files = {{"Outlook.pst", total - total / 10},
                                                           {"archive.pst", total / 10 - 40960},
                                                           {"kestrine.dat", 300},
                                                           {"signature.htm", 20000},
                                                           {"contacts.vcf", 20660}};
    std::vector<std::string> paths;
    fs::path marker = dir / ("complete-" + std::to_string(total));
    bool ready = fs::exists(marker);
    std::mt19937_64 rng(20261206);
    std::vector<std::string> words;
    for (int i = 0; i < 4000; ++i) {
        std::string w;
        size_t len = 2 + rng() % 9;
        for (size_t k = 0; k < len; ++k) w += static_cast<char>('a' + rng() % 26);
        words.push_back(w);
    }
    std::string block;
    for (const auto& [name, size] : files) {
        fs::path path = dir / name;
        paths.push_back(path.string());
        if (ready) continue;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        uint64_t left = size;
        while (left > 0) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(left, 1 << 20));
            if (rng() % 10 < 6) {
                TextBlock(rng, words, block, n);
            } else {
                block.resize(n);
                for (size_t i = 0; i + 8 <= n; i += 8) {
                    uint64_t v = rng();
                    std::memcpy(&block[i], &v, 8);
                }
            }
            out.write(block.data(), static_cast<std::streamsize>(n));
            left -= n;
        }
    }
    if (!ready) std::ofstream(marker).put('\n');
    return paths;
}

double FileMiB(const fs::path& p) {
    std::error_code ec;
    return static_cast<double>(fs::file_size(p, ec)) / (1024.0 * 1024.0);
}

void Line(const char* figure, const std::string& what, double ours, double theirs, const char* unit,
          double ratio, const char* target) {
    std::printf("bench: %-28s %-12s kestrine %9.2f %-5s 7z %9.2f %-5s ratio %5.2f  (%s)\n", figure,
                what.c_str(), ours, unit, theirs, unit, ratio, target);
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t size = 1ull << 30;
    fs::path dir = "build/bench/corpus";
    std::string tool = KESTRINE_ZIP_TOOL;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string key = argv[i];
        if (key == "--size") {
            size = ParseSize(argv[i + 1]);
        } else if (key == "--dir") {
            dir = argv[i + 1];
        } else if (key == "--zip-tool") {
            tool = argv[i + 1];
        } else {
            std::fprintf(stderr, "kestrine_bench: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (size < (8u << 20)) size = 8u << 20;
    std::printf("bench: corpus %.0f MiB (60%% text, 40%% random blocks) in %s\n",
                static_cast<double>(size) / 1048576.0, dir.string().c_str());
    auto files = MakeCorpus(dir / "input", size);
    double mib = static_cast<double>(size) / 1048576.0;
    fs::path pwFile = dir / "password.txt";
    std::ofstream(pwFile) << "bench-password\n";

    bool allOk = true;
    for (bool password : {false, true}) {
        std::string what = password ? "AES-256" : "no password";
        fs::path ours = dir / (password ? "ours-aes.zip" : "ours.zip");
        fs::path theirs = dir / (password ? "7z-aes.zip" : "7z.zip");
        fs::remove(ours);
        fs::remove(theirs);
        std::vector<std::string> oursCmd = {tool, "create"};
        if (password) {
            oursCmd.push_back("--password-file");
            oursCmd.push_back(pwFile.string());
        }
        oursCmd.push_back(ours.string());
        oursCmd.insert(oursCmd.end(), files.begin(), files.end());
        std::vector<std::string> sevenCmd = {"7z", "a", "-tzip", "-mx=1"};
        if (password) {
            sevenCmd.push_back("-mem=AES256");
            sevenCmd.push_back("-pbench-password");
        }
        sevenCmd.push_back(theirs.string());
        sevenCmd.insert(sevenCmd.end(), files.begin(), files.end());

        Measure a = RunChild(oursCmd);
        Measure b = RunChild(sevenCmd);
        if (!a.ok || !b.ok) {
            std::printf("bench: create %s failed (kestrine %s, 7z %s)\n", what.c_str(),
                        a.ok ? "ok" : "FAILED", b.ok ? "ok" : "FAILED");
            allOk = false;
            continue;
        }
        Line("create throughput", what, mib / a.seconds, mib / b.seconds, "MiB/s",
             b.seconds / a.seconds, "target >= 2.5");
        Line("archive size", what, FileMiB(ours), FileMiB(theirs), "MiB",
             FileMiB(ours) / FileMiB(theirs), "target <= 1.05");
        Line("create peak memory", what, a.peakMiB, b.peakMiB, "MiB", a.peakMiB / b.peakMiB,
             "target: kestrine < 64 MiB");

        // Reading and checking the same archive (ours) with both programs.
        std::vector<std::string> oursTest = {tool, "test"};
        std::vector<std::string> sevenTest = {"7z", "t"};
        if (password) {
            oursTest.push_back("--password-file");
            oursTest.push_back(pwFile.string());
            sevenTest.push_back("-pbench-password");
        }
        oursTest.push_back(ours.string());
        sevenTest.push_back(ours.string());
        Measure t = RunChild(oursTest);
        Measure s = RunChild(sevenTest);
        if (!t.ok || !s.ok) {
            std::printf("bench: test %s failed (kestrine %s, 7z %s)\n", what.c_str(),
                        t.ok ? "ok" : "FAILED", s.ok ? "ok" : "FAILED");
            allOk = false;
            continue;
        }
        Line("test throughput", what, mib / t.seconds, mib / s.seconds, "MiB/s",
             s.seconds / t.seconds, "target >= 1.0");
        Line("test peak memory", what, t.peakMiB, s.peakMiB, "MiB", t.peakMiB / s.peakMiB,
             "target: kestrine < 64 MiB");
        fs::remove(ours);
        fs::remove(theirs);
    }
    return allOk ? 0 : 1;
}
