#include "core/source/source_selection.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace zt {
namespace {

class SourceSelectionTest : public ::testing::Test {
protected:
    SourceSelectionTest() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zt-source-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
    }
    ~SourceSelectionTest() override { std::filesystem::remove_all(dir_); }

    std::string MakeFile(const std::string& name, std::uintmax_t size) {
        const std::filesystem::path p = dir_ / name;
        std::ofstream(p, std::ios::binary).put('\0');
        std::filesystem::resize_file(p, size);
        return p.string();
    }

    std::filesystem::path dir_;
    // The files of dir_ and /dev/null, as the system opens them.
    platform::RawIo& io_ = platform::SystemRawIo();
};

TEST_F(SourceSelectionTest, RegularFileIsReadThroughTheDeviceSlot) {
    const std::string card = MakeFile("card.dd", 1000 * 512 + 100);
    SourceDescriptor source;
    source.ImageMode = true;
    source.DeviceIndex = 3;
    const SourceChoice choice = ChooseSource(card, source, io_);
    ASSERT_TRUE(choice.Ok());
    EXPECT_EQ(choice.kind, SourceKind::Device);
    EXPECT_EQ(choice.SizeSectors(), 1001u);  // the partial last sector is scanned too
    EXPECT_FALSE(source.ImageMode);
    EXPECT_EQ(source.DeviceIndex, 0);
    EXPECT_EQ(source.SelectedDevice(), card);
}

TEST_F(SourceSelectionTest, ImageFolderDecidesSingleOrMultiFile) {
    SourceDescriptor source;
    // One small part reads the same either way and is read as parts.
    MakeFile("Image0.img", 700 * 1024);
    SourceChoice choice = ChooseSource(dir_.string(), source, io_);
    ASSERT_TRUE(choice.Ok());
    EXPECT_EQ(choice.kind, SourceKind::ImageSet);
    EXPECT_TRUE(source.ImageMode);
    EXPECT_TRUE(source.ImageMultiFile);
    EXPECT_EQ(source.ImageFolder, dir_.string() + "/");

    // One part larger than a part's normal size: a single-file image.
    MakeFile("Image0.img", ImagePartBytes + 512);
    choice = ChooseSource(dir_.string(), source, io_);
    EXPECT_FALSE(source.ImageMultiFile);
    EXPECT_EQ(choice.imageParts, 1);

    // A second part makes the first one's size wrong: its last sector would
    // push every sector of the next part one place on.
    MakeFile("IMAGE1.IMG", 1024);
    choice = ChooseSource(dir_.string(), source, io_);
    EXPECT_EQ(choice.problem, SourceProblem::PartWrongSize);
    EXPECT_EQ(choice.problemPath, dir_.string() + "/Image0.img");
    EXPECT_NE(ImageSetProblemText(choice).find("Image0.img holds 681574912 bytes, but every part before the last "
                                               "must hold exactly 681574400 bytes"),
              std::string::npos);

    // Two parts (names in any letter case); a part after a gap is refused, named.
    MakeFile("Image0.img", ImagePartBytes);
    choice = ChooseSource(dir_.string(), source, io_);
    ASSERT_TRUE(choice.Ok());
    EXPECT_TRUE(source.ImageMultiFile);
    EXPECT_EQ(choice.imageParts, 2);
    EXPECT_EQ(choice.sizeBytes, ImagePartBytes + 1024);
    MakeFile("Image3.img", 1024);
    choice = ChooseSource(dir_.string(), source, io_);
    EXPECT_EQ(choice.problem, SourceProblem::PartMissing);
    EXPECT_EQ(choice.problemPath, dir_.string() + "/Image2.img");
    EXPECT_EQ(choice.laterPart, "Image3.img");

    // Only regular files are opened: a FIFO part would hold the open forever.
    std::filesystem::remove(dir_ / "Image3.img");
    std::filesystem::remove(dir_ / "IMAGE1.IMG");
    ASSERT_EQ(::mkfifo((dir_ / "image1.img").c_str(), 0644), 0);
    choice = ChooseSource(dir_.string(), source, io_);
    EXPECT_EQ(choice.problem, SourceProblem::NotASource);
    EXPECT_EQ(choice.problemPath, dir_.string() + "/image1.img");

    // An empty image says so, instead of a range problem later.
    std::filesystem::remove(dir_ / "image1.img");
    MakeFile("Image0.img", 0);
    choice = ChooseSource(dir_.string(), source, io_);
    EXPECT_EQ(choice.problem, SourceProblem::EmptySource);
    choice = ChooseSource((dir_ / "Image0.img").string(), source, io_);
    EXPECT_EQ(choice.problem, SourceProblem::EmptySource);
}

