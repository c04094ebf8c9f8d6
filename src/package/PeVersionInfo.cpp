#include "package/PeVersionInfo.h"

#include <algorithm>
#include <cstring>

#include "package/ByteOrder.h"
#include "package/FileIo.h"
#include "package/PeResources.h"
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

bool Fail(uint32_t code)
{
    FileIo::SetLastError(code);
    return false;
}

// The version data of the image: the resource named 1, else the first of its type.
bool FindVersionResource(PeResources::Source& source, std::vector<uint8_t>* data)
{
    PeResources::Location location;
    if (!PeResources::Find(source, kResourceTypeVersion, kVersionResourceId,
                           PeResources::NameMatch::ExactElseFirst, &location))
    {
        return false;
    }
    // The block's own length field is 16 bits, so nothing larger is needed.
    const uint32_t size = std::min(location.size, 0xFFFFu);
    data->resize(size);
    if (size != 0 && !source.ReadAt(location.offset, data->data(), size))
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

bool Read(PeResources::Source& source, Info* info)
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
    PeResources::FileSource source(file.Get());
    return Read(source, info);
}

bool ReadFromMemory(const uint8_t* image, size_t size, Info* info)
{
    PeResources::MemorySource source(image, size);
    return Read(source, info);
}

} // namespace PeVersionInfo
