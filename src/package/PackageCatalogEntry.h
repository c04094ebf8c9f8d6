#pragma once

#include <cstdint>
#include <string>

#include "package/EntryName.h"
#include "package/FileIo.h"

// One item of a package: its name relative to the target folder, its kind,
// the kind's data and where its content lies in the package.
class CPackageCatalogEntry
{
public:
    static constexpr uint32_t kKindFile = 0;
    static constexpr uint32_t kKindDirectory = 1;
    static constexpr uint32_t kKindConfigObject = 2;
    static constexpr uint32_t kKindLexiconSegment = 3;

    static constexpr size_t kNameUnits = 1024;
    static constexpr size_t kKindDataSize = 1016;
    static constexpr uint32_t kRecordSize = 3084;

    CPackageCatalogEntry();

    // The setters clear the entry first. A name longer than
    // EntryName::kMaxLength units is not stored: the entry keeps an empty
    // name and the setter fails with kErrorFilenameExcedRange.
    bool SetFile(const PkgChar* name, uint64_t creationTime, uint64_t lastWriteTime,
                 uint32_t versionLs, uint32_t versionMs);
    bool SetDirectory(const PkgChar* name);
    bool SetConfigObject(const PkgChar* name, uint32_t first, const uint8_t identifier[16],
                         uint32_t second, uint32_t third);
    bool SetLexiconSegment(const PkgChar* name);

    // Always terminated; GetNameLength() units long.
    const PkgChar* GetName() const { return m_szName; }
    size_t GetNameLength() const;
    uint32_t GetKind() const { return m_nKind; }
    std::string GetKindName() const;
    const uint8_t* GetKindData() const { return m_abKindData; }

    // The file data fields of a kind-0 entry, decoded.
    uint64_t GetCreationTime() const;
    uint64_t GetLastWriteTime() const;
    uint64_t GetFileVersion() const;

    uint32_t GetUnpackedSize() const { return m_nUnpackedSize; }
    uint32_t GetStoredSize() const { return m_nStoredSize; }
    uint32_t GetDataOffset() const { return m_nDataOffset; }

    bool Read(FileIo::Handle file);
    bool Write(FileIo::Handle file) const;

    // The on-disk record, for writers that batch their output.
    void Encode(uint8_t record[kRecordSize]) const;
    void Decode(const uint8_t record[kRecordSize]);

private:
    friend class CPackageFile;

    bool Reset(uint32_t kind, const PkgChar* name);

    PkgChar m_szName[kNameUnits];
    uint32_t m_nKind;
    uint8_t m_abKindData[kKindDataSize];
    uint32_t m_nUnpackedSize;
    uint32_t m_nStoredSize;
    uint32_t m_nDataOffset;
};
