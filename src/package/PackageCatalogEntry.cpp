#include "package/PackageCatalogEntry.h"

#include <cstdio>
#include <cstring>

#include "package/ByteOrder.h"

namespace
{
// Offsets in the on-disk record.
constexpr size_t kNameBytes = 2048;
constexpr size_t kKindOffset = 2048;
constexpr size_t kKindDataOffset = 2052;
constexpr size_t kReservedOffset = 3068;
constexpr size_t kStoredOffset = 3072;
constexpr size_t kUnpackedOffset = 3076;
constexpr size_t kDataOffsetOffset = 3080;
} // namespace

CPackageCatalogEntry::CPackageCatalogEntry()
{
    Reset(kKindFile, nullptr);
}

bool CPackageCatalogEntry::Reset(uint32_t kind, const PkgChar* name)
{
    std::memset(m_szName, 0, sizeof m_szName);
    m_nKind = kind;
    std::memset(m_abKindData, 0, sizeof m_abKindData);
    m_nUnpackedSize = 0;
    m_nStoredSize = 0;
    m_nDataOffset = 0;
    if (name == nullptr)
    {
        return true;
    }
    size_t length = 0;
    while (name[length] != 0)
    {
        if (length == EntryName::kMaxLength)
        {
            FileIo::SetLastError(FileIo::kErrorFilenameExcedRange);
            return false;
        }
        ++length;
    }
    std::memcpy(m_szName, name, length * sizeof(PkgChar));
    return true;
}

bool CPackageCatalogEntry::SetFile(const PkgChar* name, uint64_t creationTime,
                                   uint64_t lastWriteTime, uint32_t versionLs, uint32_t versionMs)
{
    bool ok = Reset(kKindFile, name);
    ByteOrder::PutLe64(m_abKindData + 0, creationTime);
    ByteOrder::PutLe64(m_abKindData + 8, lastWriteTime);
    ByteOrder::PutLe32(m_abKindData + 16, versionLs);
    ByteOrder::PutLe32(m_abKindData + 20, versionMs);
    return ok;
}

bool CPackageCatalogEntry::SetDirectory(const PkgChar* name)
{
    return Reset(kKindDirectory, name);
}

bool CPackageCatalogEntry::SetConfigObject(const PkgChar* name, uint32_t first,
                                           const uint8_t identifier[16], uint32_t second,
                                           uint32_t third)
{
    bool ok = Reset(kKindConfigObject, name);
    ByteOrder::PutLe32(m_abKindData + 0, first);
    ByteOrder::PutLe32(m_abKindData + 8, second);
    ByteOrder::PutLe32(m_abKindData + 12, third);
    std::memcpy(m_abKindData + 16, identifier, 16);
    return ok;
}

bool CPackageCatalogEntry::SetLexiconSegment(const PkgChar* name)
{
    return Reset(kKindLexiconSegment, name);
}

size_t CPackageCatalogEntry::GetNameLength() const
{
    return EntryName::Length(m_szName);
}

std::string CPackageCatalogEntry::GetKindName() const
{
    switch (m_nKind)
    {
    case kKindFile:
        return "File";
    case kKindDirectory:
        return "Directory";
    case kKindConfigObject:
        return "Config Obj";
    case kKindLexiconSegment:
        return "Lexicon Seg";
    default:
    {
        char text[32];
        std::snprintf(text, sizeof text, "Unknown - %d", static_cast<int32_t>(m_nKind));
        return text;
    }
    }
}

uint64_t CPackageCatalogEntry::GetCreationTime() const
{
    return ByteOrder::GetLe64(m_abKindData + 0);
}

uint64_t CPackageCatalogEntry::GetLastWriteTime() const
{
    return ByteOrder::GetLe64(m_abKindData + 8);
}

uint64_t CPackageCatalogEntry::GetFileVersion() const
{
    return (static_cast<uint64_t>(ByteOrder::GetLe32(m_abKindData + 20)) << 32) |
           ByteOrder::GetLe32(m_abKindData + 16);
}

void CPackageCatalogEntry::Encode(uint8_t record[kRecordSize]) const
{
    std::memset(record, 0, kRecordSize);
    // Units after the terminator are written as zeros so equal entries give
    // equal bytes.
    size_t length = GetNameLength();
    for (size_t i = 0; i < length; ++i)
    {
        ByteOrder::PutLe16(record + 2 * i, m_szName[i]);
    }
    ByteOrder::PutLe32(record + kKindOffset, m_nKind);
    std::memcpy(record + kKindDataOffset, m_abKindData, kKindDataSize);
    ByteOrder::PutLe32(record + kReservedOffset, 0);
    ByteOrder::PutLe32(record + kStoredOffset, m_nStoredSize);
    ByteOrder::PutLe32(record + kUnpackedOffset, m_nUnpackedSize);
    ByteOrder::PutLe32(record + kDataOffsetOffset, m_nDataOffset);
}

void CPackageCatalogEntry::Decode(const uint8_t record[kRecordSize])
{
    std::memset(m_szName, 0, sizeof m_szName);
    // A name without a terminator in its field is cut at the last unit, so the
    // name never reaches past the field.
    for (size_t i = 0; i + 1 < kNameUnits; ++i)
    {
        PkgChar c = ByteOrder::GetLe16(record + 2 * i);
        if (c == 0)
        {
            break;
        }
        m_szName[i] = c;
    }
    static_assert(kNameUnits * 2 == kNameBytes, "name field size");
    m_nKind = ByteOrder::GetLe32(record + kKindOffset);
    std::memcpy(m_abKindData, record + kKindDataOffset, kKindDataSize);
    m_nStoredSize = ByteOrder::GetLe32(record + kStoredOffset);
    m_nUnpackedSize = ByteOrder::GetLe32(record + kUnpackedOffset);
    m_nDataOffset = ByteOrder::GetLe32(record + kDataOffsetOffset);
    if (m_nStoredSize == 0)
    {
        m_nStoredSize = m_nUnpackedSize;
    }
}

bool CPackageCatalogEntry::Read(FileIo::Handle file)
{
    uint8_t record[kRecordSize];
    if (!FileIo::ReadExact(file, record, kRecordSize))
    {
        return false;
    }
    Decode(record);
    return true;
}

bool CPackageCatalogEntry::Write(FileIo::Handle file) const
{
    uint8_t record[kRecordSize];
    Encode(record);
    uint32_t put = 0;
    return FileIo::Write(file, record, kRecordSize, &put);
}
