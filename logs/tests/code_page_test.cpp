#include "logs/code_page.h"

#include <gtest/gtest.h>

namespace zt {
namespace {

TEST(Windows1252Test, AsciiAndLatinOneKeepTheirBytes) {
    EXPECT_EQ(Utf8ToWindows1252("Current Sector : 12 / 34\r\n"), "Current Sector : 12 / 34\r\n");
    EXPECT_EQ(Utf8ToWindows1252("Caf\u00e9 \u00df \u00ff \u00a0"), "Caf\xe9 \xdf \xff \xa0");
}

TEST(Windows1252Test, TheCodePagesOwnCharactersInTheHighControlRange) {
    EXPECT_EQ(Utf8ToWindows1252("\u20ac \u201c\u201d \u2026 \u0160 \u0178 \u2122"), "\x80 \x93\x94 \x85 \x8a \x9f \x99");
}

TEST(Windows1252Test, EachMissingCharacterIsOneReplacementByte) {
    EXPECT_EQ(Utf8ToWindows1252("a\u0101b"), "a?b");            // two-byte sequence
    EXPECT_EQ(Utf8ToWindows1252("\u6771\u4eac"), "??");          // three-byte sequences
    EXPECT_EQ(Utf8ToWindows1252("x\U0001F4F7y"), "x?y");         // four-byte sequence
    EXPECT_EQ(Utf8ToWindows1252("\u0085"), "?");                 // a control the code page lacks
}

TEST(Windows1252Test, MalformedUtf8NeverSwallowsTheTextAfterIt) {
    EXPECT_EQ(Utf8ToWindows1252("a\xff" "b"), "a?b");
    EXPECT_EQ(Utf8ToWindows1252("a\xe2\x82" "b"), "a?b");        // cut-short euro sign
    EXPECT_EQ(Utf8ToWindows1252("a\xc0\xaf" "b"), "a??b");       // overlong '/'
    EXPECT_EQ(Utf8ToWindows1252("a\xed\xa0\x80" "b"), "a???b");  // encoded surrogate
    EXPECT_EQ(Utf8ToWindows1252("end\xe2"), "end?");
}

}  // namespace
}  // namespace zt
