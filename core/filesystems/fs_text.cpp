#include "core/filesystems/fs_text.h"

namespace zt::fs {

namespace {

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

constexpr std::uint32_t kReplacement = 0xFFFD;

}  // namespace

std::string Utf16ToUtf8(std::span<const std::uint16_t> units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint32_t u = units[i];
        if (u >= 0xD800 && u < 0xDC00) {
            if (i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00u));
                ++i;
            } else {
                AppendUtf8(out, kReplacement);
            }
        } else if (u >= 0xDC00 && u < 0xE000) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

std::string EntryName(std::string name) {
    for (char& c : name) {
        if (c == '/' || c == '\0') c = '_';
    }
    if (name.empty() || name == "." || name == "..") return std::string(1, '_');
    return name;
}

std::int64_t PackedTimeToUnix(std::uint16_t date, std::uint16_t time) {
    const int day = date & 0x1F;
    const int month = (date >> 5) & 0x0F;
    const int year = 1980 + (date >> 9);
    const int seconds = (time & 0x1F) * 2;
    const int minutes = (time >> 5) & 0x3F;
    const int hours = time >> 11;
    if (day < 1 || month < 1 || month > 12 || hours > 23 || minutes > 59 || seconds > 59) return 0;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hours;
    tm.tm_min = minutes;
    tm.tm_sec = seconds;
    return static_cast<std::int64_t>(timegm(&tm));
}

}  // namespace zt::fs
