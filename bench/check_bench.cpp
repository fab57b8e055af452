// Speed of the structural check, the header reconstruction and the whole repair step on a
// 512 MB file, against one plain sequential read of the same file (warm page cache). Target:
// check plus reconstruction within 1.5 times the plain read. Each figure also shows how many
// times over the function read the file ("file_reads": bytes read / file size).
// The file is written to the temporary folder once and removed at exit.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "engine/compound_file_check.h"
#include "engine/header_reconstruction.h"
#include "engine/repair.h"
#include "runs/system_files.h"
#include "tests/support/cfb_writer.h"

namespace deckwright {
namespace {

namespace fs = std::filesystem;

class CheckBenchFile {
  public:
    CheckBenchFile() {
        // A document container of 1 KiB atoms: the repair's walk of the records meets a
        // record header in every 1 KiB of the stream, its worst case.
        std::vector<std::uint8_t> atom(1016);
        for (std::size_t i = 0; i < atom.size(); ++i)
            atom[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
        const std::vector<std::uint8_t> one = testing::Record(0, 0x0FA0, atom);
        std::vector<std::uint8_t> records;
        records.reserve((std::size_t{512} << 20) - 64 * 1024);
        while (records.size() + one.size() <= (std::size_t{512} << 20) - 64 * 1024)
            records.insert(records.end(), one.begin(), one.end());
        std::vector<testing::StreamSpec> streams = testing::PresentationStreamsHolding(records, 43);
        std::vector<std::uint8_t> file =
            testing::WriteCompoundFile(streams, testing::CfbLayout{false, 0});
        header_.assign(file.begin(), file.begin() + SECTOR_SIZE);
        path_ = (fs::temp_directory_path() / "deckwright-check-bench-512mb.ppt").string();
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()),
                   static_cast<std::streamsize>(file.size()));
        // One read to bring it into the page cache: every figure is taken warm.
        std::ifstream in(path_, std::ios::binary);
        std::vector<char> buf(1 << 20);
        while (in.read(buf.data(), static_cast<std::streamsize>(buf.size())) || in.gcount() > 0) {
        }
    }
    ~CheckBenchFile() { fs::remove(path_); }
    const std::string& path() const { return path_; }
    const std::vector<std::uint8_t>& header() const { return header_; }

  private:
    std::string path_;
    std::vector<std::uint8_t> header_;
};

CheckBenchFile& Bench() {
    static CheckBenchFile file;
    return file;
}

// Counts the bytes read through it.
class CountingFile final : public RandomAccessFile {
  public:
    explicit CountingFile(SystemFile& f) : f_(f) {}
    std::uint64_t Length() override { return f_.Length(); }
    bool Seek(std::uint64_t offset) override { return f_.Seek(offset); }
    std::size_t Read(std::span<std::uint8_t> out) override {
        const std::size_t n = f_.Read(out);
        bytes_ += n;
        return n;
    }
    bool CanReadAt() const override { return f_.CanReadAt(); }
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out,
                       std::string* error) override {
        const std::size_t n = f_.ReadAt(offset, out, error);
        bytes_ += n;
        return n;
    }
    bool Write(std::span<const std::uint8_t> data) override { return f_.Write(data); }
    std::uint64_t bytes() const { return bytes_; }

  private:
    SystemFile& f_;
    std::atomic<std::uint64_t> bytes_ = 0;  // the halves of a pass are read side by side
};

std::unique_ptr<SystemFile> Open(benchmark::State& state, OpenMode mode = OpenMode::kRead) {
    std::string error;
    auto file = OpenSystemFile(Bench().path(), mode, Sharing::kShared, &error);
    if (!file) state.SkipWithError(error.c_str());
    return file;
}

// Puts the header as written (or zeroed) back before a run.
bool SetHeader(benchmark::State& state, bool zeroed) {
    auto file = Open(state, OpenMode::kReadWrite);
    if (!file) return false;
    std::vector<std::uint8_t> h = Bench().header();
    if (zeroed) std::fill(h.begin(), h.end(), std::uint8_t{0});
    if (!file->Seek(0) || !file->Write(h)) {
        state.SkipWithError("the header could not be written");
        return false;
    }
    return true;
}

