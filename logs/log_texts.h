// Time texts that several writers of the logs share: the start block's time
// and the start and elapsed time lines of the scan summary and the saving report.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>


namespace zt {

// "Elapsed Time : %d Hrs %d Mins" from one hour on, else
// "Elapsed Time : %d Mins %d Secs". Whole days are dropped, so exactly 24
// hours reads "0 Mins 0 Secs". A negative duration (the clock was set back)
// counts as zero.
std::string ElapsedTimeText(std::int64_t seconds);

// "Starting Time : 09:05 PM": the hour on the 12-hour clock.
std::string StartTimeText(const std::tm& local);
// The same for a moment in local time; empty when it cannot be converted.
std::string StartTimeText(std::time_t moment);

// "21:05 - Friday, March 07, 2025": the time line of the start block. Day and
// month names are English whatever the locale, as in every other entry.
std::string StartBlockTimeText(const std::tm& local);
std::string StartBlockTimeText(std::time_t moment);

}  // namespace zt
