#include "package/EntryText.h"

#include <cstdio>

namespace EntryText
{
namespace
{
const uint64_t kTicksPerSecond = 10000000;
const int64_t kDaysFrom1601To1970 = 134774;

// Days since 1970-01-01 to a proleptic Gregorian date (H. Hinnant's civil_from_days).
void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}
} // namespace

CivilTime UtcFromFileTime(uint64_t fileTime)
{
    const uint64_t seconds = fileTime / kTicksPerSecond;
    const int64_t days = static_cast<int64_t>(seconds / 86400) - kDaysFrom1601To1970;
    const unsigned secondOfDay = static_cast<unsigned>(seconds % 86400);
    CivilTime time{};
    CivilFromDays(days, time.year, time.month, time.day);
    time.hour = secondOfDay / 3600;
    time.minute = secondOfDay / 60 % 60;
    time.second = secondOfDay % 60;
    return time;
}

std::string Version(uint64_t version)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%u.%u.%u.%u", static_cast<unsigned>(version >> 48),
                  static_cast<unsigned>((version >> 32) & 0xFFFF),
                  static_cast<unsigned>((version >> 16) & 0xFFFF),
                  static_cast<unsigned>(version & 0xFFFF));
    return text;
}
} // namespace EntryText
