#pragma once

#include <cstdint>
#include <vector>

#include "package/PackageCatalogEntry.h"

// The title and ordered entry list that end every package.
class CPackageCatalog
{
public:
    static constexpr size_t kTitleSize = 64;
    static constexpr uint32_t kHeaderSize = 68; // count and title

    CPackageCatalog();

    int GetCount() const { return static_cast<int>(m_entries.size()); }
    // An index out of range gives a cleared entry.
    CPackageCatalogEntry GetEntry(int index) const;
    // The last entry of that name, compared without regard to case; -1 if none.
    int FindEntry(const PkgChar* name) const;
    void Add(const CPackageCatalogEntry& entry);

    const char* GetTitle() const { return m_szTitle; }
    // Keeps at most kTitleSize - 1 bytes; the rest of the field is cleared.
    void SetTitle(const char* title);
    void Clear();

    // Refuses, as corrupt, a count that is negative or larger than the rest
    // of the file can hold.
    bool Read(FileIo::Handle file);
    bool Write(FileIo::Handle file) const;

private:
    friend class CPackageFile;

    std::vector<CPackageCatalogEntry> m_entries;
    char m_szTitle[kTitleSize];
};
