// ASF as ffmpeg writes it: video with or without sound is ASF, sound alone
// WMA, told apart by the header's stream properties; the file ends after
// its data object and the index objects that follow it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/scan/file_view.h"
#include "core/scan/format_walk.h"
#include "core/scan/tests/scan_fixture.h"

namespace zt::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(AsfFiles, VideoIsAsfSoundAloneIsWmaAndEachEndsAfterItsLastObject) {
    TempDir dir;
    const struct Case {
        const char* file;
        const char* options;
        const char* type;
        bool piped = false;  // written to a pipe: the data object's size is left open
    } cases[] = {
        {"video-sound.wmv", "-f lavfi -i testsrc=s=64x48:d=2 -f lavfi -i sine=d=2 -c:v wmv2 -c:a wmav2", "ASF"},
        {"video.wmv", "-f lavfi -i testsrc=s=64x48:d=1 -c:v wmv1", "ASF"},
        {"msmpeg4.asf", "-f lavfi -i testsrc=s=32x32:d=1 -c:v msmpeg4 -metadata title=clip", "ASF"},
        {"sound.wma", "-f lavfi -i sine=d=3 -c:a wmav2", "WMA"},
        {"tagged.wma", "-f lavfi -i sine=d=1:sample_rate=22050 -c:a wmav1 -metadata title=song -metadata artist=someone",
         "WMA"},
        {"piped.wmv", "-f lavfi -i testsrc=s=64x48:d=2 -f lavfi -i sine=d=2 -c:v msmpeg4 -c:a wmav2 -f asf", "ASF", true},
        {"piped.wma", "-f lavfi -i sine=d=3 -c:a wmav2 -f asf", "WMA", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::filesystem::path out = dir.Path() / c.file;
        const std::string command = std::string("ffmpeg -loglevel error -y ") + c.options +
                                    (c.piped ? " - > '" : " '") + out.string() + "' 2>&1";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << command << " (ffmpeg: scripts/deps.sh test installs it)";
        std::ifstream in(out, std::ios::binary);
        const Bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ASSERT_GT(file.size(), 1000u);

        Bytes sector(file.begin(), file.begin() + 512);
        EXPECT_EQ(DetectFormat(sector.data(), sector.size()).family, FormatFamily::Asf);
        Bytes followed = file;
        for (int i = 0; i < 3000; ++i) followed.push_back(static_cast<std::uint8_t>(i * 37 + 11));
        MemoryFileView view(followed.data(), followed.size());
        const Extent e = MeasureFormat(FormatFamily::Asf, view);
        EXPECT_EQ(e.kind, ExtentKind::Exact);
        if (c.piped) {
            // Its packets are followed to the index object after them; ffmpeg
            // writes a few index entries more than that object's size holds.
            EXPECT_LE(e.bytes, file.size());
            EXPECT_LT(file.size() - e.bytes, 64u);
        } else {
            EXPECT_EQ(e.bytes, file.size());
        }
        EXPECT_EQ(e.type, c.type);
    }
}

}  // namespace
}  // namespace zt::testing
