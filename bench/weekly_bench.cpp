#include "weekly_bench.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <vector>

#include "bench_tools.h"

namespace kestrine::bench {

namespace {

constexpr size_t kPage = 4096;

// The data file a week later, made once per corpus under dir/week2 with the first week's name
// (the entry name the re-backup matches).
std::string MakeWeekLater(const fs::path& dir, const std::string& dataFile) {
    const fs::path folder = dir / "week2";
    const fs::path path = folder / fs::path(dataFile).filename();
    const uint64_t size = fs::file_size(dataFile);
    const fs::path marker = folder / ("complete-" + std::to_string(size));
    if (fs::exists(marker)) return path.string();
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(dataFile, path);
    std::mt19937_64 rng(20261209);
    std::vector<std::string> words = Vocabulary(rng);
    const uint64_t pages = size / kPage;
    std::set<uint64_t> rewritten;
    while (rewritten.size() < std::max<uint64_t>(1, pages / 2000)) rewritten.insert(rng() % pages);
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    std::string block;
    for (uint64_t page : rewritten) {
        TextBlock(rng, words, block, kPage);
        out.seekp(static_cast<std::streamoff>(page * kPage));
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    out.seekp(0, std::ios::end);
    TextBlock(rng, words, block, static_cast<size_t>(size / 100));
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
    out.close();
    std::printf("bench: week later: %s, %.1f MiB appended, %zu of %llu pages rewritten\n",
                path.string().c_str(), static_cast<double>(size / 100) / 1048576.0,
                rewritten.size(), static_cast<unsigned long long>(pages));
    std::ofstream(marker).put('\n');
    return path.string();
}

// The fraction of the file's bytes that the re-backup took over, from kestrine-zip's report
// ("NAME: R of T bytes reused").
double ReusedFraction(const fs::path& report) {
    std::ifstream in(report);
    std::string line;
    double reused = 0, total = 0;
    while (std::getline(in, line)) {
        unsigned long long r = 0, t = 0;
        const size_t colon = line.rfind(": ");
        if (colon != std::string::npos &&
            std::sscanf(line.c_str() + colon + 2, "%llu of %llu", &r, &t) == 2) {
            reused += static_cast<double>(r);
            total += static_cast<double>(t);
        }
    }
    return total > 0 ? reused / total : 0;
}

struct ReBackup {
    Measure fresh, again;
    double freshMiB = 0, againMiB = 0, reused = 0;
};

// The first week's archive (once), then the fresh archive and the re-backup of the week-later
// file, alternating, each one's fastest of `runs`.
ReBackup Measured(const WeeklySetup& s, const std::string& week2,
                  const std::vector<std::string>& options, const std::string& tag, int runs) {
    const fs::path week1 = s.dir / ("week1" + tag + ".ksx");
    const fs::path fresh = s.dir / ("fresh" + tag + ".ksx");
    const fs::path again = s.dir / ("week2" + tag + ".ksx");
    const fs::path report = s.dir / ("week2" + tag + ".txt");
    ReBackup r;
    if (!RunChild(With(With({s.tool, "create"}, options), {week1.string(), s.dataFile})).ok) {
        return r;
    }
    auto [a, b] = Compare(
        With(With({s.tool, "create"}, options), {fresh.string(), week2}),
        With(With({s.tool, "create"}, options), {"--reuse", week1.string(), again.string(), week2}),
        runs, [&](int which) { fs::remove(which == 0 ? fresh : again); });
    r.fresh = a;
    r.again = b;
    r.freshMiB = FileMiB(fresh);
    r.againMiB = FileMiB(again);
    // Once more for its report: what it took over does not change from run to run.
    fs::remove(again);
    if (!RunChild(With(With({s.tool, "create"}, options),
                       {"--reuse", week1.string(), again.string(), week2}),
                  report.string())
             .ok) {
        r.again.ok = false;
    }
    r.reused = ReusedFraction(report);
    for (const fs::path& p : {week1, fresh, again, report}) fs::remove(p);
    return r;
}

// restic's second backup: a repository (its default compression) that holds the first week's file
// is made once and copied for each run; the week-later file then takes the same path.
Measure ResticSecondBackup(const WeeklySetup& s, const std::string& week2, double& grewMiB) {
    const fs::path root = s.dir / "restic";
    const fs::path base = root / "week1", run = root / "run", source = root / "src";
    const fs::path file = source / fs::path(s.dataFile).filename();
    auto restic = [&](const fs::path& at, std::vector<std::string> more) {
        return With({"restic", "--quiet", "--repo", (at / "repo").string(), "--cache-dir",
                     (at / "cache").string(), "--password-file", s.password.string()},
                    more);
    };
    fs::remove_all(root);
    fs::create_directories(source);
    fs::copy_file(s.dataFile, file);
    if (!RunChild(restic(base, {"init"})).ok ||
        !RunChild(restic(base, {"backup", source.string()})).ok) {
        return {};
    }
    auto folderMiB = [](const fs::path& folder) {
        double mib = 0;
        for (const auto& f : fs::recursive_directory_iterator(folder)) {
            if (f.is_regular_file()) mib += FileMiB(f.path());
        }
        return mib;
    };
    const double before = folderMiB(base / "repo");
    fs::copy_file(week2, file, fs::copy_options::overwrite_existing);
    Measure best;
    for (int i = 0; i < s.runs; ++i) {
        fs::remove_all(run);
        if (!RunChild({"cp", "-a", base.string(), run.string()}).ok) return {};
        ::sync();
        Measure m = RunChild(restic(run, {"backup", source.string()}));
        if (!m.ok) return {};
        if (!best.ok || m.seconds < best.seconds) best = m;
    }
    grewMiB = folderMiB(run / "repo") - before;
    fs::remove_all(root);
    return best;
}

void Figure(const char* figure, const std::string& what, const std::string& text) {
    std::printf("bench: %-28s %-12s %s\n", figure, what.c_str(), text.c_str());
    std::fflush(stdout);
}

std::string Format(const char* format, double a, double b = 0, double c = 0) {
    char text[200];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

}  // namespace

bool WeeklyFigures(const WeeklySetup& s) {
    const std::string week2 = MakeWeekLater(s.dir, s.dataFile);
    const double mib = FileMiB(week2);
    const double copy = CopyThroughput({week2}, s.dir, mib, std::max(s.runs, 5));
    std::printf("bench: plain cp of the week-later file               cp %9.2f MiB/s\n", copy);
    if (copy <= 0) return false;
    double grewMiB = 0;
    const Measure restic = ResticSecondBackup(s, week2, grewMiB);
    if (!restic.ok) {
        std::printf("bench: restic's second backup failed\n");
        return false;
    }
    Figure("restic second backup", "AES-256",
           Format("restic %9.2f s     %9.2f MiB/s peak %.2f MiB", restic.seconds,
                  mib / restic.seconds, restic.peakMiB) +
               Format(", repository grew %.2f MiB", grewMiB));
    bool ok = true;
    for (bool password : {false, true}) {
        const std::string what = password ? "AES-256" : "no password";
        std::vector<std::string> options;
        if (password) options = {"--password-file", s.password.string()};
        const ReBackup r = Measured(s, week2, options, password ? "-aes" : "", s.runs);
        if (!r.fresh.ok || !r.again.ok) {
            std::printf("bench: re-backup %s failed\n", what.c_str());
            ok = false;
            continue;
        }
        Figure("fresh create (week later)", what,
               Format("kestrine %9.2f MiB/s size %.2f MiB", mib / r.fresh.seconds, r.freshMiB));
        Figure("re-backup throughput", what,
               Format("kestrine %9.2f MiB/s cp %9.2f MiB/s fraction %4.2f  (target >= 0.6)",
                      mib / r.again.seconds, copy, mib / r.again.seconds / copy));
        Figure("re-backup reused", what, Format("%.1f %% of the file's bytes", 100 * r.reused));
        Figure("re-backup size / fresh", what,
               Format("kestrine %9.2f MiB   fresh %9.2f MiB ratio %5.3f  (target <= 1.02)",
                      r.againMiB, r.freshMiB, r.againMiB / r.freshMiB));
        Figure("re-backup peak memory", what,
               Format("kestrine %9.2f MiB  (target < 64 MiB)", r.again.peakMiB));
        Figure("restic / re-backup time", what,
               Format("restic %9.2f s kestrine %9.2f s ratio %5.2f  (target >= 2.5)",
                      restic.seconds, r.again.seconds, restic.seconds / r.again.seconds));
    }
    return ok;
}

bool PieceSizeTable(const WeeklySetup& s) {
    const std::string week2 = MakeWeekLater(s.dir, s.dataFile);
    const double mib = FileMiB(week2);
    bool ok = true;
    for (size_t kib : {64, 128, 256, 512, 1024}) {
        const ReBackup r =
            Measured(s, week2, {"--piece-size", std::to_string(kib) + "K"}, "-pieces", s.runs);
        if (!r.fresh.ok || !r.again.ok) {
            std::printf("bench: pieces of %zu KiB failed\n", kib);
            ok = false;
            continue;
        }
        std::printf(
            "bench: pieces %4zu KiB  fresh %8.2f MiB %6.2f s %7.2f MiB/s  re-backup %8.2f MiB "
            "%6.2f s %7.2f MiB/s reused %5.1f %%  peak %.1f MiB\n",
            kib, r.freshMiB, r.fresh.seconds, mib / r.fresh.seconds, r.againMiB, r.again.seconds,
            mib / r.again.seconds, 100 * r.reused, r.again.peakMiB);
        std::fflush(stdout);
    }
    return ok;
}

}  // namespace kestrine::bench
