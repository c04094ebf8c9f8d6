#include "package/PackageCatalog.h"

#include <cstring>

#include "package/ByteOrder.h"

CPackageCatalog::CPackageCatalog()
{
    std::memset(m_szTitle, 0, sizeof m_szTitle);
}

CPackageCatalogEntry CPackageCatalog::GetEntry(int index) const
{
    if (index < 0 || index >= GetCount())
    {
        return CPackageCatalogEntry();
    }
    return m_entries[static_cast<size_t>(index)];
}

int CPackageCatalog::FindEntry(const PkgChar* name) const
{
    size_t length = EntryName::Length(name);
    for (int i = GetCount() - 1; i >= 0; --i)
    {
        const CPackageCatalogEntry& entry = m_entries[static_cast<size_t>(i)];
        if (EntryName::EqualNoCase(entry.GetName(), entry.GetNameLength(), name, length))
        {
            return i;
        }
    }
    return -1;
}

void CPackageCatalog::Add(const CPackageCatalogEntry& entry)
{
    m_entries.push_back(entry);
}

void CPackageCatalog::SetTitle(const char* title)
{
    std::memset(m_szTitle, 0, sizeof m_szTitle);
    if (title != nullptr)
    {
        size_t length = std::strlen(title);
        if (length > kTitleSize - 1)
        {
            length = kTitleSize - 1;
        }
        std::memcpy(m_szTitle, title, length);
    }
}

void CPackageCatalog::Clear()
{
    m_entries.clear();
    std::memset(m_szTitle, 0, sizeof m_szTitle);
}

bool CPackageCatalog::Read(FileIo::Handle file)
{
    uint64_t position = 0;
    uint64_t size = 0;
    if (!FileIo::Tell(file, &position) || !FileIo::GetSize(file, &size))
    {
        return false;
    }
    uint8_t header[kHeaderSize];
    if (!FileIo::ReadExact(file, header, kHeaderSize))
    {
        return false;
    }
    int32_t count = static_cast<int32_t>(ByteOrder::GetLe32(header));
    // The count sizes the entry table, so a lying one must not get that far.
    uint64_t room = size >= position + kHeaderSize ? size - position - kHeaderSize : 0;
    if (count < 0 || static_cast<uint64_t>(count) > room / CPackageCatalogEntry::kRecordSize)
    {
        FileIo::SetLastError(FileIo::kErrorFileCorrupt);
        return false;
    }
    // A title without a terminator is cut at the last byte; the bytes after
    // the terminator carry no meaning and are dropped.
    std::memset(m_szTitle, 0, sizeof m_szTitle);
    for (size_t i = 0; i + 1 < kTitleSize && header[4 + i] != 0; ++i)
    {
        m_szTitle[i] = static_cast<char>(header[4 + i]);
    }
    m_entries.assign(static_cast<size_t>(count), CPackageCatalogEntry());
    for (CPackageCatalogEntry& entry : m_entries)
    {
        if (!entry.Read(file))
        {
            return false;
        }
    }
    return true;
}

bool CPackageCatalog::Write(FileIo::Handle file) const
{
    uint8_t header[kHeaderSize] = {};
    ByteOrder::PutLe32(header, static_cast<uint32_t>(m_entries.size()));
    std::memcpy(header + 4, m_szTitle, kTitleSize);
    uint32_t put = 0;
    if (!FileIo::Write(file, header, kHeaderSize, &put))
    {
        return false;
    }
    for (const CPackageCatalogEntry& entry : m_entries)
    {
        if (!entry.Write(file))
        {
            return false;
        }
    }
    return true;
}
