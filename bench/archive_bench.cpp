// Archive benchmark against 7-Zip, both run in the same run as child processes so that each one's
// wall time and peak memory are its own:
// - a large corpus (fixed seed; one large data file and a few small ones, 60% text and 40% random
//   blocks): `kestrine-zip create` against `7z a -tzip -mx=1` (with `-mem=AES256` for the password
//   case), archive size, then `test` against `7z t` and `extract` against `7z x` on our archive;
// - 2,000 small files of 1-20 KiB in 20 folders (fixed seed): create against create;
// - a plain `cp` of the large corpus to new files on the same disk (then synced, as our archive and
//   our extracted files are), the ceiling of this machine: create and extract are also given as a
//   fraction of it;
// - the data file a week later, written afresh and again over the first week's archive, against a
//   plain copy of it and restic's second backup (weekly_bench.h).
// Every figure is each program's fastest of `--runs` runs (3 unless told), the two alternating, so
// a moment of a busy host does not decide a ratio. One line per figure with the ratio and its
// target; the load average before and after says how busy the machine was.
//
//   kestrine_bench [--size BYTES|NM|NG] [--dir DIR] [--zip-tool PATH] [--runs N] [--pieces]
//
// --pieces measures only the piece sizes of large files against the weekly re-backup.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench_tools.h"
#include "weekly_bench.h"

