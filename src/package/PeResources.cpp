#include "package/PeResources.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "package/ByteOrder.h"

namespace PeResources
{

namespace
{
using ByteOrder::GetLe16;
using ByteOrder::GetLe32;

constexpr uint32_t kMaxSections = 96;
constexpr int kResourceDepth = 3;
constexpr size_t kChecksumField = 64; // within the optional header, PE32 and PE32+ alike
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kSecurityDirectory = 4;

bool Fail(uint32_t code)
{
    FileIo::SetLastError(code);
    return false;
}

struct Section
{
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawSize;
    uint32_t rawOffset;
};

// File offset of an RVA and how many bytes of raw data follow it there.
bool MapRva(const std::vector<Section>& sections, uint32_t rva, uint64_t* offset,
            uint32_t* available)
{
    for (const Section& s : sections)
    {
        uint32_t span = std::max(s.virtualSize, s.rawSize);
        if (rva >= s.virtualAddress && rva - s.virtualAddress < span)
        {
            uint32_t delta = rva - s.virtualAddress;
            if (delta >= s.rawSize)
            {
                return false;
            }
            *offset = static_cast<uint64_t>(s.rawOffset) + delta;
            *available = s.rawSize - delta;
            return true;
        }
    }
    return false;
}

// The COFF header's section count and the optional header, after the DOS stub
// and the PE signature.
bool ReadHeaders(Source& source, uint32_t* sectionCount, uint64_t* optionalOffset,
                 std::vector<uint8_t>* optional)
{
    uint8_t dos[64];
    if (!source.ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    const uint32_t peOffset = GetLe32(dos + 0x3C);
    uint8_t pe[24];
    if (!source.ReadAt(peOffset, pe, sizeof pe) || std::memcmp(pe, "PE\0\0", 4) != 0)
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    *sectionCount = GetLe16(pe + 6);
    const uint32_t optionalSize = GetLe16(pe + 20);
    if (*sectionCount > kMaxSections || optionalSize < 2)
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    *optionalOffset = static_cast<uint64_t>(peOffset) + 24;
    optional->resize(optionalSize);
    if (!source.ReadAt(*optionalOffset, optional->data(), optionalSize))
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    return true;
}

// Where the data directories' count stands in a PE32 or PE32+ optional header.
bool DirectoryCountOffset(const std::vector<uint8_t>& optional, size_t* countOffset)
{
    const uint32_t magic = GetLe16(optional.data());
    if (magic == 0x10B)
    {
        *countOffset = 92;
    }
    else if (magic == 0x20B)
    {
        *countOffset = 108;
    }
    else
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    return true;
}

// The directory entry `index` of the optional header; false when the header has none.
bool Directory(const std::vector<uint8_t>& optional, uint32_t index, size_t* entryOffset)
{
    size_t countOffset = 0;
    if (!DirectoryCountOffset(optional, &countOffset))
    {
        return false;
    }
    *entryOffset = countOffset + 4 + 8 * static_cast<size_t>(index);
    return optional.size() >= countOffset + 4 && GetLe32(optional.data() + countOffset) > index &&
           optional.size() >= *entryOffset + 8;
}

bool ReadSections(Source& source, uint64_t tableOffset, uint32_t count,
                  std::vector<Section>* sections)
{
    sections->resize(count);
    for (uint32_t i = 0; i < count; ++i)
    {
        uint8_t header[40];
        if (!source.ReadAt(tableOffset + 40 * i, header, sizeof header))
        {
            return Fail(FileIo::kErrorBadExeFormat);
        }
        (*sections)[i] = {GetLe32(header + 12), GetLe32(header + 8), GetLe32(header + 16),
                          GetLe32(header + 20)};
    }
    return true;
}

// Which member of a resource directory leads on: the wanted id at the type and
// name levels (at the name level, else the first when the match allows), language
// neutral or US English else the first at the language level. -1 when none.
int ChooseMember(const std::vector<uint8_t>& members, uint32_t named, uint32_t total, int level,
                 uint32_t wanted, NameMatch match)
{
    int chosen = -1;
    for (uint32_t i = named; i < total; ++i)
    {
        const uint32_t id = GetLe32(members.data() + 8 * i);
        if (level < 2 && id == wanted)
        {
            return static_cast<int>(i);
        }
        if (level == 2 && (id == 0 || id == 0x409) && chosen < 0)
        {
            chosen = static_cast<int>(i);
        }
    }
    const bool firstWillDo = level == 2 || (level == 1 && match == NameMatch::ExactElseFirst);
    if (chosen < 0 && firstWillDo && total > 0)
    {
        chosen = 0;
    }
    return chosen;
}

// The resource tree, read within the bytes its section holds; offsets inside
// the tree are relative to its root.
class ResourceTree
{
public:
    ResourceTree(Source& source, uint64_t rootOffset, uint32_t available)
        : m_source(source), m_rootOffset(rootOffset), m_available(available)
    {
    }

    bool ReadAt(uint32_t offset, void* buffer, size_t size) const
    {
        if (offset > m_available || m_available - offset < size ||
            !m_source.ReadAt(m_rootOffset + offset, buffer, size))
        {
            return Fail(FileIo::kErrorBadExeFormat);
        }
        return true;
    }

    // The target of the chosen member of the directory at `directory`.
    bool Pick(uint32_t directory, int level, uint32_t wanted, NameMatch match,
              uint32_t* target) const
    {
        uint8_t head[16];
        if (!ReadAt(directory, head, sizeof head))
        {
            return false;
        }
        const uint32_t named = GetLe16(head + 12);
        const uint32_t total = named + GetLe16(head + 14);
        std::vector<uint8_t> members(8ull * total);
        if (total != 0 && !ReadAt(directory + 16, members.data(), members.size()))
        {
            return false;
        }
        const int chosen = ChooseMember(members, named, total, level, wanted, match);
        if (chosen < 0)
        {
            return Fail(level == 0 ? FileIo::kErrorResourceTypeNotFound
                                   : FileIo::kErrorResourceDataNotFound);
        }
        *target = GetLe32(members.data() + 8 * chosen + 4);
        return true;
    }

    // Type, name and language lead to the resource's data entry.
    bool FindDataEntry(uint32_t type, uint32_t name, NameMatch match, uint32_t* dataEntry) const
    {
        uint32_t node = 0;
        for (int level = 0; level < kResourceDepth; ++level)
        {
            uint32_t target = 0;
            if (!Pick(node, level, level == 0 ? type : name, match, &target))
            {
                return false;
            }
            const bool isDirectory = (target & 0x80000000u) != 0;
            if (isDirectory != (level < kResourceDepth - 1))
            {
                return Fail(FileIo::kErrorBadExeFormat);
            }
            node = target & 0x7FFFFFFFu;
        }
        *dataEntry = node;
        return true;
    }

private:
    Source& m_source;
    uint64_t m_rootOffset;
    uint32_t m_available;
};
} // namespace

bool MemorySource::ReadAt(uint64_t offset, void* buffer, size_t size)
{
    if (offset > m_size || size > m_size - offset)
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    std::memcpy(buffer, m_data + offset, size);
    return true;
}

bool FileSource::ReadAt(uint64_t offset, void* buffer, size_t size)
{
    uint32_t position = 0;
    if (offset > 0x7FFFFFFFu || size > 0x7FFFFFFFu)
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    if (!FileIo::Seek(m_file, static_cast<uint32_t>(offset), &position))
    {
        return false;
    }
    uint32_t got = 0;
    if (!FileIo::Read(m_file, buffer, static_cast<uint32_t>(size), &got))
    {
        return false;
    }
    return got == size || Fail(FileIo::kErrorBadExeFormat);
}

bool Find(Source& source, uint32_t type, uint32_t name, NameMatch match, Location* data)
{
    uint32_t sectionCount = 0;
    uint64_t optionalOffset = 0;
    std::vector<uint8_t> optional;
    std::vector<Section> sections;
    size_t entry = 0;
    if (!ReadHeaders(source, &sectionCount, &optionalOffset, &optional) ||
        !DirectoryCountOffset(optional, &entry))
    {
        return false;
    }
    if (!Directory(optional, kResourceDirectory, &entry))
    {
        return Fail(FileIo::kErrorResourceDataNotFound);
    }
    const uint32_t rva = GetLe32(optional.data() + entry);
    if (rva == 0 || GetLe32(optional.data() + entry + 4) == 0)
    {
        return Fail(FileIo::kErrorResourceDataNotFound);
    }
    if (!ReadSections(source, optionalOffset + optional.size(), sectionCount, &sections))
    {
        return false;
    }
    uint64_t rootOffset = 0;
    uint32_t rootAvailable = 0;
    if (!MapRva(sections, rva, &rootOffset, &rootAvailable))
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    const ResourceTree tree(source, rootOffset, rootAvailable);
    uint32_t node = 0;
    uint8_t dataEntry[16];
    if (!tree.FindDataEntry(type, name, match, &node) ||
        !tree.ReadAt(node, dataEntry, sizeof dataEntry))
    {
        return false;
    }
    uint32_t available = 0;
    if (!MapRva(sections, GetLe32(dataEntry), &data->offset, &available))
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    data->size = std::min(GetLe32(dataEntry + 4), available);
    // A section may claim more than a cut or crafted file holds; callers use the
    // room in place, so it must lie wholly inside the file.
    uint8_t last = 0;
    if (data->size != 0 && !source.ReadAt(data->offset + data->size - 1, &last, 1))
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    return true;
}

bool ReadFields(Source& source, Fields* fields)
{
    uint32_t sectionCount = 0;
    uint64_t optionalOffset = 0;
    std::vector<uint8_t> optional;
    if (!ReadHeaders(source, &sectionCount, &optionalOffset, &optional))
    {
        return false;
    }
    size_t entry = 0;
    if (optional.size() < kChecksumField + 4 || !DirectoryCountOffset(optional, &entry))
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    *fields = Fields();
    fields->checksumOffset = optionalOffset + kChecksumField;
    fields->checksum = GetLe32(optional.data() + kChecksumField);
    if (Directory(optional, kSecurityDirectory, &entry))
    {
        fields->certificateEntryOffset = optionalOffset + entry;
        // The one directory whose address is a file offset, not an RVA.
        fields->certificateTable.offset = GetLe32(optional.data() + entry);
        fields->certificateTable.size = GetLe32(optional.data() + entry + 4);
    }
    return true;
}

uint32_t Checksum(const uint8_t* image, size_t size, uint64_t checksumOffset)
{
    // The field itself counts as zero; an odd last byte as a word of its own.
    const auto byteAt = [&](size_t at) -> uint32_t
    { return at >= size || (at >= checksumOffset && at < checksumOffset + 4) ? 0 : image[at]; };
    uint64_t sum = 0;
    for (size_t at = 0; at < size; at += 2)
    {
        sum += byteAt(at) | (byteAt(at + 1) << 8);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + size);
}

} // namespace PeResources
