#include "package/PeVersionInfo.h"

#include <algorithm>
#include <cstring>

#include "package/ByteOrder.h"
#include "package/FileIo.h"
#include "package/UniqueHandle.h"

namespace PeVersionInfo
{

namespace
{
using ByteOrder::GetLe16;
using ByteOrder::GetLe32;

constexpr uint32_t kResourceTypeVersion = 16;
constexpr uint32_t kVersionResourceId = 1;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BDu;
constexpr size_t kFixedInfoSize = 52;
constexpr uint32_t kMaxSections = 96;
constexpr int kMaxResourceDepth = 3;

// Random access to the image, bounded by its size.
class Source
{
public:
    virtual ~Source() = default;
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t size) = 0;
};

class MemorySource : public Source
{
public:
    MemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool ReadAt(uint64_t offset, void* buffer, size_t size) override
    {
        if (offset > m_size || size > m_size - offset)
        {
            FileIo::SetLastError(FileIo::kErrorBadExeFormat);
            return false;
        }
        std::memcpy(buffer, m_data + offset, size);
        return true;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
};

class FileSource : public Source
{
public:
    explicit FileSource(FileIo::Handle file) : m_file(file) {}
    bool ReadAt(uint64_t offset, void* buffer, size_t size) override
    {
        uint32_t position = 0;
        if (offset > 0x7FFFFFFFu || size > 0x7FFFFFFFu)
        {
            FileIo::SetLastError(FileIo::kErrorBadExeFormat);
            return false;
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
        if (got != size)
        {
            FileIo::SetLastError(FileIo::kErrorBadExeFormat);
            return false;
        }
        return true;
    }

private:
    FileIo::Handle m_file;
};

struct Section
{
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawSize;
    uint32_t rawOffset;
};

bool Fail(uint32_t code)
{
    FileIo::SetLastError(code);
    return false;
}

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

// The headers of the image that locate its resources.
struct Layout
{
    std::vector<Section> sections;
    uint32_t resourceRva = 0;
};

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

// The resource directory's RVA from the optional header of a PE32 or PE32+ image.
bool ResourceRva(const std::vector<uint8_t>& optional, uint32_t* rva)
{
    const uint32_t magic = GetLe16(optional.data());
    size_t countOffset;
    if (magic == 0x10B)
    {
        countOffset = 92;
    }
    else if (magic == 0x20B)
    {
        countOffset = 108;
    }
    else
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    const size_t resourceEntry = countOffset + 4 + 2 * 8;
    if (optional.size() < countOffset + 4 || GetLe32(optional.data() + countOffset) < 3 ||
        optional.size() < resourceEntry + 8)
    {
        return Fail(FileIo::kErrorResourceDataNotFound);
    }
    *rva = GetLe32(optional.data() + resourceEntry);
    if (*rva == 0 || GetLe32(optional.data() + resourceEntry + 4) == 0)
    {
        return Fail(FileIo::kErrorResourceDataNotFound);
    }
    return true;
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

bool ReadLayout(Source& source, Layout* layout)
{
    uint32_t sectionCount = 0;
    uint64_t optionalOffset = 0;
    std::vector<uint8_t> optional;
    return ReadHeaders(source, &sectionCount, &optionalOffset, &optional) &&
           ResourceRva(optional, &layout->resourceRva) &&
           ReadSections(source, optionalOffset + optional.size(), sectionCount, &layout->sections);
}

// Which member of a resource directory leads to the version data: type
// RT_VERSION, then name 1 (else the first), then language neutral or US English
// (else the first). -1 when the directory has no such member.
int ChooseMember(const std::vector<uint8_t>& members, uint32_t named, uint32_t total, int level)
{
    int chosen = -1;
    for (uint32_t i = named; i < total; ++i)
    {
        const uint32_t id = GetLe32(members.data() + 8 * i);
        if ((level == 0 && id == kResourceTypeVersion) || (level == 1 && id == kVersionResourceId))
        {
            return static_cast<int>(i);
        }
        if (level == 2 && (id == 0 || id == 0x409) && chosen < 0)
        {
            chosen = static_cast<int>(i);
        }
    }
    if (chosen < 0 && level > 0 && total > 0)
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
    bool Pick(uint32_t directory, int level, uint32_t* target) const
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
        const int chosen = ChooseMember(members, named, total, level);
        if (chosen < 0)
        {
            return Fail(level == 0 ? FileIo::kErrorResourceTypeNotFound
                                   : FileIo::kErrorResourceDataNotFound);
        }
        *target = GetLe32(members.data() + 8 * chosen + 4);
        return true;
    }

    // Type, name and language lead to the data entry of the version resource.
    bool FindVersionEntry(uint32_t* dataEntry) const
    {
        uint32_t node = 0;
        for (int level = 0; level < kMaxResourceDepth; ++level)
        {
            uint32_t target = 0;
            if (!Pick(node, level, &target))
            {
                return false;
            }
            const bool isDirectory = (target & 0x80000000u) != 0;
            if (isDirectory != (level < kMaxResourceDepth - 1))
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

// The bytes a resource data entry points at.
bool ReadResourceData(Source& source, const std::vector<Section>& sections,
                      const uint8_t dataEntry[16], std::vector<uint8_t>* data)
{
    uint64_t offset = 0;
    uint32_t available = 0;
    if (!MapRva(sections, GetLe32(dataEntry), &offset, &available))
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    // The block's own length field is 16 bits, so nothing larger is needed.
    const uint32_t size = std::min({GetLe32(dataEntry + 4), available, 0xFFFFu});
    data->resize(size);
    if (size != 0 && !source.ReadAt(offset, data->data(), size))
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    return true;
}

// The version data of the image.
bool FindVersionResource(Source& source, std::vector<uint8_t>* data)
{
    Layout layout;
    if (!ReadLayout(source, &layout))
    {
        return false;
    }
    uint64_t rootOffset = 0;
    uint32_t rootAvailable = 0;
    if (!MapRva(layout.sections, layout.resourceRva, &rootOffset, &rootAvailable))
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    const ResourceTree tree(source, rootOffset, rootAvailable);
    uint32_t node = 0;
    uint8_t dataEntry[16];
    return tree.FindVersionEntry(&node) && tree.ReadAt(node, dataEntry, sizeof dataEntry) &&
           ReadResourceData(source, layout.sections, dataEntry, data);
}

// One node of the VS_VERSIONINFO tree: length, value length, type, key,
// value, then children, each aligned to 4 bytes from the start of the block.
struct Node
{
    size_t start = 0;
    size_t end = 0;
    uint16_t valueLength = 0;
    uint16_t type = 0;
    std::u16string key;
    size_t valueStart = 0;
    size_t childrenStart = 0;
};

size_t Align4(size_t n)
{
    return (n + 3) & ~static_cast<size_t>(3);
}

bool ParseNode(const std::vector<uint8_t>& block, size_t start, size_t limit, Node* node)
{
    if (start + 6 > limit)
    {
        return false;
    }
    size_t length = GetLe16(block.data() + start);
    if (length < 6 || start + length > limit)
    {
        return false;
    }
    node->start = start;
    node->end = start + length;
    node->valueLength = GetLe16(block.data() + start + 2);
    node->type = GetLe16(block.data() + start + 4);
    node->key.clear();
    size_t p = start + 6;
    for (; p + 2 <= node->end; p += 2)
    {
        char16_t c = GetLe16(block.data() + p);
        if (c == 0)
        {
            break;
        }
        node->key.push_back(c);
    }
    p += 2;
    node->valueStart = std::min(Align4(p), node->end);
    // Text values count characters, binary ones bytes.
    size_t valueBytes = node->type == 1 ? 2u * node->valueLength : node->valueLength;
    node->childrenStart = std::min(Align4(node->valueStart + valueBytes), node->end);
    return true;
}

// Calls `visit` for each child of `parent`; stops at the first malformed one.
template <typename Visit>
void ForEachChild(const std::vector<uint8_t>& block, const Node& parent, Visit visit)
{
    size_t p = parent.childrenStart;
    while (p + 6 <= parent.end)
    {
        Node child;
        if (!ParseNode(block, p, parent.end, &child))
        {
            return;
        }
        visit(child);
        p = Align4(child.end);
    }
}

std::u16string TextAt(const std::vector<uint8_t>& block, size_t start, size_t end)
{
    std::u16string text;
    for (size_t p = start; p + 2 <= end; p += 2)
    {
        char16_t c = GetLe16(block.data() + p);
        if (c == 0)
        {
            break;
        }
        text.push_back(c);
    }
    return text;
}

char16_t AsciiLower(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

bool SameKey(const std::u16string& a, const std::u16string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return AsciiLower(x) == AsciiLower(y); });
}

void ReadFixedInfo(const std::vector<uint8_t>& block, const Node& root, Info* info)
{
    if (root.valueLength < kFixedInfoSize || root.valueStart + kFixedInfoSize > root.end ||
        GetLe32(block.data() + root.valueStart) != kFixedInfoSignature)
    {
        return;
    }
    const uint8_t* fixed = block.data() + root.valueStart;
    info->hasFixedInfo = true;
    info->fileVersionMs = GetLe32(fixed + 8);
    info->fileVersionLs = GetLe32(fixed + 12);
    info->productVersionMs = GetLe32(fixed + 16);
    info->productVersionLs = GetLe32(fixed + 20);
    info->fileFlagsMask = GetLe32(fixed + 24);
    info->fileFlags = GetLe32(fixed + 28);
    info->fileOs = GetLe32(fixed + 32);
    info->fileType = GetLe32(fixed + 36);
    info->fileSubtype = GetLe32(fixed + 40);
}

// The first (language, code page) pair of VarFileInfo\Translation.
void ReadTranslation(const std::vector<uint8_t>& block, const Node& varFileInfo, Info* info)
{
    ForEachChild(block, varFileInfo,
                 [&](const Node& var)
                 {
                     if (!info->hasTranslation && var.key == u"Translation" &&
                         var.valueStart + 4 <= var.end && var.valueLength >= 4)
                     {
                         info->hasTranslation = true;
                         info->language = GetLe16(block.data() + var.valueStart);
                         info->codePage = GetLe16(block.data() + var.valueStart + 2);
                     }
                 });
}

// The string table the translation names ("040904b0"), else the first one.
const Node* ChooseStringTable(const std::vector<Node>& tables, const Info& info)
{
    if (tables.empty())
    {
        return nullptr;
    }
    if (info.hasTranslation)
    {
        static const char kHex[] = "0123456789abcdef";
        std::u16string wanted;
        const uint32_t both = (static_cast<uint32_t>(info.language) << 16) | info.codePage;
        for (int shift = 28; shift >= 0; shift -= 4)
        {
            wanted.push_back(static_cast<char16_t>(kHex[(both >> shift) & 0xF]));
        }
        for (const Node& table : tables)
        {
            if (SameKey(table.key, wanted))
            {
                return &table;
            }
        }
    }
    return &tables.front();
}

void ReadStrings(const std::vector<uint8_t>& block, const Node& table, Info* info)
{
    info->stringTableKey = table.key;
    ForEachChild(block, table,
                 [&](const Node& value)
                 {
                     // Writers disagree on whether the value length counts bytes or
                     // characters, so the text runs to its terminator or the node's end.
                     info->strings.emplace_back(value.key,
                                                TextAt(block, value.valueStart, value.end));
                 });
}

bool ParseVersionBlock(const std::vector<uint8_t>& block, Info* info)
{
    Node root;
    if (!ParseNode(block, 0, block.size(), &root) || root.key != u"VS_VERSION_INFO")
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    ReadFixedInfo(block, root, info);
    std::vector<Node> tables;
    ForEachChild(block, root,
                 [&](const Node& child)
                 {
                     if (child.key == u"StringFileInfo")
                     {
                         ForEachChild(block, child,
                                      [&](const Node& table) { tables.push_back(table); });
                     }
                     else if (child.key == u"VarFileInfo")
                     {
                         ReadTranslation(block, child, info);
                     }
                 });
    if (const Node* table = ChooseStringTable(tables, *info))
    {
        ReadStrings(block, *table, info);
    }
    return true;
}

bool Read(Source& source, Info* info)
{
    *info = Info();
    std::vector<uint8_t> block;
    if (!FindVersionResource(source, &block))
    {
        return false;
    }
    return ParseVersionBlock(block, info);
}
} // namespace

const std::u16string* Info::FindString(const std::u16string& key) const
{
    for (const auto& entry : strings)
    {
        if (SameKey(entry.first, key))
        {
            return &entry.second;
        }
    }
    return nullptr;
}

bool ReadFromFile(const std::string& path, Info* info)
{
    CFileHandle file(FileIo::OpenExisting(path, false));
    if (!file.IsValid())
    {
        return false;
    }
    FileSource source(file.Get());
    return Read(source, info);
}

bool ReadFromMemory(const uint8_t* image, size_t size, Info* info)
{
    MemorySource source(image, size);
    return Read(source, info);
}

} // namespace PeVersionInfo
