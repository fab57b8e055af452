// What the content check holds as the file grows: compared between a presentation of 4 MB and
// one of 32 MB, their documents laid out in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/compound_file_check.h"
#include "engine/memory_file.h"
#include "engine/presentation_check.h"
#include "tests/memory/counted_allocations.h"
#include "tests/support/cfb_writer.h"

namespace deckwright {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

struct Sized {
    std::vector<std::uint8_t> bytes;
    std::uint64_t sectors = 0;
};

Sized Presentation(std::size_t megabytes) {
    Sized p;
    p.bytes = testing::WriteCompoundFile(testing::PresentationStreams(megabytes * kMiB, 5));
    p.sectors = p.bytes.size() / SECTOR_SIZE;
    return p;
}

class BigFile : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        small_ = new Sized(Presentation(4));
        big_ = new Sized(Presentation(32));
    }
    static void TearDownTestSuite() {
        delete small_;
        delete big_;
    }
    static Sized* small_;
    static Sized* big_;
};
Sized* BigFile::small_ = nullptr;
Sized* BigFile::big_ = nullptr;

// Given the checks' scratch, the content walk reads the document through the FAT already there
// and keeps its chain as runs: nothing it holds grows by as much as a byte per sector.
TEST_F(BigFile, TheContentCheckHoldsNothingPerSector) {
    std::uint64_t peak[2] = {};
    for (int i = 0; i < 2; ++i) {
        const Sized& p = i == 0 ? *small_ : *big_;
        MemoryFile file(p.bytes);
        const CompoundFileHeader header = testing::HeaderOf(p.bytes);
        cfb::CheckScratch scratch;
        ASSERT_TRUE(cfb::CheckCompoundFileWith(file, header, scratch).sound);
        ContentCheck content;
        peak[i] = testing::HeapUsedBy(SIZE_MAX, [&] {
                      content = CheckPresentationContent(file, header, &scratch);
                  }).peak_live;
        EXPECT_TRUE(content.walked);
        EXPECT_FALSE(content.damaged) << content.problem;
    }
    EXPECT_LT(peak[1], peak[0] + (big_->sectors - small_->sectors))
        << "4 MB: " << peak[0] << " bytes, 32 MB: " << peak[1] << " bytes";
}

}  // namespace
}  // namespace deckwright
