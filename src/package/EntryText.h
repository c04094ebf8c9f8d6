// The text forms of what an entry records: its 64-bit file version and its
// Windows file times. Shared by the setup's question and pkgtool's listing.
#pragma once

#include <cstdint>
#include <string>

namespace EntryText
{
struct CivilTime
{
    int64_t year;
    unsigned month, day, hour, minute, second;
};

// A file time (100 ns ticks since 1601-01-01 UTC) as a UTC calendar time; no
// time zone is applied, so the text reads the same on every machine.
CivilTime UtcFromFileTime(uint64_t fileTime);

// "major.minor.build.revision", each part a decimal 0..65535.
std::string Version(uint64_t version);
} // namespace EntryText
