#pragma once

// What a package file is, read once from start to end: its size, its CRC-32
// (zlib's) and, where a SHA-256 is at hand, its SHA-256. The medium's record
// holds the same figures (CPackageRecord).

#include <cstdint>

#include "package/FileIo.h"
#include "package/Sha256.h"

namespace PackageDigest
{

struct Figures
{
    uint64_t size = 0;
    uint32_t crc32 = 0;
    bool hasSha256 = false;
    uint8_t sha256[CSha256::kSize] = {};
};

enum class Outcome
{
    Done,
    ReadFailed, // the last error says why
    HashFailed, // the SHA-256 failed; the last error says why
};

// Reads `file` from its current position to its end in chunks of 64 KiB.
// `sha256`, when given, must be open.
Outcome Read(FileIo::Handle file, CSha256* sha256, Figures* figures);

} // namespace PackageDigest
