// Constant data of the Unicode font-mapping seed: which font keys the setup writes, with which
// tables, and the exact list of registry values each key receives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fontmap
{

// Parent of the per-font keys, under HKEY_LOCAL_MACHINE; a font's key is this, a backslash and
// its face name.
constexpr const char kFontMappingKey[] = "Software\\Pellmor\\Unicode Support\\Font Mapping";

// FONTSIGNATURE.fsUsb with only bit 60 (Private Use Area) set, in SetBinaryFromHex form.
constexpr const char kUsbSignatureHex[] = "00-00-00-00-00-00-00-10-00-00-00-00-00-00-00-00";

constexpr std::size_t kMaxMultimapCodes = 5;

// Source code points first..last map to (code point - offset).
struct FontZone
{
    uint16_t first, last, offset;
};

// One source code point replaced by a sequence of 2 to 5 codes; codes past count are zero.
struct FontMultimap
{
    uint16_t from;
    uint8_t count;
    uint16_t codes[kMaxMultimapCodes];
};

struct FontMapping
{
    uint16_t source, target;

    // The "Mapping i" DWORD.
    constexpr uint32_t Value() const { return static_cast<uint32_t>(source) << 16 | target; }
};

struct FontKey
{
    const char* faceName;
    uint32_t customSignature;
    bool mapped; // key is emptied and receives the tables below
    const FontZone* zones;
    std::size_t zoneCount;
    const FontMultimap* multimaps;
    std::size_t multimapEntries;
    // Written as "Multimap Count"; kept apart from multimapEntries because the two need not agree.
    uint32_t multimapCountValue;
    const FontMapping* mappings;
    std::size_t mappingCount;
};

struct FontList
{
    const FontKey* data;
    std::size_t size;

    const FontKey* begin() const { return data; }
    const FontKey* end() const { return data + size; }
    const FontKey& operator[](std::size_t i) const { return data[i]; }
};

// All font keys in the order they are written: signature-only fonts first, then mapped fonts.
FontList Fonts();

// nullptr when no font has that face name.
const FontKey* FindFont(const char* faceName);

struct FontValueWrite
{
    enum Type
    {
        Binary16FromHex, // hex is the text for SetBinaryFromHex (16 bytes)
        Dword
    };

    std::string name;
    Type type;
    uint32_t dword;
    std::string hex;
};

// Every value of one font key in write order; the registry code writes them as listed.
std::vector<FontValueWrite> BuildFontWrites(const FontKey& font);

} // namespace fontmap
