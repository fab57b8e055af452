// Speed of the header rebuild on files of about 1 MB, 64 MB and 512 MB with a zeroed header,
// against one plain sequential read of the same file. Files are written to the temporary
// folder once, read once to warm the page cache, and removed at exit.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "engine/header_rebuild.h"
#include "engine/sector_scan.h"
#include "runs/system_files.h"
#include "tests/support/cfb_writer.h"

namespace deckwright {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMiB = std::size_t{1} << 20;

class BenchFiles {
  public:
    ~BenchFiles() {
        for (const auto& [size, path] : paths_) fs::remove(path);
    }
    // A compound file of about `megabytes` MB with the FAT after the streams (so that the plain
    // rebuild has to search the whole file for every FAT sector) and an all-zero header.
    const std::string& Get(std::size_t megabytes) {
        auto it = paths_.find(megabytes);
        if (it != paths_.end()) return it->second;
        std::vector<std::uint8_t> file = testing::WriteCompoundFile(
            testing::PresentationStreams(megabytes * kMiB - 64 * 1024, 42),
            testing::CfbLayout{false, 0});
        std::fill_n(file.begin(), SECTOR_SIZE, 0);
        const fs::path path = fs::temp_directory_path() /
                              ("deckwright-bench-" + std::to_string(megabytes) + "mb.ppt");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()),
                   static_cast<std::streamsize>(file.size()));
        return paths_.emplace(megabytes, path.string()).first->second;
    }

  private:
    std::map<std::size_t, std::string> paths_;
};

BenchFiles& Files() {
    static BenchFiles files;
    return files;
}

std::unique_ptr<SystemFile> OpenOrSkip(benchmark::State& state, OpenMode mode) {
    std::string error;
    auto file = OpenSystemFile(Files().Get(static_cast<std::size_t>(state.range(0))), mode,
                             Sharing::kShared, &error);
    if (!file) state.SkipWithError(error.c_str());
    return file;
}

std::uint64_t ReadAll(SystemFile& file, std::vector<std::uint8_t>& buffer) {
    file.Seek(0);
    std::uint64_t total = 0;
    for (;;) {
        const std::size_t got = file.Read(buffer);
        total += got;
        if (got < buffer.size()) return total;
    }
}

void ZeroHeader(SystemFile& file) {
    const std::array<std::uint8_t, SECTOR_SIZE> zero{};
    file.Seek(0);
    file.Write(zero);
}

void BM_PlainRead(benchmark::State& state) {
    auto file = OpenOrSkip(state, OpenMode::kRead);
    if (!file) return;
    std::vector<std::uint8_t> buffer(SectorSurvey::kReadChunk);
    ReadAll(*file, buffer);  // warm the page cache
    for (auto _ : state) benchmark::DoNotOptimize(ReadAll(*file, buffer));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file->Length()));
}

template <int (*Rebuild)(RandomAccessFile&)>
void BM_Rebuild(benchmark::State& state) {
    auto file = OpenOrSkip(state, OpenMode::kReadWrite);
    if (!file) return;
    std::vector<std::uint8_t> buffer(SectorSurvey::kReadChunk);
    ReadAll(*file, buffer);
    for (auto _ : state) {
        state.PauseTiming();
        ZeroHeader(*file);
        state.ResumeTiming();
        Rebuild(*file);
    }
    if (file->Failed()) state.SkipWithError(file->Error().c_str());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file->Length()));
    // What the one pass holds besides its read buffer: a few bytes per FAT-like sector.
    ZeroHeader(*file);
    const SectorSurvey survey = SectorSurvey::Run(*file, [](const SectorBytes&, std::uint64_t) {
        return std::vector<std::uint32_t>{0, 1, 0};
    });
    state.counters["fat_like_sectors"] = survey.CountFatLike();
    state.counters["kept_bytes"] = static_cast<double>(survey.BytesKept());
    state.counters["peak_bytes"] = static_cast<double>(
        survey.BytesKept() + SectorSurvey::kReadBuffers * SectorSurvey::kReadChunk);
}

BENCHMARK(BM_PlainRead)->Arg(1)->Arg(64)->Arg(512)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rebuild<RebuildHeader>)
    ->Name("BM_RebuildHeader")
    ->Arg(1)
    ->Arg(64)
    ->Arg(512)
    ->Unit(benchmark::kMillisecond);
// The plain rebuild reads the file once per search (about 110 times here): 512 MB would take
// minutes, so it stops at 64 MB.
BENCHMARK(BM_Rebuild<RebuildHeaderLiteral>)
    ->Name("BM_RebuildHeaderLiteral")
    ->Arg(1)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace deckwright