void Finish(benchmark::State& state, std::uint64_t bytes_read) {
    const auto size = static_cast<std::int64_t>(fs::file_size(Bench().path()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * size);
    state.counters["file_reads"] = static_cast<double>(bytes_read) /
                                   static_cast<double>(state.iterations()) /
                                   static_cast<double>(size);
}

// One plain read of the whole file through a 128 KiB buffer; returns the bytes read.
std::uint64_t PlainRead(SystemFile& file, std::vector<std::uint8_t>& buf) {
    std::uint64_t read = 0;
    file.Seek(0);
    while (std::size_t n = file.Read(buf)) read += n;
    return read;
}

// Opens the file for each iteration and runs work(os_file, counting_file) on it; the figure
// then shows how many times over the file was read.
template <class Work>
void ForEachRun(benchmark::State& state, Work work) {
    std::uint64_t read = 0;
    for (auto _ : state) {
        auto os = Open(state);
        if (!os) return;
        CountingFile file(*os);
        work(*os, file);
        read += file.bytes();
    }
    Finish(state, read);
}

// As the repair step does: one scratch for the check and the reconstruction. No hint, so the
// whole file is scanned even when the header as found checks out.
void CheckThenReconstruct(benchmark::State& state, RandomAccessFile& file) {
    cfb::CheckScratch scratch;
    const CheckResult as_found = cfb::CheckCompoundFileWith(file, scratch);
    const Reconstruction r = ComputeReconstructedHeader(file, nullptr, &scratch);
    state.counters["found"] = r.found ? 1 : 0;
    state.counters["sound_as_found"] = as_found.sound ? 1 : 0;
}

void BM_PlainRead512MB(benchmark::State& state) {
    Bench();  // written and warmed outside the timed loop
    std::vector<std::uint8_t> buf(128 * 1024);
    std::uint64_t read = 0;
    for (auto _ : state) {
        auto file = Open(state);
        if (!file) return;
        read += PlainRead(*file, buf);
    }
    Finish(state, read);
}

// state.range(0): 1 with the header zeroed, 0 undamaged.
void BM_Check512MB(benchmark::State& state) {
    if (!SetHeader(state, state.range(0) != 0)) return;
    ForEachRun(state, [&](SystemFile&, CountingFile& file) {
        state.counters["sound"] = CheckCompoundFile(file).sound ? 1 : 0;
    });
}

void BM_Reconstruct512MB(benchmark::State& state) {
    if (!SetHeader(state, state.range(0) != 0)) return;
    ForEachRun(state, [&](SystemFile&, CountingFile& file) {
        const Reconstruction r = ComputeReconstructedHeader(file, nullptr);
        const auto bytes = r.header.Bytes();
        state.counters["found"] =
            r.found && std::equal(bytes.begin(), bytes.end(), Bench().header().begin()) ? 1 : 0;
    });
}

void BM_CheckAndReconstruct512MB(benchmark::State& state) {
    if (!SetHeader(state, state.range(0) != 0)) return;
    ForEachRun(state, [&](SystemFile&, CountingFile& file) { CheckThenReconstruct(state, file); });
}

// The target itself, robust to a machine whose speed drifts from one minute to the next: each
// iteration times one plain read and then the check plus reconstruction, back to back, and
// "vs_plain_read" is the ratio of the two totals. The reported time is the check plus
// reconstruction's alone.
void BM_CheckAndReconstructVsPlainRead512MB(benchmark::State& state) {
    if (!SetHeader(state, state.range(0) != 0)) return;
    std::vector<std::uint8_t> buf(128 * 1024);
    double plain_seconds = 0, repair_seconds = 0;
    ForEachRun(state, [&](SystemFile& os, CountingFile& file) {
        const auto t0 = std::chrono::steady_clock::now();
        PlainRead(os, buf);
        const auto t1 = std::chrono::steady_clock::now();
        CheckThenReconstruct(state, file);
        const auto t2 = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(t2 - t1).count();
        plain_seconds += std::chrono::duration<double>(t1 - t0).count();
        repair_seconds += seconds;
        state.SetIterationTime(seconds);
    });
    state.counters["vs_plain_read"] = repair_seconds / plain_seconds;
}

// The whole repair step the program runs on a copy; the header is put back between runs.
void BM_Repair512MB(benchmark::State& state) {
    std::uint64_t read = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const bool ready = SetHeader(state, state.range(0) != 0);
        auto os = Open(state, OpenMode::kReadWrite);
        state.ResumeTiming();
        if (!ready || !os) return;
        CountingFile file(*os);
        const RepairOutcome o = RepairCompoundFile(file);
        state.counters["sound"] = o.sound ? 1 : 0;
        read += file.bytes();
    }
    Finish(state, read);
}

BENCHMARK(BM_PlainRead512MB)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Check512MB)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Reconstruct512MB)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CheckAndReconstruct512MB)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CheckAndReconstructVsPlainRead512MB)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK(BM_Repair512MB)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
}  // namespace deckwright
