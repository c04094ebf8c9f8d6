#include "install/ReplaceRules.h"

#include <cstdio>

namespace ReplaceRules
{
Action Decide(bool targetExists, uint64_t oldVersion, uint64_t newVersion,
              const std::string& targetPath, bool askBeforeReplace)
{
    if (!targetExists)
    {
        return Action::Write;
    }
    if (newVersion != 0 && newVersion == oldVersion)
    {
        return Action::Keep;
    }
    if (oldVersion != 0)
    {
        if (newVersion > oldVersion || IsAlwaysReplaced(targetPath))
        {
            return Action::Write;
        }
        return Action::Keep;
    }
    return askBeforeReplace ? Action::Ask : Action::Write;
}

bool IsAlwaysReplaced(const std::string& targetPath)
{
    return targetPath.find("UX_W32.DLL") != std::string::npos ||
           targetPath.find("ux_w32.dll") != std::string::npos;
}

std::string VersionText(uint64_t version, const std::string& noVersionText)
{
    if (version == 0)
    {
        return noVersionText;
    }
    char text[32];
    std::snprintf(text, sizeof(text), "%u.%u.%u.%u", static_cast<unsigned>(version >> 48),
                  static_cast<unsigned>((version >> 32) & 0xFFFF),
                  static_cast<unsigned>((version >> 16) & 0xFFFF),
                  static_cast<unsigned>(version & 0xFFFF));
    return text;
}

namespace
{
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

std::string FormatFileTime(uint64_t fileTime)
{
    const uint64_t kTicksPerSecond = 10000000;
    const int64_t kDaysFrom1601To1970 = 134774;
    const uint64_t seconds = fileTime / kTicksPerSecond;
    const int64_t days = static_cast<int64_t>(seconds / 86400) - kDaysFrom1601To1970;
    const unsigned secondOfDay = static_cast<unsigned>(seconds % 86400);
    int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(days, year, month, day);
    char text[64];
    std::snprintf(text, sizeof(text), "%02u/%02u/%04lld %02u:%02u:%02u", day, month,
                  static_cast<long long>(year), secondOfDay / 3600, secondOfDay / 60 % 60,
                  secondOfDay % 60);
    return text;
}

std::string FolderOf(const std::string& path)
{
    const std::string::size_type slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string TempFileName(const std::string& folder, unsigned number)
{
    char name[32];
    std::snprintf(name, sizeof(name), "\\$tmp%04u.tmp", number);
    return folder + name;
}

std::string WithTrailingBackslash(const std::string& folder)
{
    if (!folder.empty() && folder.back() == '\\')
    {
        return folder;
    }
    return folder + "\\";
}
} // namespace ReplaceRules
