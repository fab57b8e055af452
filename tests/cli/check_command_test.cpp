#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "tests/cli/run_command.h"
#include "tests/support/cfb_writer.h"

namespace deckwright {
namespace {

namespace fs = std::filesystem;

testing::CommandRun RunCheck(std::vector<std::string> args) {
    args.insert(args.begin(), "check");
    return testing::RunDeckwright(std::move(args));
}

class CheckCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("deckwright-check-test-" +
                std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        auto good = testing::WriteCompoundFile(testing::PresentationStreams(20000, 9));
        good_ = Write("good.ppt", good);
        std::fill_n(good.begin(), 512, std::uint8_t{0});
        zeroed_ = Write("zeroed.ppt", good);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }
    fs::path dir_;
    std::string good_, zeroed_;
};

// A sound structure with damaged records: the first damaged record and its offset, status 3.
TEST_F(CheckCommand, DamagedRecordsAreNamedWithStatus3) {
    auto streams = testing::PresentationStreams(20000, 9);
    std::fill_n(streams[0].data.begin(), 8, std::uint8_t{0});
    const std::string damaged = Write("records.ppt", testing::WriteCompoundFile(streams));
    const auto run = RunCheck({damaged});
    EXPECT_EQ(run.status, cli::kExitWarning);
    EXPECT_NE(run.out.find("records damaged at offset 0"), std::string::npos) << run.out;
    EXPECT_EQ(RunCheck({good_, damaged}).status, cli::kExitWarning);
    EXPECT_EQ(RunCheck({zeroed_, damaged}).status, cli::kExitSomeFailed);
}

TEST_F(CheckCommand, ExitStatusSaysWhetherEveryFileIsSound) {
    EXPECT_EQ(RunCheck({good_}).status, cli::kExitOk);
    const testing::CommandRun bad = RunCheck({good_, zeroed_});
    EXPECT_EQ(bad.status, cli::kExitSomeFailed);
    EXPECT_NE(
        bad.out.find("zeroed.ppt: NOT sound: the header does not begin with the compound-file "
                     "signature"),
        std::string::npos)
        << bad.out;
    EXPECT_EQ(RunCheck({(dir_ / "missing.ppt").string()}).status, cli::kExitSomeFailed);
    EXPECT_EQ(RunCheck({}).status, cli::kExitUsage);
}

TEST_F(CheckCommand, JsonListsVerdictsAndStreams) {
    const testing::CommandRun run = RunCheck({"--json", good_, zeroed_});
    const auto doc = nlohmann::json::parse(run.out);
    ASSERT_EQ(doc.size(), 2u);
    EXPECT_TRUE(doc[0]["sound"].get<bool>());
    EXPECT_TRUE(doc[0]["problem"].is_null());
    EXPECT_EQ(doc[0]["streams"].size(), 4u);
    EXPECT_FALSE(doc[1]["sound"].get<bool>());
    EXPECT_FALSE(doc[1]["problem"].get<std::string>().empty());
}

// A name that is not UTF-8 made both commands abort on an uncaught JSON error, printing nothing.
TEST_F(CheckCommand, JsonPrintsNamesThatAreNotUtf8) {
    const std::string bad = (dir_ / "caf").string() + "\xE9 \xFF.ppt";  // Latin-1, and a stray byte
#ifndef _WIN32
    Write("caf\xE9 \xFF.ppt", testing::WriteCompoundFile(testing::PresentationStreams(20000, 9)));
#endif
    for (const char* command : {"check", "inspect"}) {
        SCOPED_TRACE(command);
        const testing::CommandRun run = testing::RunDeckwright({command, "--json", bad, good_});
        const auto doc = nlohmann::json::parse(run.out);
        ASSERT_GE(doc.size(), 1u);
#ifndef _WIN32
        // Each byte that is not UTF-8 shows as U+FFFD; the file itself was read all the same.
        EXPECT_EQ(doc[0]["file"].get<std::string>(),
                  (dir_ / "caf").string() + "\xEF\xBF\xBD \xEF\xBF\xBD.ppt");
        EXPECT_EQ(run.status, cli::kExitOk);
#endif
        EXPECT_EQ(doc.back()["file"].get<std::string>(), good_);
    }
}

TEST_F(CheckCommand, NeverWritesTheFile) {
    const auto before = fs::last_write_time(zeroed_);
    const auto size = fs::file_size(zeroed_);
    RunCheck({zeroed_});
    EXPECT_EQ(fs::last_write_time(zeroed_), before);
    EXPECT_EQ(fs::file_size(zeroed_), size);
}

}  // namespace
}  // namespace deckwright
