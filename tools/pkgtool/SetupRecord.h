#pragma once

// The record of a medium's packages in its Setup.exe (CPackageRecord): filled
// by medium build into the room the setup reserves, read by medium check.

#include <string>
#include <utility>
#include <vector>

#include "package/PackageDigest.h"
#include "package/PackageRecord.h"

namespace SetupRecord
{

// A package of the medium: its file name and where it is on disk.
using Package = std::pair<std::string, std::string>;

// Size, CRC-32 and SHA-256 of a file; false, with the last error, when it cannot
// be read.
bool FiguresOf(const std::string& path, PackageDigest::Figures* figures);

// Writes the record of `packages` into the room of the setup at `setup`, in
// place, and sets its checksum field right. A setup without the room (one of an
// older build) stays as it is, `*filled` false. A signed setup is refused: its
// signature would no longer hold. False, reported, on failure; what is wrong with
// the setup itself is told as of `shownAs`.
bool Fill(const std::string& setup, const std::string& shownAs,
          const std::vector<Package>& packages, bool* filled);

enum class Found
{
    NoRoom,     // a setup of an older build
    Empty,      // the room was never filled
    Record,     // `*record` holds the rows
    Unreadable, // `*why` says why
};
Found Read(const std::string& setup, CPackageRecord* record, std::string* why);

// Where a package of the medium and the record part: as the setup finds a package of its
// family (NotRecorded to OtherContent), or a row that names no package of the medium.
struct Disagreement
{
    enum class Kind
    {
        Unreadable, // `why` says why
        NotRecorded,
        Shorter,
        Longer,
        OtherContent,
        NotOnMedium,
    };
    Kind kind = Kind::Unreadable;
    std::string package;
    uint64_t size = 0; // the package's and its row's, when they differ
    uint32_t recordedSize = 0;
    bool sha256Differs = false; // which figures differ, for OtherContent
    bool crc32Differs = false;
    std::string why;
};
// Each of `packages` against its row, by size, SHA-256 and CRC-32 (the systems without
// SHA-256 compare the CRC-32 alone, so both must hold), then each row that none of
// them answers.
std::vector<Disagreement> Compare(const CPackageRecord& record,
                                  const std::vector<Package>& packages);
// What is wrong, as "4096 bytes, the record in Setup.exe says 8192 bytes".
std::string Describe(const Disagreement& disagreement);

} // namespace SetupRecord
