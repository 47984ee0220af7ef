#include "logs/log_texts.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace zt {

namespace {

constexpr std::array<const char*, 7> kDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                   "Thursday", "Friday", "Saturday"};
constexpr std::array<const char*, 12> kMonthNames = {"January", "February", "March",     "April",
                                                     "May",     "June",     "July",      "August",
                                                     "September", "October", "November", "December"};

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char buffer[128];
    int n = std::snprintf(buffer, sizeof buffer, format, args...);
    if (n < 0) return {};
    return std::string(buffer, std::min(static_cast<std::size_t>(n), sizeof buffer - 1));
}

}  // namespace

std::string ElapsedTimeText(std::int64_t seconds) {
    const std::int64_t d = seconds < 0 ? 0 : seconds;
    const auto hours = static_cast<int>(d / 3600 - (d / 86400) * 24);
    const auto minutes = static_cast<int>(d / 60 - (d / 3600) * 60);
    const auto secs = static_cast<int>(d - (d / 60) * 60);
    if (hours >= 1) return Format("Elapsed Time : %d Hrs %d Mins", hours, minutes);
    return Format("Elapsed Time : %d Mins %d Secs", minutes, secs);
}

std::string StartTimeText(const std::tm& local) {
    const int hour12 = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
    return Format("Starting Time : %02d:%02d %s", hour12, local.tm_min, local.tm_hour < 12 ? "AM" : "PM");
}

std::string StartTimeText(std::time_t moment) {
    std::tm local{};
    if (::localtime_r(&moment, &local) == nullptr) return {};
    return StartTimeText(local);
}

std::string StartBlockTimeText(std::time_t moment) {
    std::tm local{};
    if (::localtime_r(&moment, &local) == nullptr) return {};
    return StartBlockTimeText(local);
}

std::string StartBlockTimeText(const std::tm& local) {
    const char* day = kDayNames[static_cast<std::size_t>(local.tm_wday % 7)];
    const char* month = kMonthNames[static_cast<std::size_t>(local.tm_mon % 12)];
    return Format("%02d:%02d - %s, %s %02d, %d", local.tm_hour, local.tm_min, day, month, local.tm_mday,
                  local.tm_year + 1900);
}

}  // namespace zt
