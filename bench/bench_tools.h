#pragma once
// What the bench's parts share: running a program as a child with its wall time and peak memory,
// and the generated mail-like text.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace kestrine::bench {

namespace fs = std::filesystem;

struct Measure {
    bool ok = false;
    double seconds = 0;
    double peakMiB = 0;
};

// Runs argv as a child with its output silenced (its standard output into `output` when given);
// wall time and the child's own peak memory.
inline Measure RunChild(const std::vector<std::string>& argv, const std::string& output = {}) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        int out = output.empty() ? null : open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (null >= 0) dup2(null, 2);
        if (out >= 0) dup2(out, 1);
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

// Runs each of the two commands `runs` times, alternating, and keeps each one's fastest run.
inline std::pair<Measure, Measure> Compare(const std::vector<std::string>& ours,
                                           const std::vector<std::string>& theirs, int runs,
                                           const std::function<void(int which)>& before = {}) {
    Measure bestOurs, bestTheirs;
    for (int i = 0; i < runs; ++i) {
        for (int which = 0; which < 2; ++which) {
            if (before) before(which);
            // What the previous run left for the disk is written out first (7-Zip does not wait
            // for its output, we do), so neither run pays for the other's write-back.
            ::sync();
            Measure m = RunChild(which == 0 ? ours : theirs);
            Measure& best = which == 0 ? bestOurs : bestTheirs;
            if (!m.ok) return {Measure{}, Measure{}};
            if (!best.ok || m.seconds < best.seconds) best = m;
        }
    }
    return {bestOurs, bestTheirs};
}

inline std::vector<std::string> With(std::vector<std::string> command,
                                     const std::vector<std::string>& more) {
    command.insert(command.end(), more.begin(), more.end());
    return command;
}

inline double FileMiB(const fs::path& p) {
    std::error_code ec;
    return static_cast<double>(fs::file_size(p, ec)) / (1024.0 * 1024.0);
}

// Mail-like text: words of a fixed vocabulary, skewed towards the common ones, with numbers.
inline void TextBlock(std::mt19937_64& rng, const std::vector<std::string>& words, std::string& out,
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

// 4,000 made-up words of 2 to 10 letters.
inline std::vector<std::string> Vocabulary(std::mt19937_64& rng) {
    std::vector<std::string> words;
    for (int i = 0; i < 4000; ++i) {
        std::string w;
        size_t len = 2 + rng() % 9;
        for (size_t k = 0; k < len; ++k) w += static_cast<char>('a' + rng() % 26);
        words.push_back(w);
    }
    return words;
}

// The plain copy: `cp` of the files into a new folder on the same disk, then `sync` of the
// copies; its best throughput in MiB/s, or 0 when it failed.
inline double CopyThroughput(const std::vector<std::string>& files, const fs::path& dir, double mib,
                             int runs) {
    const fs::path copies = dir / "copy";
    std::vector<std::string> command = {"sh", "-c", "cp -- \"$@\" \"$0\" && cd \"$0\" && sync *",
                                        copies.string()};
    command.insert(command.end(), files.begin(), files.end());
    double best = 0;
    for (int i = 0; i < runs; ++i) {
        fs::remove_all(copies);
        fs::create_directories(copies);
        ::sync();
        Measure m = RunChild(command);
        if (!m.ok) return 0;
        best = std::max(best, mib / m.seconds);
    }
    fs::remove_all(copies);
    return best;
}

}  // namespace kestrine::bench
