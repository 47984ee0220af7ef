#include "core/source/byte_order.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace zt {
namespace {

// Fields as headers and file-system records hold them. The bytes with the
// top bit set are the ones a signed promotion would spread into the high
// bits of the result.
TEST(ByteOrderTest, FieldsReadInTheirOwnByteOrderWhateverTheirAlignment) {
    struct Case {
        const char* what;
        std::array<std::uint8_t, 9> bytes;  // the field starts at byte 1: not aligned
        std::uint16_t le16, be16;
        std::uint32_t le32, be32;
        std::uint64_t le64;
    };
    const Case cases[] = {
        {"FAT boot sector's 512 bytes per sector, then 8 sectors per cluster",
         {0xEE, 0x00, 0x02, 0x08, 0x01, 0x00, 0x02, 0x00, 0x00}, 0x0200, 0x0002, 0x01080200, 0x00020801,
         0x0000020001080200},
        {"every byte with its top bit set",
         {0x00, 0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8}, 0xFEFF, 0xFFFE, 0xFCFDFEFF, 0xFFFEFDFC,
         0xF8F9FAFBFCFDFEFF},
        {"PNG's IHDR length 13, big-endian", {0x89, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52}, 0x0000, 0x0000,
         0x0D000000, 0x0000000D, 0x524448490D000000},
        {"exFAT volume length of 2^32 sectors", {0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00}, 0x0000,
         0x0000, 0x00000000, 0x00000000, 0x0000000100000000},
        {"a high byte of 0x80 alone", {0x00, 0x00, 0x80, 0x00, 0x80, 0x00, 0x00, 0x00, 0x80}, 0x8000, 0x0080,
         0x80008000, 0x00800080, 0x8000000080008000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::uint8_t* field = c.bytes.data() + 1;
        EXPECT_EQ(Le16At(field), c.le16);
        EXPECT_EQ(Be16At(field), c.be16);
        EXPECT_EQ(Le32At(field), c.le32);
        EXPECT_EQ(Be32At(field), c.be32);
        EXPECT_EQ(Le64At(field), c.le64);
        // The structure form names the same field by its offset.
        EXPECT_EQ(Le16(c.bytes, 1), c.le16);
        EXPECT_EQ(Le32(c.bytes, 1), c.le32);
        EXPECT_EQ(Le64(c.bytes, 1), c.le64);
    }
}

}  // namespace
}  // namespace zt