namespace {

using namespace kestrine::bench;

uint64_t ParseSize(const std::string& text) {
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !(value > 0)) return 0;  // no size: the caller refuses it
    uint64_t unit = 1;
    if (*end == 'k' || *end == 'K') unit = 1ull << 10;
    if (*end == 'm' || *end == 'M') unit = 1ull << 20;
    if (*end == 'g' || *end == 'G') unit = 1ull << 30;
    if (*end != '\0' && (unit == 1 || end[1] != '\0')) return 0;
    const double bytes = value * static_cast<double>(unit);
    return bytes < 0x1p50 ? static_cast<uint64_t>(bytes) : 0;  // "inf" or beyond any disk
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
    // A corpus of another size may have been written over the files since their marker was made.
    if (!ready) {
        for (const auto& item : fs::directory_iterator(dir)) {
            if (item.path().filename().string().rfind("complete-", 0) == 0) fs::remove(item.path());
        }
    }
    std::mt19937_64 rng(20261206);
    std::vector<std::string> words = Vocabulary(rng);
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

// Many small files as the contacts, signatures and templates items hold: 2,000 files of 1-20 KiB
// in 20 folders, most of them text, some incompressible (pictures).
std::vector<std::string> MakeSmallCorpus(const fs::path& dir) {
    fs::path marker = dir / "complete-2";
    bool ready = fs::exists(marker);
    // Sizes and kinds from one generator, contents from another, so a corpus made before is found
    // under the same names.
    std::mt19937_64 layout(20261208);
    std::mt19937_64 rng(20261207);
    std::vector<std::string> words = Vocabulary(rng);
    std::vector<std::string> paths;
    std::string block;
    for (int folder = 0; folder < 20; ++folder) {
        fs::path sub = dir / ("folder" + std::to_string(folder));
        fs::create_directories(sub);
        for (int i = 0; i < 100; ++i) {
            size_t size = 1024 + layout() % (19 * 1024 + 1);
            bool picture = layout() % 100 < 15;
            fs::path path =
                sub / ("item" + std::to_string(folder * 100 + i) + (picture ? ".jpg" : ".htm"));
            paths.push_back(path.string());
            if (ready) continue;
            if (picture) {
                block.resize(size);
                for (auto& c : block) c = static_cast<char>(rng());
            } else {
                TextBlock(rng, words, block, size);
            }
            std::ofstream(path, std::ios::binary)
                .write(block.data(), static_cast<std::streamsize>(size));
        }
    }
    if (!ready) std::ofstream(marker).put('\n');
    return paths;
}

void Line(const char* figure, const std::string& what, double ours, double theirs, const char* unit,
          double ratio, const char* target) {
    std::printf("bench: %-28s %-12s kestrine %9.2f %-5s 7z %9.2f %-5s ratio %5.2f  (%s)\n", figure,
                what.c_str(), ours, unit, theirs, unit, ratio, target);
    std::fflush(stdout);
}

// A figure of ours as a fraction of the plain copy's throughput.
void CopyLine(const char* figure, const std::string& what, double ours, double copy) {
    std::printf("bench: %-28s %-12s kestrine %9.2f MiB/s cp %9.2f MiB/s fraction %4.2f\n", figure,
                what.c_str(), ours, copy, ours / copy);
    std::fflush(stdout);
}

void LoadLine(const char* when) {
    double load[3] = {};
    if (getloadavg(load, 3) == 3) {
        std::printf("bench: load average %s: %.2f %.2f %.2f on %ld cores\n", when, load[0], load[1],
                    load[2], sysconf(_SC_NPROCESSORS_ONLN));
    }
}

// Throughput and peak memory of reading our archive (test or extract) with both programs; the
// throughput of ours, or 0 when it failed.
double ReadFigures(const std::string& verb, const std::string& what, double mib,
                   const std::pair<Measure, Measure>& measured, const char* target) {
    const auto& [ours, theirs] = measured;
    if (!ours.ok) {
        std::printf("bench: %s %s failed\n", verb.c_str(), what.c_str());
        return 0;
    }
    Line((verb + " throughput").c_str(), what, mib / ours.seconds, mib / theirs.seconds, "MiB/s",
         theirs.seconds / ours.seconds, target);
    Line((verb + " peak memory").c_str(), what, ours.peakMiB, theirs.peakMiB, "MiB",
         ours.peakMiB / theirs.peakMiB, "target: kestrine < 64 MiB");
    return mib / ours.seconds;
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t size = 1ull << 30;
    fs::path dir = "build/bench/corpus";
    std::string tool = KESTRINE_ZIP_TOOL;
    int runs = 3;
    bool pieces = false;
    for (int i = 1; i < argc; i += 2) {
        std::string key = argv[i];
        if (key == "--pieces") {
            pieces = true;
            --i;
        } else if (i + 1 >= argc) {
            std::fprintf(stderr, "kestrine_bench: %s needs a value\n", argv[i]);
            return 2;
        } else if (key == "--size") {
            size = ParseSize(argv[i + 1]);
            // A mistyped size must not replace a corpus that took minutes to make.
            if (size == 0) {
                std::fprintf(stderr, "kestrine_bench: --size wants a size such as 1G, not %s\n",
                             argv[i + 1]);
                return 2;
            }
        } else if (key == "--dir") {
            dir = argv[i + 1];
        } else if (key == "--zip-tool") {
            tool = argv[i + 1];
        } else if (key == "--runs") {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else {
            std::fprintf(stderr, "kestrine_bench: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (size < (8u << 20)) size = 8u << 20;
    std::printf(
        "bench: corpus %.0f MiB (60%% text, 40%% random blocks) and 2000 small files in %s; "
        "best of %d runs\n",
        static_cast<double>(size) / 1048576.0, dir.string().c_str(), runs);
    LoadLine("before");
    auto files = MakeCorpus(dir / "input", size);
    fs::path pwFile = dir / "password.txt";
    std::ofstream(pwFile) << "bench-password\n";
    const WeeklySetup weekly{dir, files.front(), tool, pwFile, runs};
    if (pieces) {
        const bool ok = PieceSizeTable(weekly);
        LoadLine("after");
        return ok ? 0 : 1;
    }
    auto smallFiles = MakeSmallCorpus(dir / "small");
    double mib = static_cast<double>(size) / 1048576.0;
    double smallMiB = 0;
    for (const auto& f : smallFiles) smallMiB += FileMiB(f);
    fs::path outDir = dir / "extracted";

    const double copy = CopyThroughput(files, dir, mib, runs);
    std::printf("bench: plain cp of the corpus                       cp %9.2f MiB/s\n", copy);
    bool allOk = copy > 0;
    auto failed = [&](const std::string& what) {
        std::printf("bench: %s failed\n", what.c_str());
        allOk = false;
    };
    for (bool password : {false, true}) {
        std::string what = password ? "AES-256" : "no password";
        std::vector<std::string> ourPw, theirPw;
        if (password) {
            ourPw = {"--password-file", pwFile.string()};
            theirPw = {"-pbench-password"};
        }
        std::vector<std::string> theirCreate = {"7z", "a", "-tzip", "-mx=1"};
        if (password) theirCreate.push_back("-mem=AES256");
        theirCreate = With(theirCreate, theirPw);

        // Many small files.
        fs::path oursSmall = dir / "ours-small.zip", theirsSmall = dir / "7z-small.zip";
        auto removeSmall = [&](int which) { fs::remove(which == 0 ? oursSmall : theirsSmall); };
        auto [sa, sb] =
            Compare(With(With({tool, "create"}, ourPw), With({oursSmall.string()}, smallFiles)),
                    With(theirCreate, With({theirsSmall.string()}, smallFiles)), runs, removeSmall);
        if (!sa.ok) {
            failed("small-file create " + what);
        } else {
            Line("small files create", what, smallMiB / sa.seconds, smallMiB / sb.seconds, "MiB/s",
                 sb.seconds / sa.seconds, password ? "target >= 1.8" : "target >= 2.5");
        }
        removeSmall(0);
        removeSmall(1);

        // One large data file: create, then test and extract our archive with both programs.
        fs::path ours = dir / (password ? "ours-aes.zip" : "ours.zip");
        fs::path theirs = dir / (password ? "7z-aes.zip" : "7z.zip");
        auto removeLarge = [&](int which) { fs::remove(which == 0 ? ours : theirs); };
        auto [a, b] = Compare(With(With({tool, "create"}, ourPw), With({ours.string()}, files)),
                              With(theirCreate, With({theirs.string()}, files)), runs, removeLarge);
        if (!a.ok) {
            failed("create " + what);
            continue;
        }
        Line("create throughput", what, mib / a.seconds, mib / b.seconds, "MiB/s",
             b.seconds / a.seconds, "target >= 7.0");
        CopyLine("create / plain cp", what, mib / a.seconds, copy);
        Line("archive size", what, FileMiB(ours), FileMiB(theirs), "MiB",
             FileMiB(ours) / FileMiB(theirs), "target <= 1.0");
        Line("create peak memory", what, a.peakMiB, b.peakMiB, "MiB", a.peakMiB / b.peakMiB,
             "target: kestrine < 64 MiB");
        fs::remove(theirs);

        allOk &= ReadFigures("test", what, mib,
                             Compare(With(With({tool, "test"}, ourPw), {ours.string()}),
                                     With(With({"7z", "t"}, theirPw), {ours.string()}), runs),
                             "target >= 3.5") > 0;

        auto clearOut = [&](int) {
            fs::remove_all(outDir);
            fs::create_directories(outDir);
        };
        const double extract = ReadFigures(
            "extract", what, mib,
            Compare(With(With({tool, "extract"}, ourPw), {ours.string(), outDir.string()}),
                    With(With({"7z", "x", "-y", "-o" + outDir.string()}, theirPw), {ours.string()}),
                    runs, clearOut),
            "target >= 2.5");
        if (extract > 0) CopyLine("extract / plain cp", what, extract, copy);
        allOk &= extract > 0;
        fs::remove_all(outDir);
        fs::remove(ours);
    }
    allOk &= WeeklyFigures(weekly);
    LoadLine("after");
    return allOk ? 0 : 1;
}
