#include "TestSupport.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include <zlib.h>

namespace TestSupport
{

ScratchDir::ScratchDir()
{
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        fs::path candidate = fs::temp_directory_path() / ("kelvarin-pkg-" + std::to_string(stamp) +
                                                          "-" + std::to_string(counter++));
        std::error_code ec;
        if (fs::create_directory(candidate, ec))
        {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a scratch folder");
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> Pattern(size_t size, uint32_t seed, bool compressible)
{
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i)
    {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = compressible ? static_cast<uint8_t>("package "[(i / 7 + (x & 1)) % 8])
                                : static_cast<uint8_t>(x);
    }
    return bytes;
}

void Put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    Put16(out, static_cast<uint16_t>(v));
    Put16(out, static_cast<uint16_t>(v >> 16));
}

void Put64(std::vector<uint8_t>& out, uint64_t v)
{
    Put32(out, static_cast<uint32_t>(v));
    Put32(out, static_cast<uint32_t>(v >> 32));
}

uint32_t Get32(const std::vector<uint8_t>& bytes, size_t offset)
{
    return static_cast<uint32_t>(bytes.at(offset)) |
           (static_cast<uint32_t>(bytes.at(offset + 1)) << 8) |
           (static_cast<uint32_t>(bytes.at(offset + 2)) << 16) |
           (static_cast<uint32_t>(bytes.at(offset + 3)) << 24);
}

void ChangeKeepingCrc32(std::vector<uint8_t>& bytes, size_t at)
{
    const auto crc = [&bytes]()
    { return static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size()))); };
    if (at + 4 >= bytes.size())
    {
        throw std::out_of_range("no four bytes after the one to change");
    }
    const uint32_t kept = crc();
    bytes[at] ^= 1;
    const uint32_t changed = crc();
    // The CRC is linear in the bits: a flip changes it by the same amount whatever the rest
    // holds. Which flips of the next 32 bits together undo the first, by elimination.
    uint32_t basis[32] = {};
    uint32_t flipsOf[32] = {};
    for (uint32_t bit = 0; bit < 32; ++bit)
    {
        bytes[at + 1 + bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        uint32_t effect = crc() ^ changed;
        bytes[at + 1 + bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        uint32_t flips = 1u << bit;
        for (int lead = 31; lead >= 0 && effect != 0; --lead)
        {
            if ((effect >> lead & 1) == 0)
            {
                continue;
            }
            if (basis[lead] == 0)
            {
                basis[lead] = effect;
                flipsOf[lead] = flips;
                break;
            }
            effect ^= basis[lead];
            flips ^= flipsOf[lead];
        }
    }
    uint32_t wanted = kept ^ changed;
    uint32_t flips = 0;
    for (int lead = 31; lead >= 0; --lead)
    {
        if ((wanted >> lead & 1) != 0)
        {
            wanted ^= basis[lead];
            flips ^= flipsOf[lead];
        }
    }
    for (uint32_t bit = 0; bit < 32; ++bit)
    {
        bytes[at + 1 + bit / 8] ^= static_cast<uint8_t>((flips >> bit & 1) << (bit % 8));
    }
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::vector<uint8_t> out(size);
    if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
    {
        throw std::runtime_error("compress2 failed");
    }
    out.resize(size);
    return out;
}

std::vector<uint8_t> Record(const RawEntry& entry)
{
    std::vector<uint8_t> out;
    if (!entry.rawName.empty())
    {
        out = entry.rawName;
        out.resize(2048, 0);
    }
    else
    {
        for (char16_t c : entry.name)
        {
            Put16(out, c);
        }
        out.resize(2048, 0);
    }
    Put32(out, entry.kind);
    std::vector<uint8_t> kindData = entry.kindData;
    kindData.resize(1016, 0);
    out.insert(out.end(), kindData.begin(), kindData.end());
    Put32(out, 0);
    Put32(out, entry.storedSize);
    Put32(out, entry.unpackedSize);
    Put32(out, entry.dataOffset);
    return out;
}

uint32_t RawPackage::AddBlock(const std::vector<uint8_t>& bytes)
{
    uint32_t offset = static_cast<uint32_t>(256 + data.size());
    data.insert(data.end(), bytes.begin(), bytes.end());
    return offset;
}

void RawPackage::AddFileEntry(const std::u16string& name, const std::vector<uint8_t>& stored,
                              uint32_t unpackedSize)
{
    RawEntry entry;
    entry.name = name;
    entry.storedSize = static_cast<uint32_t>(stored.size());
    entry.unpackedSize = unpackedSize;
    entry.dataOffset = AddBlock(stored);
    entries.push_back(entry);
}

std::vector<uint8_t> RawPackage::Bytes(int32_t countOverride, bool useCountOverride) const
{
    static const uint8_t kMagic[16] = {0xF6, 0xCC, 0x51, 0xF0, 0x53, 0x87, 0xD2, 0x11,
                                       0x96, 0x53, 0x00, 0xAA, 0x00, 0xAC, 0xC8, 0xDB};
    std::vector<uint8_t> out(kMagic, kMagic + 16);
    uint32_t catalogOffset = static_cast<uint32_t>(256 + data.size());
    Put32(out, catalogOffset);
    Put32(out, build);
    Put32(out, compressedFlag);
    out.resize(256, 0);
    out.insert(out.end(), data.begin(), data.end());
    Put32(out, static_cast<uint32_t>(useCountOverride ? countOverride
                                                      : static_cast<int32_t>(entries.size())));
    std::vector<uint8_t> titleField = rawTitle;
    if (titleField.empty())
    {
        titleField.assign(title.begin(), title.end());
    }
    titleField.resize(64, 0);
    out.insert(out.end(), titleField.begin(), titleField.end());
    for (const RawEntry& entry : entries)
    {
        std::vector<uint8_t> record = Record(entry);
        out.insert(out.end(), record.begin(), record.end());
    }
    return out;
}

} // namespace TestSupport

