#pragma once

// Shared helpers of the package tests: scratch folders, whole-file I/O and
// packages assembled byte by byte, independent of the code under test.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "package/FileIo.h"

namespace TestSupport
{

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with its content.
class ScratchDir
{
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const fs::path& Path() const { return m_path; }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    fs::path m_path;
};

std::vector<uint8_t> ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> Pattern(size_t size, uint32_t seed, bool compressible);

void Put16(std::vector<uint8_t>& out, uint16_t v);
void Put32(std::vector<uint8_t>& out, uint32_t v);
void Put64(std::vector<uint8_t>& out, uint64_t v);
uint32_t Get32(const std::vector<uint8_t>& bytes, size_t offset);

// A zlib stream as the package writer must produce it (default level,
// 15-bit window, memory level 8, default strategy).
std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data);

// Flips a bit of the byte at `at` and sets the four bytes after it so that the CRC-32 of
// `bytes` stays what it was: other content of the same size and CRC-32.
void ChangeKeepingCrc32(std::vector<uint8_t>& bytes, size_t at);

struct RawEntry
{
    std::u16string name;
    uint32_t kind = 0;
    std::vector<uint8_t> kindData = std::vector<uint8_t>(1016, 0);
    uint32_t storedSize = 0;
    uint32_t unpackedSize = 0;
    uint32_t dataOffset = 0;
    // Write the name field exactly as given (no terminator, no padding rule).
    std::vector<uint8_t> rawName;
};

std::vector<uint8_t> Record(const RawEntry& entry);

// Builds a package by hand: blocks are appended from offset 256 and the
// catalog follows them unless told otherwise.
class RawPackage
{
public:
    uint32_t build = 2105;
    uint32_t compressedFlag = 0;
    std::string title;
    std::vector<uint8_t> rawTitle; // used instead of `title` when not empty
    std::vector<RawEntry> entries;
    std::vector<uint8_t> data;

    // Appends a block and returns its absolute offset.
    uint32_t AddBlock(const std::vector<uint8_t>& bytes);
    // Appends an entry whose content is `bytes`, stored as given.
    void AddFileEntry(const std::u16string& name, const std::vector<uint8_t>& stored,
                      uint32_t unpackedSize);
    std::vector<uint8_t> Bytes(int32_t countOverride = -1, bool useCountOverride = false) const;
};

// A version-resource node: length, value length, type, key, value, children,
// each part aligned to 4 bytes.
std::vector<uint8_t> VersionNode(const std::u16string& key, const std::vector<uint8_t>& value,
                                 uint16_t valueLength, uint16_t type,
                                 const std::vector<std::vector<uint8_t>>& children = {});
std::vector<uint8_t> TextValue(const std::u16string& text);
// A VS_VERSIONINFO block with fixed info and one string table per key.
std::vector<uint8_t>
VersionBlock(uint32_t fileMs, uint32_t fileLs, const std::vector<std::u16string>& tableKeys,
             const std::vector<std::pair<std::u16string, std::u16string>>& strings,
             uint32_t translation);

// The room for the record of a medium's packages, empty, as Setup.rc reserves it.
std::vector<uint8_t> RecordRoom();

struct PeOptions
{
    bool pe32plus = false;
    bool withResources = true;
    uint32_t resourceType = 16; // RT_VERSION
    // When not empty: the room for the record of a medium's packages, as a setup carries it.
    std::vector<uint8_t> recordRoom;
};
// A minimal PE image whose resource section holds `versionBlock`.
std::vector<uint8_t> PeImage(const std::vector<uint8_t>& versionBlock,
                             const PeOptions& options = {});

} // namespace TestSupport
