// What the command line costs next to copying or reading the same files, timed side by side by
// this one program (warm page cache, best of several rounds, the two sides alternating so that
// a drifting machine speed hits both):
//   repair of a 512 MB presentation with its header zeroed   vs  cp of it into the same folder
//   repair of the corpus files that repair, in one run       vs  cp of them into one folder
//   (the same batch with --jobs 1 and --jobs 2)
//   inspect of a 512 MB file of random bytes, header zeroed  vs  cat of it
// and two floors, each against the same cp: the system's copy of the 512 MB file then one read
// of the copy, and `check` of the batch on two processes (the checking a repair does, no copy).
// Usage: deckwright_vs_copy DECKWRIGHT [CORPUS_DIR] [ROUNDS]
// With ROUNDS 0 it only writes the two 512 MB files, says where, and keeps them (for strace).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <random>

#include "bench/command_runs.h"
#include "platform/file_system.h"

namespace {

using namespace deckwright::bench;

int Run(const Args& args) { return RunCommand(args).status; }

double Seconds(const Args& args, const fs::path& clean, const std::function<void()>& here = {}) {
    if (!clean.empty()) {
        fs::remove_all(clean);
        fs::create_directories(clean);
    }
    const auto start = std::chrono::steady_clock::now();
    if (here)
        here();
    else
        Run(args);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::vector<std::uint8_t> RandomBytes(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::mt19937_64 random(1);
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        const std::uint64_t v = random();
        std::copy_n(reinterpret_cast<const std::uint8_t*>(&v), 8,
                    bytes.begin() + static_cast<std::ptrdiff_t>(i));
    }
    std::fill_n(bytes.begin(), deckwright::SECTOR_SIZE, 0);
    return bytes;
}

struct Pair {
    std::string what;
    Args ours, theirs;
    fs::path ours_clean, theirs_clean;
    std::function<void()> ours_here = {};  // instead of running `ours`
    double best_ours = 1e9, best_theirs = 1e9;
};

// Copies from into to as the repair makes its working copy, handing each piece to a watcher
// that does nothing with it.
void CopyAsRepairDoes(const std::string& from, const std::string& to) {
    struct Blind final : deckwright::CopyWatcher {
        void Begin(std::uint64_t) override {}
        void See(std::uint64_t, std::span<const std::uint8_t>) override {}
    } blind;
    deckwright::FileSystem files;
    std::string error;
    files.CopyToTemporary(from, to, &error, &blind);
}

// Copies from into to as cp does (copy_file_range), then reads the copy once, 1 MiB at a time.
void CopyThenRead(const std::string& from, const std::string& to) {
    const int in = open(from.c_str(), O_RDONLY);
    const int out = open(to.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (in >= 0 && out >= 0) {
        const off_t length = lseek(in, 0, SEEK_END);
        loff_t at_in = 0, at_out = 0;
        while (at_in < length && copy_file_range(in, &at_in, out, &at_out,
                                                 static_cast<std::size_t>(length - at_in), 0) > 0) {
        }
        std::vector<char> piece(std::size_t{1} << 20);
        lseek(out, 0, SEEK_SET);
        while (read(out, piece.data(), piece.size()) > 0) {
        }
    }
    if (in >= 0) close(in);
    if (out >= 0) close(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: deckwright_vs_copy DECKWRIGHT [CORPUS_DIR] [ROUNDS]\n";
        return 2;
    }
    const std::string deckwright = fs::absolute(argv[1]).string();
    const fs::path corpus = argc > 2 ? fs::path(argv[2]) : fs::path("../shared/corpus/ppt");
    const int rounds = argc > 3 ? std::max(0, std::atoi(argv[3])) : 5;
    const fs::path work =
        fs::temp_directory_path() / ("deckwright-vs-copy-" + std::to_string(getpid()));
    fs::create_directories(work / "in");

    const fs::path big = work / "in" / "big512.ppt";
    WriteBytes(big, DamagedPresentation(std::size_t{512} << 20));
    const fs::path noise = work / "in" / "random512.ppt";
    WriteBytes(noise, RandomBytes(std::size_t{512} << 20));

    if (rounds == 0) {
        std::printf("%s\n%s\n", big.c_str(), noise.c_str());
        return 0;
    }

    // The corpus files that repair (exit status 0 or 3), as the batch.
    Args batch;
    if (fs::is_directory(corpus)) {
        std::vector<fs::path> all;
        for (const auto& e : fs::directory_iterator(corpus))
            if (e.is_regular_file() && e.path().extension() == ".ppt") all.push_back(e.path());
        std::sort(all.begin(), all.end());
        for (const fs::path& p : all) {
            fs::remove_all(work / "probe");
            fs::create_directories(work / "probe");
            const int status = Run({deckwright, "repair", "--out", (work / "probe").string(),
                                    "--suffix", "_r", p.string()});
            if (status == 0 || status == 3) batch.push_back(p.string());
        }
    }

    const std::string out_big = (work / "out-big").string();
    std::vector<Pair> pairs;
    const std::string big_copy = (work / "in" / "big512_r.ppt").string();
    pairs.push_back({"repair 512 MB, header zeroed  vs cp",
                     {deckwright, "repair", "--out", out_big, "--suffix", "_r", big.string()},
                     {"cp", big.string(), big_copy},
                     out_big,
                     {}});
    // The share of the repair that is the copy it looks at: made as the repair makes it, through
    // this process, with nothing looked at.
    pairs.push_back(
        {"  its copy alone, nothing looked at", {}, {"cp", big.string(), big_copy}, {}, {}, [&] {
             CopyAsRepairDoes(big.string(), big_copy);
         }});
    // What no repair whose verdict reads its own copy can beat: the system's own copy, then one
    // read of the copy (its records can only be walked once the copy is whole and its tables
    // are known), in this process.
    pairs.push_back({"  floor: kernel copy, then one read of it",
                     {},
                     {"cp", big.string(), big_copy},
                     {},
                     {},
                     [&] { CopyThenRead(big.string(), big_copy); }});
    if (!batch.empty()) {
        const fs::path out_batch = work / "out-batch", cp_batch = work / "cp-batch";
        Args ours = {deckwright, "repair", "--out", out_batch.string(), "--suffix", "_r"};
        Args theirs = {"cp"};
        for (const std::string& f : batch) ours.push_back(f), theirs.push_back(f);
        theirs.push_back(cp_batch.string());
        pairs.push_back({"repair " + std::to_string(batch.size()) + " corpus files vs cp", ours,
                         theirs, out_batch, cp_batch});
        for (const char* jobs : {"1", "2"}) {
            Args with_jobs = ours;
            with_jobs.insert(with_jobs.begin() + 2, {"--jobs", jobs});
            Pair p{"  the same, --jobs " + std::string(jobs) + " vs cp", with_jobs, theirs,
                   out_batch, cp_batch};
            // Only when this deckwright knows the option. Into an empty folder: a copy it cannot
            // save would be kept in the temporary folder for its user.
            fs::remove_all(work / "probe");
            fs::create_directories(work / "probe");
            if (Run({deckwright, "repair", "--jobs", "1", "--out", (work / "probe").string(),
                     "--suffix", "_j", batch.front()}) != 2)
                pairs.push_back(p);
        }
        // The checks a repair makes of what it saves, without any copy, the files dealt out
        // to two processes side by side as two jobs deal them: a floor for the batch.
        std::string halves[2];
        for (std::size_t i = 0; i < batch.size(); ++i) {
            std::string quoted = " '";
            for (const char c : batch[i])
                quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
            halves[i % 2] += quoted + "'";
        }
        pairs.push_back(
            {"  floor: check of them, two at once vs cp",
             {"sh", "-c", "\"$0\" check" + halves[0] + " & \"$0\" check" + halves[1] + "; wait",
              deckwright},
             theirs,
             {},
             cp_batch});
    }
    pairs.push_back({"inspect 512 MB random bytes    vs cat",
                     {deckwright, "inspect", noise.string()},
                     {"cat", noise.string()},
                     {},
                     {}});

    Run({"cat", big.string(), noise.string()});  // warm the page cache
    for (int r = 0; r < rounds; ++r) {
        for (Pair& p : pairs) {
            p.best_theirs = std::min(p.best_theirs, Seconds(p.theirs, p.theirs_clean));
            p.best_ours = std::min(p.best_ours, Seconds(p.ours, p.ours_clean, p.ours_here));
            fs::remove(work / "in" / "big512_r.ppt");
        }
    }
    std::printf("%-40s %10s %10s %8s\n", "work", "deckwright", "copy/read", "ratio");
    for (const Pair& p : pairs)
        std::printf("%-40s %9.3fs %9.3fs %7.2fx\n", p.what.c_str(), p.best_ours, p.best_theirs,
                    p.best_ours / p.best_theirs);
    std::printf("(best of %d rounds; batch of %zu files)\n", rounds, batch.size());
    fs::remove_all(work);
    return 0;
}
