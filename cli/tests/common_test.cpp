#include "cli/common.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace zt::cli {
namespace {

TEST(CliCommonTest, BadSectorAnswersFollowTheDialogsMnemonics) {
    EXPECT_EQ(ParseBadSectorAnswer("r"), Retry);
    EXPECT_EQ(ParseBadSectorAnswer(" S \r"), Skip);
    EXPECT_EQ(ParseBadSectorAnswer("e"), RetryAll);
    EXPECT_EQ(ParseBadSectorAnswer("Retry All"), RetryAll);
    EXPECT_EQ(ParseBadSectorAnswer("a"), SkipAll);
    EXPECT_EQ(ParseBadSectorAnswer("skip all"), SkipAll);
    EXPECT_EQ(ParseBadSectorAnswer(""), std::nullopt);
    EXPECT_EQ(ParseBadSectorAnswer("x"), std::nullopt);
}

TEST(CliCommonTest, OverwriteAnswersFollowTheDialogsMnemonics) {
    EXPECT_EQ(ParseOverwriteAnswer("y"), OverwriteAnswer::Yes);
    EXPECT_EQ(ParseOverwriteAnswer(" E\r"), OverwriteAnswer::YesToAll);
    EXPECT_EQ(ParseOverwriteAnswer("yes to all"), OverwriteAnswer::YesToAll);
    EXPECT_EQ(ParseOverwriteAnswer("n"), OverwriteAnswer::No);
    EXPECT_EQ(ParseOverwriteAnswer("o"), OverwriteAnswer::NoToAll);
    EXPECT_EQ(ParseOverwriteAnswer("No to ALL"), OverwriteAnswer::NoToAll);
    EXPECT_EQ(ParseOverwriteAnswer(""), std::nullopt);
    EXPECT_EQ(ParseOverwriteAnswer("a"), std::nullopt);
}

TEST(CliCommonTest, ProgressShowsPositionShareRateAndTimeLeft) {
    EXPECT_EQ(ProgressText({500, 0, 1000, 3, 0.1, {}}), "sector 500 / 1000 (50%) | 3 files");
    // 1,000,000 sectors of 512 bytes in 2 s is 256 MB/s; as much again is left.
    EXPECT_EQ(ProgressText({1'100'000, 100'000, 2'100'000, 0, 2.0, {}}),
              "sector 1100000 / 2100000 (50%) | 0 files | 256.0 MB/s | 0:00:02 left");
    EXPECT_EQ(ProgressText({0, 0, 0, 0, 5.0, {}}), "sector 0 / 0 (100%) | 0 files");
    // Imaging counts no files and names the part being written.
    EXPECT_EQ(ProgressText({250, 0, 1000, std::nullopt, 0.1, "Image0.img"}), "sector 250 / 1000 (25%) | Image0.img");
}

TEST(CliCommonTest, RefusalsNameThePathAndTheReason) {
    SourceChoice denied;
    denied.problem = SourceProblem::CannotOpen;
    denied.errnoValue = EACCES;
    const std::string text = SourceProblemText("/dev/sdz", denied);
    EXPECT_NE(text.find("/dev/sdz"), std::string::npos);
    EXPECT_NE(text.find("Permission denied"), std::string::npos);
    EXPECT_NE(text.find("root privileges"), std::string::npos);
    EXPECT_NE(text.find("sudo"), std::string::npos);

    SourceChoice noImage;
    noImage.problem = SourceProblem::NoImageInFolder;
    noImage.problemPath = "/media/backup";
    EXPECT_TRUE(
        SourceProblemText("/media/backup", noImage).starts_with("Image path not found. Please specify image path."));
}

TEST(CliCommonTest, SizesAndLists) {
    EXPECT_EQ(SizeText(512), "512 B");
    EXPECT_EQ(SizeText(1536), "1.5 KB");
    EXPECT_EQ(SizeText(3 * 1024 * 1024), "3.0 MB");
    EXPECT_EQ(SplitList("jpeg,,PNG", ','), (std::vector<std::string>{"jpeg", "", "PNG"}));
    EXPECT_EQ(UpperCase("mp3"), "MP3");
}

}  // namespace
}  // namespace zt::cli
