#pragma once

// The record of a medium's packages that `pkgtool medium build` writes into
// the room Setup.exe reserves for it (a resource), so that a signature over
// Setup.exe covers it: each package's name, size, CRC-32 and SHA-256. The
// setup compares every package of its family with it before it changes
// anything.
//
// The room, all integers little-endian:
//   0   8  magic "KVPKGREC"
//   8   4  format, 1
//   12  4  number of rows; 0 while the room was never filled
//   16     rows of 64 bytes: name (16, ASCII, NUL-padded), size (4), CRC-32 (4),
//          SHA-256 (32), zero (8)

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CPackageRecord
{
public:
    // The room Setup.rc reserves, as RCDATA under this id.
    static const uint32_t kResourceId = 20130;
    static const size_t kRoomSize = 4096;
    static const size_t kSha256Size = 32;
    static const size_t kMaxNameLength = 15;

    struct Row
    {
        std::string name;
        uint32_t size = 0;
        uint32_t crc32 = 0;
        uint8_t sha256[kSha256Size] = {};
    };

    enum class State
    {
        Empty,     // the room was never filled: a setup that checks nothing
        Filled,    // rows were read
        Malformed, // not a record this setup can read
    };

    // What a package is against its row.
    enum class Verdict
    {
        Same,
        NotRecorded, // no row of that name
        Shorter,
        Longer,
        Different, // same size, other content
    };

    // Reads the room's content; the rows are kept only when Filled.
    State Read(const uint8_t* room, size_t size);
    // Writes the rows into a room of `size` bytes; false when they do not fit or a
    // name is too long.
    bool Write(uint8_t* room, size_t size) const;

    void Add(const Row& row) { m_rows.push_back(row); }
    const std::vector<Row>& Rows() const { return m_rows; }
    // The row of a package file name in any ASCII letter case; null when none.
    const Row* Find(const std::string& name) const;

    // The verdict from the size alone: Same means the content decides.
    static Verdict BySize(const Row* row, uint64_t size);
    // The verdict on content of the recorded size: by SHA-256 when `sha256` is
    // given, else by CRC-32.
    static Verdict ByContent(const Row& row, uint32_t crc32, const uint8_t* sha256);

private:
    std::vector<Row> m_rows;
};
