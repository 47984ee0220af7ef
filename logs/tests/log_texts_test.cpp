#include "logs/log_texts.h"

#include <gtest/gtest.h>


namespace zt {
namespace {

TEST(ElapsedTimeTextTest, HoursFormFromOneHourAndWholeDaysDropped) {
    EXPECT_EQ(ElapsedTimeText(3 * 3600 + 2 * 60), "Elapsed Time : 3 Hrs 2 Mins");
    EXPECT_EQ(ElapsedTimeText(59 * 60 + 59), "Elapsed Time : 59 Mins 59 Secs");
    EXPECT_EQ(ElapsedTimeText(3600), "Elapsed Time : 1 Hrs 0 Mins");
    EXPECT_EQ(ElapsedTimeText(24 * 3600), "Elapsed Time : 0 Mins 0 Secs");
    EXPECT_EQ(ElapsedTimeText(25 * 3600 + 10 * 60), "Elapsed Time : 1 Hrs 10 Mins");
    EXPECT_EQ(ElapsedTimeText(75), "Elapsed Time : 1 Mins 15 Secs");
    EXPECT_EQ(ElapsedTimeText(-5), "Elapsed Time : 0 Mins 0 Secs");
}

std::tm At(int year, int month, int day, int weekday, int hour, int minute) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_wday = weekday;
    t.tm_hour = hour;
    t.tm_min = minute;
    return t;
}

TEST(StartTimeTextTest, TwelveHourClockWithTwoDigits) {
    EXPECT_EQ(StartTimeText(At(2025, 3, 7, 5, 21, 5)), "Starting Time : 09:05 PM");
    EXPECT_EQ(StartTimeText(At(2025, 3, 7, 5, 14, 5)), "Starting Time : 02:05 PM");
    EXPECT_EQ(StartTimeText(At(2025, 3, 7, 5, 0, 30)), "Starting Time : 12:30 AM");
    EXPECT_EQ(StartTimeText(At(2025, 3, 7, 5, 12, 0)), "Starting Time : 12:00 PM");
}

TEST(StartBlockTimeTextTest, EnglishNamesWhateverTheLocale) {
    EXPECT_EQ(StartBlockTimeText(At(2025, 3, 7, 5, 21, 5)), "21:05 - Friday, March 07, 2025");
    EXPECT_EQ(StartBlockTimeText(At(2024, 12, 29, 0, 0, 0)), "00:00 - Sunday, December 29, 2024");
}

}  // namespace
}  // namespace zt
