#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <random>

#include "cli/commands.h"
#include "engine/header_rebuild.h"
#include "engine/memory_file.h"
#include "tests/cli/run_command.h"
#include "tests/support/cfb_writer.h"

namespace deckwright {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

using Result = testing::CommandRun;
using testing::RunDeckwright;

class InspectCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("deckwright-inspect-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const Bytes& bytes) {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }
    static Bytes Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    static std::string Hex(const std::array<std::uint8_t, SECTOR_SIZE>& b) {
        static const char* d = "0123456789abcdef";
        std::string s;
        for (auto x : b) s += {d[x >> 4], d[x & 15]};
        return s;
    }

    fs::path dir_;
};

// A presentation whose header lost its directory location and mini FAT count.
Bytes DamagedPresentation() {
    Bytes file = testing::WriteCompoundFile(testing::PresentationStreams(30000, 21));
    auto h = CompoundFileHeader::Parse(
        std::span<const std::uint8_t, SECTOR_SIZE>(file.data(), SECTOR_SIZE));
    h.first_directory_sector_location = 0xFFFFFFFF;
    h.number_of_mini_fat_sectors = 77;
    h.header_clsid[3] = 0xAB;
    h.Serialize(std::span<std::uint8_t, SECTOR_SIZE>(file.data(), SECTOR_SIZE));
    return file;
}

TEST_F(InspectCommand, JsonDescribesFoundAndRebuiltHeaders) {
    const Bytes damaged = DamagedPresentation();
    const Bytes healthy = testing::WriteCompoundFile(testing::PresentationStreams(5000, 22));
    const std::string a = Write("damaged.ppt", damaged), b = Write("healthy.ppt", healthy);
    const Result r = RunDeckwright({"inspect", "--json", a, b});
    ASSERT_EQ(r.status, cli::kExitOk) << r.err;
    EXPECT_EQ(r.err, "");
    const auto doc = nlohmann::json::parse(r.out);
    ASSERT_TRUE(doc.is_array());
    ASSERT_EQ(doc.size(), 2u);

    const auto& d = doc[0];
    EXPECT_EQ(d["file"], a);
    EXPECT_EQ(d["length"], damaged.size());
    for (const char* side : {"found", "rebuilt"}) {
        const auto& h = d[side];
        ASSERT_TRUE(h.is_object()) << side;
        EXPECT_EQ(h.size(), 18u) << side;
        EXPECT_TRUE(h["difat"].is_array());
        EXPECT_EQ(h["difat"].size(), 109u);
        EXPECT_TRUE(h["number_of_fat_sectors"].is_number_unsigned());
    }
    EXPECT_EQ(d["found"]["header_signature"], "d0cf11e0a1b11ae1");
    EXPECT_EQ(d["found"]["header_clsid"], "000000ab000000000000000000000000");
    EXPECT_EQ(d["rebuilt"]["header_clsid"], "00000000000000000000000000000000");
    EXPECT_EQ(d["found"]["reserved"], "000000000000");
    EXPECT_EQ(d["found"]["first_directory_sector_location"], 0xFFFFFFFFu);
    EXPECT_EQ(d["found"]["number_of_mini_fat_sectors"], 77);

    MemoryFile m(damaged);
    const auto rebuilt = ComputeRebuiltHeader(m);
    EXPECT_EQ(d["rebuilt_header_hex"], Hex(rebuilt));
    const auto expected = CompoundFileHeader::Parse(rebuilt);
    EXPECT_EQ(d["rebuilt"]["first_directory_sector_location"],
              expected.first_directory_sector_location);
    EXPECT_EQ(d["rebuilt"]["number_of_mini_fat_sectors"], expected.number_of_mini_fat_sectors);
    EXPECT_EQ(d["changed"], nlohmann::json({"header_clsid", "first_directory_sector_location",
                                            "number_of_mini_fat_sectors"}));

    EXPECT_EQ(doc[1]["file"], b);
    EXPECT_EQ(doc[1]["changed"], nlohmann::json::array());
    EXPECT_EQ(doc[1]["found"], doc[1]["rebuilt"]);
}

TEST_F(InspectCommand, JsonJudgesTheHeaderAsFoundRebuiltAndReconstructed) {
    const Bytes healthy = testing::WriteCompoundFile(testing::PresentationStreams(30000, 23));
    const std::string damaged = Write("damaged.ppt", DamagedPresentation());
    Bytes zeroed = healthy;
    std::fill_n(zeroed.begin(), SECTOR_SIZE, 0);
    const std::string blank = Write("zeroed.ppt", zeroed);
    const std::string junk = Write("junk.ppt", Bytes(4096, 0x5A));
    const Result r = RunDeckwright({"inspect", "--json", damaged, blank, junk});
    ASSERT_EQ(r.status, cli::kExitOk) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    ASSERT_EQ(doc.size(), 3u);

    // The damaged directory pointer makes the file unsound as found; the reconstruction gives
    // back exactly the header the file was written with.
    const auto& d = doc[0];
    EXPECT_EQ(d["check"]["found"]["sound"], false);
    EXPECT_TRUE(d["check"]["found"]["problem"].is_string());
    EXPECT_EQ(d["check"]["reconstructed"]["sound"], true);
    EXPECT_TRUE(d["check"]["reconstructed"]["problem"].is_null());
    EXPECT_TRUE(d["check"]["rebuilt"]["sound"].is_boolean());
    const auto original = CompoundFileHeader::Parse(
        std::span<const std::uint8_t, SECTOR_SIZE>(healthy.data(), SECTOR_SIZE));
    EXPECT_EQ(d["reconstructed"]["first_directory_sector_location"],
              original.first_directory_sector_location);
    EXPECT_EQ(d["reconstructed"]["number_of_mini_fat_sectors"],
              original.number_of_mini_fat_sectors);

    // A zeroed header: the file is not sound as found, but its streams come back.
    EXPECT_EQ(doc[1]["check"]["found"]["sound"], false);
    EXPECT_EQ(doc[1]["check"]["reconstructed"]["sound"], true);
    EXPECT_EQ(doc[1]["check"]["reconstructed"]["streams"].size(), 4u);
    EXPECT_EQ(doc[1]["reconstructed"]["number_of_fat_sectors"], original.number_of_fat_sectors);

    // Nothing to reconstruct from: no header, and a reason.
    EXPECT_TRUE(doc[2]["reconstructed"].is_null());
    EXPECT_EQ(doc[2]["check"]["reconstructed"]["sound"], false);
    EXPECT_TRUE(doc[2]["check"]["reconstructed"]["problem"].is_string());
}

TEST_F(InspectCommand, TextMarksChangedFields) {
    const std::string a = Write("damaged.ppt", DamagedPresentation());
    const Result r = RunDeckwright({"inspect", a});
    ASSERT_EQ(r.status, cli::kExitOk) << r.err;
    EXPECT_NE(r.out.find(a), std::string::npos);
    EXPECT_NE(r.out.find("* first_directory_sector_location"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  number_of_fat_sectors"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("3 field(s)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("check as found:         NOT sound: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("check as reconstructed: sound (4 streams)"), std::string::npos) << r.out;
}

// A flipped FAT entry in a file that keeps an earlier version in free sectors: the earlier
// version checks out, but the repair rebuilds the latest one past the header, and inspect says
// which sector and why.
TEST_F(InspectCommand, SaysWhatTheRepairRebuildsPastTheHeader) {
    const char* corpus = std::getenv("DECKWRIGHT_CORPUS_DIR");
    Bytes f = corpus ? Read(std::string(corpus) + "/poi_41071.ppt") : Bytes{};
    if (f.size() < 2 * SECTOR_SIZE) GTEST_SKIP() << "poi_41071.ppt is not in DECKWRIGHT_CORPUS_DIR";
    const auto h = CompoundFileHeader::Parse(std::span<const std::uint8_t, SECTOR_SIZE>(f.data(), SECTOR_SIZE));
    f[(h.difat[0] + 1) * SECTOR_SIZE + 4 * 3 + 2] ^= 0x01;  // the entry of sector 3
    const std::string a = Write("flipped.ppt", f);
    const Result r = RunDeckwright({"inspect", a});
    ASSERT_EQ(r.status, cli::kExitOk) << r.err;
    EXPECT_NE(r.out.find("an earlier version"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("past the header, the repair would rebuild 1 sector(s)"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("sector " + std::to_string(h.difat[0]) + ": the FAT sector of sectors 0 to 127 (1 of"),
              std::string::npos)
        << r.out;
}

// With the header zeroed too, no header makes the file sound: inspect tells what the repair
// does (rebuilds the wiped FAT sector under the layout it works out), as `repair` then does it,
// and the file stays as it was.
TEST_F(InspectCommand, SaysWhatTheRepairRebuildsWhenTheHeaderIsLostToo) {
    const Bytes good =
        testing::WriteCompoundFile(testing::PresentationStreams(300000, 6), {false, 0});
    const auto h = CompoundFileHeader::Parse(
        std::span<const std::uint8_t, SECTOR_SIZE>(good.data(), SECTOR_SIZE));
    const std::uint32_t wiped = h.difat[h.number_of_fat_sectors - 1];
    Bytes f = good;
    std::fill_n(f.begin(), SECTOR_SIZE, std::uint8_t{0});
    std::fill_n(f.begin() + (wiped + 1) * SECTOR_SIZE, SECTOR_SIZE, std::uint8_t{0});
    const std::string a = Write("lost.ppt", f);

    const Result r = RunDeckwright({"inspect", a});
    ASSERT_EQ(r.status, cli::kExitOk) << r.err;
    EXPECT_NE(r.out.find("past the header, the repair would rebuild 1 sector(s), and then the file "
                         "checks out:\n    sector " +
                         std::to_string(wiped) + ": the FAT sector of"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(Read(a), f) << "inspect wrote to the file";

    const Result j = RunDeckwright({"inspect", "--json", a});
    ASSERT_EQ(j.status, cli::kExitOk) << j.err;
    const auto past = nlohmann::json::parse(j.out)[0]["past_header"];
    EXPECT_EQ(past["sound"], true);
    ASSERT_EQ(past["rebuilt"].size(), 1u);
    EXPECT_EQ(past["rebuilt"][0]["sector"], wiped);
}

// A file that checks out as found, but whose property set a flipped bit left under another
// name: inspect says the repair sets the name back.
TEST_F(InspectCommand, SaysWhichNameTheRepairSetsBack) {
    Bytes f = testing::WriteCompoundFile(testing::PresentationStreams(20000, 3));
    const auto h = CompoundFileHeader::Parse(
        std::span<const std::uint8_t, SECTOR_SIZE>(f.data(), SECTOR_SIZE));
    const std::size_t directory =
        (std::size_t{h.first_directory_sector_location} + 1) * SECTOR_SIZE;
    const std::u16string_view wanted = u"\u0005SummaryInformation";
    bool flipped = false;
    for (std::size_t e = 0; e < 4 && !flipped; ++e) {
        const std::size_t at = directory + e * 128;
        if (std::u16string_view(reinterpret_cast<const char16_t*>(f.data() + at), wanted.size()) ==
            wanted) {
            f[at + 2] ^= 0x04;  // "Wummary..."
            flipped = true;
        }
    }
    ASSERT_TRUE(flipped);
    const std::string a = Write("garbled.ppt", f);
    const Result r = RunDeckwright({"inspect", a});
    ASSERT_EQ(r.status, cli::kExitOk) << r.err;
    EXPECT_NE(r.out.find("check as found:         sound"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("is named \"WummaryInformation\", 1 bit(s) from \"SummaryInformation\", "
                         "which no entry bears: the name is set back"),
              std::string::npos)
        << r.out;
}

TEST_F(InspectCommand, UnreadableFilesAreReportedAndTheOthersStillInspected) {
    const std::string good = Write("good.ppt", DamagedPresentation());
    const std::string missing = (dir_ / "missing.ppt").string();
    const std::string folder = dir_.string();
    const Result r = RunDeckwright({"inspect", "--json", missing, good, folder});
    EXPECT_EQ(r.status, cli::kExitSomeFailed);
    EXPECT_NE(r.err.find("deckwright: " + missing + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("deckwright: " + folder + ": "), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    ASSERT_EQ(doc.size(), 1u);
    EXPECT_EQ(doc[0]["file"], good);
}

TEST_F(InspectCommand, ShortAndEmptyFilesAreInspected) {
    const std::string empty = Write("empty.ppt", {});
    const std::string short_file = Write("short.ppt", Bytes(300, 0x41));
    const Result r = RunDeckwright({"inspect", "--json", empty, short_file});
    ASSERT_EQ(r.status, cli::kExitOk) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    ASSERT_EQ(doc.size(), 2u);
    EXPECT_EQ(doc[0]["length"], 0);
    EXPECT_EQ(doc[0]["found"]["header_signature"], "0000000000000000");
    EXPECT_EQ(doc[0]["rebuilt"]["header_signature"], "d0cf11e0a1b11ae1");
    EXPECT_EQ(doc[1]["length"], 300);
    EXPECT_EQ(Read(empty).size(), 0u);
    EXPECT_EQ(Read(short_file), Bytes(300, 0x41));
}

TEST_F(InspectCommand, UsageErrors) {
    EXPECT_EQ(RunDeckwright({"inspect"}).status, cli::kExitUsage);
    EXPECT_EQ(RunDeckwright({"inspect", "--jsn", "x.ppt"}).status, cli::kExitUsage);
}

TEST_F(InspectCommand, InspectedFilesAreNotModified) {
    const Bytes damaged = DamagedPresentation();
    const std::string a = Write("damaged.ppt", damaged);
    // An old time, read back: file systems keep times at their own resolution.
    fs::last_write_time(a, fs::file_time_type::clock::now() - std::chrono::hours(24));
    const auto old_time = fs::last_write_time(a);
    for (const char* format : {"--json", ""}) {
        std::vector<std::string> args = {"inspect", a};
        if (*format) args.insert(args.begin() + 1, format);
        const Result r = RunDeckwright(args);
        EXPECT_EQ(r.status, cli::kExitOk) << r.err;
    }
    EXPECT_EQ(Read(a), damaged);
    EXPECT_EQ(fs::last_write_time(a), old_time);
}

}  // namespace
}  // namespace deckwright
