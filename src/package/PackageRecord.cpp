#include "package/PackageRecord.h"

#include "package/FileIo.h"

#include <cstring>

#include "package/ByteOrder.h"

namespace
{
using ByteOrder::GetLe32;
using ByteOrder::PutLe32;

const char kMagic[8] = {'K', 'V', 'P', 'K', 'G', 'R', 'E', 'C'};
constexpr uint32_t kFormat = 1;
constexpr size_t kHeaderSize = 16;
constexpr size_t kRowSize = 64;
constexpr size_t kNameField = 16;

// A name as the room holds it: printable ASCII, ended by NULs only.
bool ReadName(const uint8_t* field, std::string* name)
{
    name->clear();
    size_t length = 0;
    while (length < kNameField && field[length] != 0)
    {
        if (field[length] < 0x21 || field[length] > 0x7E)
        {
            return false;
        }
        ++length;
    }
    for (size_t i = length; i < kNameField; ++i)
    {
        if (field[i] != 0)
        {
            return false;
        }
    }
    name->assign(reinterpret_cast<const char*>(field), length);
    return length != 0 && length <= CPackageRecord::kMaxNameLength;
}
} // namespace

CPackageRecord::State CPackageRecord::Read(const uint8_t* room, size_t size)
{
    m_rows.clear();
    if (size < kHeaderSize || std::memcmp(room, kMagic, sizeof kMagic) != 0 ||
        GetLe32(room + 8) != kFormat)
    {
        return State::Malformed;
    }
    const uint32_t count = GetLe32(room + 12);
    if (count == 0)
    {
        return State::Empty;
    }
    if (count > (size - kHeaderSize) / kRowSize)
    {
        return State::Malformed;
    }
    std::vector<Row> rows;
    for (uint32_t i = 0; i < count; ++i)
    {
        const uint8_t* at = room + kHeaderSize + kRowSize * i;
        Row row;
        if (!ReadName(at, &row.name))
        {
            return State::Malformed;
        }
        for (const Row& earlier : rows)
        {
            if (FileIo::SameFileName(earlier.name, row.name))
            {
                return State::Malformed;
            }
        }
        row.size = GetLe32(at + 16);
        row.crc32 = GetLe32(at + 20);
        std::memcpy(row.sha256, at + 24, kSha256Size);
        rows.push_back(row);
    }
    m_rows.swap(rows);
    return State::Filled;
}

bool CPackageRecord::Write(uint8_t* room, size_t size) const
{
    if (size < kHeaderSize + kRowSize * m_rows.size())
    {
        return false;
    }
    for (const Row& row : m_rows)
    {
        if (row.name.empty() || row.name.size() > kMaxNameLength)
        {
            return false;
        }
    }
    std::memset(room, 0, size);
    std::memcpy(room, kMagic, sizeof kMagic);
    PutLe32(room + 8, kFormat);
    PutLe32(room + 12, static_cast<uint32_t>(m_rows.size()));
    for (size_t i = 0; i < m_rows.size(); ++i)
    {
        uint8_t* at = room + kHeaderSize + kRowSize * i;
        std::memcpy(at, m_rows[i].name.data(), m_rows[i].name.size());
        PutLe32(at + 16, m_rows[i].size);
        PutLe32(at + 20, m_rows[i].crc32);
        std::memcpy(at + 24, m_rows[i].sha256, kSha256Size);
    }
    return true;
}

const CPackageRecord::Row* CPackageRecord::Find(const std::string& name) const
{
    for (const Row& row : m_rows)
    {
        if (FileIo::SameFileName(row.name, name))
        {
            return &row;
        }
    }
    return nullptr;
}

CPackageRecord::Verdict CPackageRecord::BySize(const Row* row, uint64_t size)
{
    if (row == nullptr)
    {
        return Verdict::NotRecorded;
    }
    if (size < row->size)
    {
        return Verdict::Shorter;
    }
    return size > row->size ? Verdict::Longer : Verdict::Same;
}

CPackageRecord::Verdict CPackageRecord::ByContent(const Row& row, uint32_t crc32,
                                                  const uint8_t* sha256)
{
    const bool same =
        sha256 != nullptr ? std::memcmp(sha256, row.sha256, kSha256Size) == 0 : crc32 == row.crc32;
    return same ? Verdict::Same : Verdict::Different;
}