TEST_F(SourceSelectionTest, UnusableSourcesAreRefusedWithTheirReason) {
    SourceDescriptor source;
    SourceChoice choice = ChooseSource((dir_ / "missing.dd").string(), source, io_);
    EXPECT_EQ(choice.problem, SourceProblem::Missing);
    EXPECT_EQ(choice.errnoValue, ENOENT);

    choice = ChooseSource(dir_.string(), source, io_);
    EXPECT_EQ(choice.problem, SourceProblem::NoImageInFolder);
    EXPECT_FALSE(source.ImageMode);

    choice = ChooseSource("/dev/null", source, io_);
    EXPECT_EQ(choice.problem, SourceProblem::NotASource);
}

TEST(RangeCheckTest, MessagesComeInOrderStartEndOrder) {
    SourceDescriptor source;
    EXPECT_EQ(CheckRange("0", "2097152", source), RangeProblem::None);
    EXPECT_EQ(source.RangeStart, 0u);
    EXPECT_EQ(source.RangeEnd, 2097152u);

    // Sector numbers are 64-bit: a disk larger than 2 TiB is read to its end,
    // up to the last sector whose byte position a file offset can hold.
    const struct {
        const char* start;
        const char* end;
        RangeProblem problem;
        std::uint64_t storedStart, storedEnd;
    } cases[] = {
        {"", "10", RangeProblem::StartInvalid, 0, 10},
        {"x", "", RangeProblem::StartInvalid, 0, 0},
        {"10", "-5", RangeProblem::EndInvalid, 10, 0},
        {"2048", "2048", RangeProblem::EndNotAfterStart, 2048, 2048},
        {"0", "4294967295", RangeProblem::None, 0, 4294967295u},
        {"4294967295", "4294967296", RangeProblem::None, 4294967295u, 4294967296u},
        {"4999999000", "5000001000", RangeProblem::None, 4999999000u, 5000001000u},
        {"0", "18014398509481983", RangeProblem::None, 0, MaxRangeSector},
        {"0", "18014398509481984", RangeProblem::EndInvalid, 0, 0},
        {"18014398509481984", "1", RangeProblem::StartInvalid, 0, 1},
        {"99999999999999999999999", "1", RangeProblem::StartInvalid, 0, 1},
        {"5000001000", "4999999000", RangeProblem::EndNotAfterStart, 5000001000u, 4999999000u},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.start) + ":" + c.end);
        EXPECT_EQ(CheckRange(c.start, c.end, source), c.problem);
        EXPECT_EQ(source.RangeStart, c.storedStart);
        EXPECT_EQ(source.RangeEnd, c.storedEnd);
    }
    EXPECT_EQ(MaxRangeSector * 512, 0x7FFF'FFFF'FFFF'FE00u);

    EXPECT_EQ(RangeProblemMessage(RangeProblem::StartInvalid), "Start sector is not valid.");
    EXPECT_EQ(RangeProblemMessage(RangeProblem::EndInvalid), "End sector is not valid.");
    EXPECT_EQ(RangeProblemMessage(RangeProblem::EndNotAfterStart), "End sector should be bigger than start sector.");
}

}  // namespace
}  // namespace zt
