// How much room an install needs on each drive, worked out from plain values: the files
// the packages would write, what already stands at their targets, and each drive's
// cluster. Kept free of Win32 calls so that it can be checked on any platform.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace SpaceEstimate
{
// One file the install would write.
struct File
{
    std::string drive; // its target's drive, as DriveOf names it
    uint64_t size = 0; // the new file's bytes
    bool targetExists = false;
    uint64_t targetSize = 0; // the bytes of the file that stands there now
    bool kept = false;       // that file stays (its version is as new or newer)
};

struct Need
{
    std::string drive;
    uint64_t bytes = 0;
};

// The drive a full path lies on, upper case and with a trailing backslash: "C:\" or
// "\\SERVER\SHARE\"; empty for a path that names none.
std::string DriveOf(const std::string& path);

// `bytes` rounded up to whole clusters; a cluster of 0 counts as 1 byte.
uint64_t RoundUp(uint64_t bytes, uint64_t cluster);

// For each drive, in the order the files first name it: the files written less the files
// they replace, plus the largest of them, whose temporary file stands beside the old one
// until it is renamed, each rounded up to the drive's cluster (`clusters`; a drive it does
// not name counts in bytes). A drive where the install frees room needs that file alone.
std::vector<Need> Needs(const std::vector<File>& files,
                        const std::map<std::string, uint64_t>& clusters);

// Whether a package of `packageBytes` can hold files of `unpackedBytes` in all: a catalog
// that claims more is damaged, and no estimate is made from it.
bool IsPossible(uint64_t packageBytes, uint64_t unpackedBytes);

// Bytes as megabytes with one decimal, rounded up or down: what is needed is never shown
// smaller than it is, nor what is free larger.
std::string Megabytes(uint64_t bytes, bool roundUp);
} // namespace SpaceEstimate
