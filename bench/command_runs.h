// What the programs that time the command line from outside share: running a command with its
// output thrown away, and writing the presentations they feed it.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/compound_file_header.h"
#include "tests/support/cfb_writer.h"

extern char** environ;

namespace deckwright::bench {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

// How a finished command went.
struct Finished {
    int status = -1;              // its exit status; -1 when it could not start or was killed
    std::uint64_t peak_bytes = 0;  // its peak resident memory
    double cpu_seconds = 0;        // its time on a processor, its own and the system's for it
};

// Runs a command with its output thrown away and waits for it.
inline Finished RunCommand(const Args& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int err = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) return {};
    int status = 0;
    rusage usage{};
    // wait4 gives this child's own figures, not those of every child waited for so far.
    if (wait4(pid, &status, 0, &usage) != pid) return {};
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            static_cast<std::uint64_t>(usage.ru_maxrss) * 1024,  // Linux counts in KiB
            seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

inline void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A presentation of about `bytes` whose document holds atoms of 1 KB, its FAT after the
// streams, its header zeroed (a file of 512 MB has 65 DIFAT sectors).
inline std::vector<std::uint8_t> DamagedPresentation(std::size_t bytes) {
    std::vector<std::uint8_t> atom(1016);
    for (std::size_t i = 0; i < atom.size(); ++i)
        atom[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
    const std::vector<std::uint8_t> one = testing::Record(0, 0x0FA0, atom);
    const std::size_t target = bytes > 64 * 1024 ? bytes - 64 * 1024 : one.size();
    std::vector<std::uint8_t> records;
    records.reserve(target);
    while (records.size() + one.size() <= target)
        records.insert(records.end(), one.begin(), one.end());
    std::vector<std::uint8_t> file = testing::WriteCompoundFile(
        testing::PresentationStreamsHolding(records, 43), {false, 0});
    std::fill_n(file.begin(), SECTOR_SIZE, 0);
    return file;
}

}  // namespace deckwright::bench
