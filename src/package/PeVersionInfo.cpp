#include "package/PeVersionInfo.h"

#include <algorithm>
#include <cstring>

#include "package/ByteOrder.h"
#include "package/FileIo.h"

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

// The version data of the image: RT_VERSION, id 1 when present (else the
// first name), language neutral or US English when present (else the first).
bool FindVersionResource(Source& source, std::vector<uint8_t>* data)
{
    uint8_t dos[64];
    if (!source.ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    uint32_t peOffset = GetLe32(dos + 0x3C);
    uint8_t pe[24];
    if (!source.ReadAt(peOffset, pe, sizeof pe) || std::memcmp(pe, "PE\0\0", 4) != 0)
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    uint32_t sectionCount = GetLe16(pe + 6);
    uint32_t optionalSize = GetLe16(pe + 20);
    if (sectionCount > kMaxSections || optionalSize < 2)
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    std::vector<uint8_t> optional(optionalSize);
    if (!source.ReadAt(static_cast<uint64_t>(peOffset) + 24, optional.data(), optionalSize))
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    uint32_t magic = GetLe16(optional.data());
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
    size_t resourceEntry = countOffset + 4 + 2 * 8;
    if (optionalSize < countOffset + 4 || GetLe32(optional.data() + countOffset) < 3 ||
        optionalSize < resourceEntry + 8)
    {
        return Fail(FileIo::kErrorResourceDataNotFound);
    }
    uint32_t resourceRva = GetLe32(optional.data() + resourceEntry);
    uint32_t resourceSize = GetLe32(optional.data() + resourceEntry + 4);
    if (resourceRva == 0 || resourceSize == 0)
    {
        return Fail(FileIo::kErrorResourceDataNotFound);
    }

    std::vector<Section> sections(sectionCount);
    uint64_t tableOffset = static_cast<uint64_t>(peOffset) + 24 + optionalSize;
    for (uint32_t i = 0; i < sectionCount; ++i)
    {
        uint8_t header[40];
        if (!source.ReadAt(tableOffset + 40 * i, header, sizeof header))
        {
            return Fail(FileIo::kErrorBadExeFormat);
        }
        sections[i] = {GetLe32(header + 12), GetLe32(header + 8), GetLe32(header + 16),
                       GetLe32(header + 20)};
    }
    uint64_t rootOffset = 0;
    uint32_t rootAvailable = 0;
    if (!MapRva(sections, resourceRva, &rootOffset, &rootAvailable))
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }

    // Walks one directory level; offsets inside the tree are relative to its root.
    auto pick = [&](uint32_t directory, int level, uint32_t* target) -> bool
    {
        uint8_t head[16];
        if (directory > rootAvailable || rootAvailable - directory < sizeof head ||
            !source.ReadAt(rootOffset + directory, head, sizeof head))
        {
            return Fail(FileIo::kErrorBadExeFormat);
        }
        uint32_t named = GetLe16(head + 12);
        uint32_t ids = GetLe16(head + 14);
        uint32_t total = named + ids;
        if (static_cast<uint64_t>(directory) + 16 + 8ull * total > rootAvailable)
        {
            return Fail(FileIo::kErrorBadExeFormat);
        }
        std::vector<uint8_t> entries(8ull * total);
        if (total != 0 &&
            !source.ReadAt(rootOffset + directory + 16, entries.data(), entries.size()))
        {
            return Fail(FileIo::kErrorBadExeFormat);
        }
        int chosen = -1;
        for (uint32_t i = named; i < total; ++i)
        {
            uint32_t id = GetLe32(entries.data() + 8 * i);
            if (level == 0 && id == kResourceTypeVersion)
            {
                chosen = static_cast<int>(i);
                break;
            }
            if (level == 1 && id == kVersionResourceId)
            {
                chosen = static_cast<int>(i);
                break;
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
        if (chosen < 0)
        {
            return Fail(level == 0 ? FileIo::kErrorResourceTypeNotFound
                                   : FileIo::kErrorResourceDataNotFound);
        }
        *target = GetLe32(entries.data() + 8 * chosen + 4);
        return true;
    };

    uint32_t node = 0;
    for (int level = 0; level < kMaxResourceDepth; ++level)
    {
        uint32_t target = 0;
        if (!pick(node, level, &target))
        {
            return false;
        }
        bool isDirectory = (target & 0x80000000u) != 0;
        if (isDirectory != (level < kMaxResourceDepth - 1))
        {
            return Fail(FileIo::kErrorBadExeFormat);
        }
        node = target & 0x7FFFFFFFu;
    }

    uint8_t dataEntry[16];
    if (node > rootAvailable || rootAvailable - node < sizeof dataEntry ||
        !source.ReadAt(rootOffset + node, dataEntry, sizeof dataEntry))
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    uint32_t dataRva = GetLe32(dataEntry);
    uint32_t dataSize = GetLe32(dataEntry + 4);
    uint64_t dataOffset = 0;
    uint32_t dataAvailable = 0;
    if (!MapRva(sections, dataRva, &dataOffset, &dataAvailable))
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    // The block's own length field is 16 bits, so nothing larger is needed.
    dataSize = std::min({dataSize, dataAvailable, 0xFFFFu});
    data->resize(dataSize);
    if (dataSize != 0 && !source.ReadAt(dataOffset, data->data(), dataSize))
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    return true;
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

bool ParseVersionBlock(const std::vector<uint8_t>& block, Info* info)
{
    Node root;
    if (!ParseNode(block, 0, block.size(), &root) || root.key != u"VS_VERSION_INFO")
    {
        return Fail(FileIo::kErrorBadExeFormat);
    }
    if (root.valueLength >= kFixedInfoSize && root.valueStart + kFixedInfoSize <= root.end &&
        GetLe32(block.data() + root.valueStart) == kFixedInfoSignature)
    {
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

    std::vector<Node> tables;
    ForEachChild(
        block, root,
        [&](const Node& child)
        {
            if (child.key == u"StringFileInfo")
            {
                ForEachChild(block, child, [&](const Node& table) { tables.push_back(table); });
            }
            else if (child.key == u"VarFileInfo")
            {
                ForEachChild(block, child,
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
        });

    const Node* chosen = tables.empty() ? nullptr : &tables.front();
    if (info->hasTranslation)
    {
        static const char kHex[] = "0123456789abcdef";
        std::u16string wanted;
        uint32_t both = (static_cast<uint32_t>(info->language) << 16) | info->codePage;
        for (int shift = 28; shift >= 0; shift -= 4)
        {
            wanted.push_back(static_cast<char16_t>(kHex[(both >> shift) & 0xF]));
        }
        for (const Node& table : tables)
        {
            if (SameKey(table.key, wanted))
            {
                chosen = &table;
                break;
            }
        }
    }
    if (chosen != nullptr)
    {
        info->stringTableKey = chosen->key;
        ForEachChild(block, *chosen,
                     [&](const Node& value)
                     {
                         // Writers disagree on whether the value length counts bytes or
                         // characters, so the text runs to its terminator or the node's end.
                         info->strings.emplace_back(value.key,
                                                    TextAt(block, value.valueStart, value.end));
                     });
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
    FileIo::Handle file = FileIo::OpenExisting(path, false);
    if (file == FileIo::InvalidHandle())
    {
        return false;
    }
    FileSource source(file);
    bool ok = Read(source, info);
    FileIo::Close(file);
    return ok;
}

bool ReadFromMemory(const uint8_t* image, size_t size, Info* info)
{
    MemorySource source(image, size);
    return Read(source, info);
}

} // namespace PeVersionInfo
