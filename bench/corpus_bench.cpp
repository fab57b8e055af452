// The repair step's own work on real presentations, held in memory so that no file system
// takes part: the header rebuilt and checked, and every record walked, compressed objects
// inflated. The corpus files whose walk costs most are named here; the folder is
// DECKWRIGHT_CORPUS_DIR, else ../shared/corpus/ppt. A file that is not there is skipped.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/memory_file.h"
#include "engine/repair.h"

namespace deckwright {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> CorpusFile(const std::string& name) {
    const char* dir = std::getenv("DECKWRIGHT_CORPUS_DIR");
    const fs::path path = fs::path(dir ? dir : "../shared/corpus/ppt") / name;
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void BM_RepairInMemory(benchmark::State& state, const std::string& name) {
    const std::vector<std::uint8_t> bytes = CorpusFile(name);
    if (bytes.empty()) {
        state.SkipWithError(("not found: " + name).c_str());
        return;
    }
    bool sound = true;
    for (auto _ : state) {
        MemoryFile file(bytes);
        sound = sound && RepairCompoundFile(file).sound;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.counters["sound"] = sound ? 1 : 0;
}

// Many compressed pictures and objects: the inflating check is most of the time.
BENCHMARK_CAPTURE(BM_RepairInMemory, compressed_objects,
                  std::string("poi_23884_defense_FINAL_OOimport_edit.ppt"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RepairInMemory, big_17mb, std::string("lo_big_17mb.ppt"))
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RepairInMemory, small, std::string("poi_alterman_security.ppt"))
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace deckwright