namespace TestSupport
{

namespace
{
void Align4(std::vector<uint8_t>& out)
{
    while (out.size() % 4 != 0)
    {
        out.push_back(0);
    }
}

void PutAt32(std::vector<uint8_t>& out, size_t offset, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
    {
        out.at(offset + i) = static_cast<uint8_t>(v >> (8 * i));
    }
}

void PutAt16(std::vector<uint8_t>& out, size_t offset, uint16_t v)
{
    out.at(offset) = static_cast<uint8_t>(v);
    out.at(offset + 1) = static_cast<uint8_t>(v >> 8);
}
} // namespace

std::vector<uint8_t> VersionNode(const std::u16string& key, const std::vector<uint8_t>& value,
                                 uint16_t valueLength, uint16_t type,
                                 const std::vector<std::vector<uint8_t>>& children)
{
    std::vector<uint8_t> out(6, 0);
    for (char16_t c : key)
    {
        Put16(out, c);
    }
    Put16(out, 0);
    Align4(out);
    out.insert(out.end(), value.begin(), value.end());
    for (const auto& child : children)
    {
        Align4(out);
        out.insert(out.end(), child.begin(), child.end());
    }
    PutAt16(out, 0, static_cast<uint16_t>(out.size()));
    PutAt16(out, 2, valueLength);
    PutAt16(out, 4, type);
    return out;
}

std::vector<uint8_t> TextValue(const std::u16string& text)
{
    std::vector<uint8_t> out;
    for (char16_t c : text)
    {
        Put16(out, c);
    }
    Put16(out, 0);
    return out;
}

std::vector<uint8_t>
VersionBlock(uint32_t fileMs, uint32_t fileLs, const std::vector<std::u16string>& tableKeys,
             const std::vector<std::pair<std::u16string, std::u16string>>& strings,
             uint32_t translation)
{
    std::vector<uint8_t> fixed;
    Put32(fixed, 0xFEEF04BDu);
    Put32(fixed, 0x00010000u);
    Put32(fixed, fileMs);
    Put32(fixed, fileLs);
    Put32(fixed, fileMs + 1); // product version, distinct from the file version
    Put32(fixed, fileLs + 1);
    Put32(fixed, 0x3F);
    Put32(fixed, 0);
    Put32(fixed, 0x40004);
    Put32(fixed, 2);
    Put32(fixed, 0);
    Put32(fixed, 0);
    Put32(fixed, 0);

    std::vector<std::vector<uint8_t>> tables;
    for (size_t t = 0; t < tableKeys.size(); ++t)
    {
        std::vector<std::vector<uint8_t>> values;
        for (const auto& pair : strings)
        {
            // Each table's values differ so a test can tell which was read.
            std::u16string text =
                pair.second + (t == 0 ? u"" : u" #" + std::u16string(1, char16_t(u'0' + t)));
            values.push_back(VersionNode(pair.first, TextValue(text),
                                         static_cast<uint16_t>(text.size() + 1), 1));
        }
        tables.push_back(VersionNode(tableKeys[t], {}, 0, 1, values));
    }
    std::vector<std::vector<uint8_t>> children;
    if (!tables.empty())
    {
        children.push_back(VersionNode(u"StringFileInfo", {}, 0, 1, tables));
    }
    if (translation != 0)
    {
        std::vector<uint8_t> value;
        Put32(value, translation);
        children.push_back(
            VersionNode(u"VarFileInfo", {}, 0, 1, {VersionNode(u"Translation", value, 4, 0)}));
    }
    return VersionNode(u"VS_VERSION_INFO", fixed, 52, 0, children);
}

std::vector<uint8_t> RecordRoom()
{
    std::vector<uint8_t> room(4096, 0);
    std::memcpy(room.data(), "KVPKGREC", 8);
    room[8] = 1;
    return room;
}

std::vector<uint8_t> PeImage(const std::vector<uint8_t>& versionBlock, const PeOptions& options)
{
    const uint32_t peOffset = 0x80;
    const uint32_t optionalSize = options.pe32plus ? 240 : 224;
    const uint32_t rsrcRva = 0x2000;
    const uint32_t rsrcRaw = 0x400;

    // Resource tree: type -> name -> language 0x409 -> data, one branch per resource, the
    // types in ascending order as the format wants them.
    struct Branch
    {
        uint32_t type;
        uint32_t name;
        const std::vector<uint8_t>* data;
    };
    std::vector<Branch> branches = {{options.resourceType, 1, &versionBlock}};
    if (!options.recordRoom.empty())
    {
        branches.push_back({10, 20130, &options.recordRoom}); // RT_RCDATA, the record's room
    }
    std::sort(branches.begin(), branches.end(),
              [](const Branch& a, const Branch& b) { return a.type < b.type; });
    const size_t count = branches.size();
    const size_t perBranch = 24 + 24 + 16; // name and language directories, data entry
    std::vector<uint8_t> rsrc(16 + 8 * count + perBranch * count, 0);
    PutAt16(rsrc, 14, static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i)
    {
        const size_t names = 16 + 8 * count + perBranch * i;
        const size_t languages = names + 24;
        const size_t entry = languages + 24;
        PutAt32(rsrc, 16 + 8 * i, branches[i].type);
        PutAt32(rsrc, 20 + 8 * i, 0x80000000u | static_cast<uint32_t>(names));
        PutAt16(rsrc, names + 14, 1);
        PutAt32(rsrc, names + 16, branches[i].name);
        PutAt32(rsrc, names + 20, 0x80000000u | static_cast<uint32_t>(languages));
        PutAt16(rsrc, languages + 14, 1);
        PutAt32(rsrc, languages + 16, 0x409);
        PutAt32(rsrc, languages + 20, static_cast<uint32_t>(entry));
        PutAt32(rsrc, entry, rsrcRva + static_cast<uint32_t>(rsrc.size()));
        PutAt32(rsrc, entry + 4, static_cast<uint32_t>(branches[i].data->size()));
        rsrc.insert(rsrc.end(), branches[i].data->begin(), branches[i].data->end());
        Align4(rsrc);
    }

    std::vector<uint8_t> image(rsrcRaw, 0);
    image[0] = 'M';
    image[1] = 'Z';
    PutAt32(image, 0x3C, peOffset);
    image[peOffset] = 'P';
    image[peOffset + 1] = 'E';
    size_t coff = peOffset + 4;
    PutAt16(image, coff, options.pe32plus ? 0x8664 : 0x14C);
    PutAt16(image, coff + 2, 1);
    PutAt16(image, coff + 16, static_cast<uint16_t>(optionalSize));
    PutAt16(image, coff + 18, 0x2102);
    size_t optional = coff + 20;
    PutAt16(image, optional, options.pe32plus ? 0x20B : 0x10B);
    size_t directories = optional + (options.pe32plus ? 112 : 96);
    PutAt32(image, directories - 4, 16);
    if (options.withResources)
    {
        PutAt32(image, directories + 16, rsrcRva);
        PutAt32(image, directories + 20, static_cast<uint32_t>(rsrc.size()));
    }
    size_t section = optional + optionalSize;
    std::memcpy(&image[section], ".rsrc", 5);
    PutAt32(image, section + 8, static_cast<uint32_t>(rsrc.size()));
    PutAt32(image, section + 12, rsrcRva);
    PutAt32(image, section + 16, static_cast<uint32_t>(rsrc.size()));
    PutAt32(image, section + 20, rsrcRaw);
    image.insert(image.end(), rsrc.begin(), rsrc.end());
    return image;
}

} // namespace TestSupport
