#include "config/FontMappingData.h"

#include <array>
#include <cstring>

namespace fontmap
{
namespace
{

// clang-format off

// Both Bidisha fonts place their plain glyph runs at the same private code points.
constexpr FontZone kBidishaZones[] = {
    // first   last    offset    targets
    {0xE100, 0xE13F, 0xE100}, // 1: 0x00-0x3F
    {0xE143, 0xE145, 0xE107}, // 2: 0x3C-0x3E
    {0xE146, 0xE153, 0xE106}, // 3: 0x40-0x4D
    {0xE156, 0xE15A, 0xE106}, // 4: 0x50-0x54
    {0xE15F, 0xE168, 0xE10A}, // 5: 0x55-0x5E
    {0xE172, 0xE174, 0xE10E}, // 6: 0x64-0x66
};

// BN-TTBidisha conjuncts and split vowel signs, drawn from several glyphs (CH 1, CH 2, ...).
// Entries 36-39 override zone 1.
constexpr FontMultimap kBnMultimaps[] = {
    // from, number of codes, {CH 1, CH 2, ...}
    {0xE142, 2, {0x0063, 0x004F}},                        // 1
    {0xE1C0, 2, {0x00A7, 0x00C1}},                        // 2
    {0xE1E6, 2, {0x00BA, 0x00A6}},                        // 3
    {0xE1B9, 2, {0x0046, 0x002F}},                        // 4
    {0xE1AA, 2, {0x0074, 0x0053}},                        // 5
    {0xE1A9, 2, {0x00A8, 0x00E8}},                        // 6
    {0xE1BB, 2, {0x2013, 0x0025}},                        // 7
    {0xE177, 2, {0x00BA, 0x002D}},                        // 8
    {0xE1DB, 2, {0x00DA, 0x0053}},                        // 9
    {0xE16B, 2, {0x00AF, 0x003B}},                        // 10
    {0xE179, 4, {0x005A, 0x00E3, 0x0161, 0x002D}},        // 11
    {0xE1F3, 2, {0x0058, 0x00C1}},                        // 12
    {0xE18E, 2, {0x00B4, 0x0059}},                        // 13
    {0xE1E0, 3, {0x0048, 0x00C2, 0x004F}},                // 14
    {0xE1BA, 3, {0x00D9, 0x0037, 0x02C6}},                // 15
    {0xE1DC, 2, {0x004E, 0x003A}},                        // 16
    {0xE1B2, 2, {0x02DC, 0x0021}},                        // 17
    {0xE1F7, 4, {0x00BA, 0x0052, 0x00F4, 0x004F}},        // 18
    {0xE1A2, 2, {0x0078, 0x00A5}},                        // 19
    {0xE1B7, 2, {0x004D, 0x00B4}},                        // 20
    {0xE19C, 2, {0x007C, 0x00AF}},                        // 21
    {0xE15E, 4, {0x0077, 0x00EF, 0x00B1, 0x00AD}},        // 22
    {0xE1A3, 2, {0x00F3, 0x02DC}},                        // 23
    {0xE1CD, 2, {0x00CD, 0x201D}},                        // 24
    {0xE19A, 2, {0x006F, 0x0047}},                        // 25
    {0xE1C6, 2, {0x0068, 0x00A7}},                        // 26
    {0xE194, 2, {0x005C, 0x0053}},                        // 27
    {0xE19F, 2, {0x203A, 0x0074}},                        // 28
    {0xE1C3, 3, {0x2122, 0x0021, 0x201C}},                // 29
    {0xE1B5, 2, {0x0031, 0x00A3}},                        // 30
    {0xE17C, 2, {0x0026, 0x00D9}},                        // 31
    {0xE1B4, 2, {0x0029, 0x006E}},                        // 32
    {0xE1F9, 2, {0x006E, 0x007E}},                        // 33
    {0xE195, 2, {0x00F1, 0x00D1}},                        // 34
    {0xE16C, 2, {0x00C2, 0x0152}},                        // 35
    {0xE108, 5, {0x00AC, 0x006E, 0x00BC, 0x00F7, 0x00C5}}, // 36
    {0xE114, 2, {0x203A, 0x00F5}},                        // 37
    {0xE118, 3, {0x00AF, 0x0192, 0x002F}},                // 38
    {0xE119, 2, {0x0079, 0x00D4}},                        // 39
};

// BN-TTBidisha one-to-one glyph codes. Entries 7-22 send the Windows-1252 punctuation code points
// to other glyphs of the font; 122-136, 141 and 142 override zone 1.
constexpr FontMapping kBnMappings[] = {
    // source  target
    {0xE141, 0x0025},  // 1
    {0xE1E3, 0x00E8},  // 2
    {0xE1F6, 0x0192},  // 3
    {0xE1E5, 0x00D4},  // 4
    {0xE1B0, 0x00D1},  // 5
    {0xE1D3, 0x009D},  // 6
    {0x0153, 0x00B3},  // 7
    {0x0160, 0x00CA},  // 8
    {0x0161, 0x007B},  // 9
    {0x0178, 0x00A8},  // 10
    {0x0192, 0x00AF},  // 11
    {0x02C6, 0x00C3},  // 12
    {0x02DC, 0x00DE},  // 13
    {0x2019, 0x00D0},  // 14
    {0x201A, 0x00C9},  // 15
    {0x201E, 0x00C1},  // 16
    {0x2020, 0x0152},  // 17
    {0x2021, 0x00FF},  // 18
    {0x2026, 0x0060},  // 19
    {0x2030, 0x006C},  // 20
    {0x203A, 0x00F2},  // 21
    {0x2122, 0x201D},  // 22
    {0xE1C5, 0x00E0},  // 23
    {0xE1D5, 0x00CC},  // 24
    {0xE1AB, 0x00DF},  // 25
    {0xE18F, 0x2122},  // 26
    {0xE1BD, 0x00B1},  // 27
    {0xE171, 0x0072},  // 28
    {0xE1DD, 0x007C},  // 29
    {0xE1FE, 0x00F1},  // 30
    {0xE1EB, 0x0079},  // 31
    {0xE1E4, 0x006E},  // 32
    {0xE16E, 0x008F},  // 33
    {0xE188, 0x0061},  // 34
    {0xE19E, 0x00B9},  // 35
    {0xE1A8, 0x2022},  // 36
    {0xE1F4, 0x00D3},  // 37
    {0xE1D4, 0x00DA},  // 38
    {0xE1BC, 0x0090},  // 39
    {0xE190, 0x00A3},  // 40
    {0xE1FD, 0x00F7},  // 41
    {0xE1C8, 0x00F6},  // 42
    {0xE1CF, 0x0078},  // 43
    {0xE1F0, 0x2014},  // 44
    {0xE19B, 0x2020},  // 45
    {0xE1CE, 0x201C},  // 46
    {0xE186, 0x00B7},  // 47
    {0xE1A4, 0x00B4},  // 48
    {0xE1D9, 0x00CB},  // 49
    {0xE1C1, 0x203A},  // 50
    {0xE17B, 0x00D7},  // 51
    {0xE1E0, 0x00F8},  // 52
    {0xE181, 0x00A4},  // 53
    {0xE18A, 0x00FB},  // 54
    {0xE1DF, 0x00EC},  // 55
    {0xE1E9, 0x00C4},  // 56
    {0xE1BE, 0x0023},  // 57
    {0xE1E7, 0x00C7},  // 58
    {0xE1D6, 0x00C0},  // 59
    {0xE185, 0x0074},  // 60
    {0xE1AF, 0x00BD},  // 61
    {0xE1B3, 0x00A1},  // 62
    {0xE1EC, 0x00BB},  // 63
    {0xE1CA, 0x00F4},  // 64
    {0xE1B1, 0x00D5},  // 65
    {0xE183, 0x00E3},  // 66
    {0xE1BF, 0x0076},  // 67
    {0xE16D, 0x00DD},  // 68
    {0xE17E, 0x004E},  // 69
    {0xE1A7, 0x00CE},  // 70
    {0xE1DA, 0x00E4},  // 71
    {0xE1C9, 0x0067},  // 72
    {0xE1A6, 0x00A2},  // 73
    {0xE18C, 0x007E},  // 74
    {0xE1E1, 0x0062},  // 75
    {0xE198, 0x00AA},  // 76
    {0xE1ED, 0x006F},  // 77
    {0xE1D1, 0x00FC},  // 78
    {0xE1D0, 0x201E},  // 79
    {0xE19D, 0x0073},  // 80
    {0xE1D7, 0x0077},  // 81
    {0xE1F5, 0x00BC},  // 82
    {0xE1F2, 0x0153},  // 83
    {0xE15B, 0x00F0},  // 84
    {0xE191, 0x00AC},  // 85
    {0xE192, 0x00FD},  // 86
    {0xE1FF, 0x00C6},  // 87
    {0xE155, 0x00AE},  // 88
    {0xE1E2, 0x00D6},  // 89
    {0xE17A, 0x0070},  // 90
    {0xE1AE, 0x00A7},  // 91
    {0xE1CC, 0x00AB},  // 92
    {0xE1FC, 0x00B5},  // 93
    {0xE1C2, 0x00D8},  // 94
    {0xE1B6, 0x00CD},  // 95
    {0xE176, 0x0068},  // 96
    {0xE182, 0x0081},  // 97
    {0xE1B8, 0x2013},  // 98
    {0xE18D, 0x20AC},  // 99
    {0xE1D8, 0x00FE},  // 100
    {0xE15D, 0x00D9},  // 101
    {0xE175, 0x007A},  // 102
    {0xE193, 0x00A6},  // 103
    {0xE180, 0x0160},  // 104
    {0xE1EE, 0x007D},  // 105
    {0xE169, 0x2019},  // 106
    {0xE1A5, 0x2021},  // 107
    {0xE1DE, 0x00E5},  // 108
    {0xE1CB, 0x2026},  // 109
    {0xE1FA, 0x00BF},  // 110
    {0xE16F, 0x00EA},  // 111
    {0xE1AC, 0x00F9},  // 112
    {0xE1EF, 0x017D},  // 113
    {0xE17D, 0x0063},  // 114
    {0xE178, 0x00A5},  // 115
    {0xE187, 0x00B0},  // 116
    {0xE1C4, 0x00E9},  // 117
    {0xE140, 0x005F},  // 118
    {0xE184, 0x00CF},  // 119
    {0xE1F8, 0x00C8},  // 120
    {0xE189, 0x0161},  // 121
    {0xE101, 0x00F3},  // 122
    {0xE102, 0x00F5},  // 123
    {0xE103, 0x00E7},  // 124
    {0xE104, 0x008D},  // 125
    {0xE105, 0x00B6},  // 126
    {0xE106, 0x00B2},  // 127
    {0xE107, 0x00AD},  // 128
    {0xE109, 0x0178},  // 129
    {0xE110, 0x2018},  // 130
    {0xE111, 0x006A},  // 131
    {0xE112, 0x00DC},  // 132
    {0xE113, 0x017E},  // 133
    {0xE115, 0x00EB},  // 134
    {0xE116, 0x004F},  // 135
    {0xE117, 0x00E1},  // 136
    {0xE1AD, 0x00E2},  // 137
    {0xE16A, 0x0075},  // 138
    {0xE154, 0x00E6},  // 139
    {0xE1CD, 0x2039},  // 140
    {0xE120, 0x0020},  // 141
    {0xE126, 0x00B8},  // 142
    {0xE18B, 0x00FA},  // 143
    {0xE197, 0x00A9},  // 144
};

// Presentation forms the Simplified Arabic faces lack, sent to a form they have of the same letter.
constexpr FontMapping kArabicMappings[] = {
    // source  target
    {0xFE96, 0xFE95},  // 1
    {0xFE97, 0xFE98},  // 2
    {0xFE9A, 0xFE99},  // 3
    {0xFE9B, 0xFE9C},  // 4
    {0xFE9F, 0xFEA0},  // 5
    {0xFEA3, 0xFEA4},  // 6
    {0xFEA7, 0xFEA8},  // 7
    {0xFEAA, 0xFEA9},  // 8
    {0xFEAC, 0xFEAB},  // 9
    {0xFEAE, 0xFEAD},  // 10
    {0xFEB0, 0xFEAF},  // 11
    {0xFEB2, 0xFEB1},  // 12
    {0xFEB3, 0xFEB4},  // 13
    {0xFEB6, 0xFEB5},  // 14
    {0xFEB7, 0xFEB8},  // 15
    {0xFEBA, 0xFEB9},  // 16
    {0xFEBB, 0xFEBC},  // 17
    {0xFEBE, 0xFEBD},  // 18
    {0xFEBF, 0xFEC0},  // 19
    {0xFEC2, 0xFEC1},  // 20
    {0xFEC3, 0xFEC1},  // 21
    {0xFEC4, 0xFEC1},  // 22
    {0xFEC6, 0xFEC5},  // 23
    {0xFEC7, 0xFEC5},  // 24
    {0xFEC8, 0xFEC5},  // 25
    {0xFED2, 0xFED1},  // 26
    {0xFED6, 0xFED5},  // 27
    {0xFEDA, 0xFED9},  // 28
    {0xFEDB, 0xFEDC},  // 29
    {0xFEDE, 0xFEDD},  // 30
    {0xFEE2, 0xFEE1},  // 31
    {0xFEE3, 0xFEE4},  // 32
    {0xFEE6, 0xFEE5},  // 33
    {0xFEE7, 0xFEE8},  // 34
    {0xFEEE, 0xFEED},  // 35
    {0xFEF3, 0xFEF4},  // 36
    {0xFE90, 0xFE8F},  // 37
    {0xFE91, 0xFE92},  // 38
    {0xFE8B, 0xFE8C},  // 39
};

// clang-format on

constexpr std::size_t kBnMultimapCount = sizeof kBnMultimaps / sizeof kBnMultimaps[0];
constexpr std::size_t kBnMappingCount = sizeof kBnMappings / sizeof kBnMappings[0];
static_assert(kBnMultimapCount == 39 && kBnMappingCount == 144, "BN-TTBidisha table sizes");

// AS-TTBidisha is BN-TTBidisha but for a few glyphs: it lacks BN's first multimap entry (U+E142
// is a single glyph there), has three more mappings and three other targets. Deriving it keeps
// the two fonts from drifting apart.
constexpr const FontMultimap* kAsMultimaps = kBnMultimaps + 1;
constexpr std::size_t kAsMultimapEntries = kBnMultimapCount - 1;

// The original data counted 37 here, one short of the 38 entries it held, so a reader walking
// 1..Count never reached the last entry (U+E119) and fell back to zone 1's control code 0x19,
// where BN-TTBidisha gets 0x79 0xD4 for the same glyph. "Multimap Count" is the number of
// entries, so we write 38 and every written entry is reachable.
constexpr uint32_t kAsMultimapCountValue = kAsMultimapEntries;

constexpr std::size_t kAsMappingCount = kBnMappingCount + 3;

constexpr std::array<FontMapping, kAsMappingCount> MakeAsMappings()
{
    std::array<FontMapping, kAsMappingCount> as{};
    for (std::size_t i = 0; i < 96; ++i)
        as[i] = kBnMappings[i];
    as[96] = {0xE142, 0x002B};
    as[97] = {0xE1A0, 0x00BB};
    as[98] = {0xE15C, 0x00BE};
    for (std::size_t i = 96; i < kBnMappingCount; ++i)
        as[i + 3] = kBnMappings[i];
    // Array index is the mapping number minus one.
    as[56].target = 0x0080;  // U+E1BE
    as[87].target = 0x004F;  // U+E155
    as[118].target = 0x00B3; // U+E187
    return as;
}

constexpr std::array<FontMapping, kAsMappingCount> kAsMappings = MakeAsMappings();

constexpr std::size_t kArabicMappingCount = sizeof kArabicMappings / sizeof kArabicMappings[0];

constexpr FontKey SignatureOnly(const char* faceName, uint32_t customSignature)
{
    return FontKey{faceName, customSignature, false, nullptr, 0, nullptr, 0, 0, nullptr, 0};
}

constexpr FontKey Mapped(const char* faceName, const FontZone* zones, std::size_t zoneCount,
                         const FontMultimap* multimaps, std::size_t multimapEntries,
                         uint32_t multimapCountValue, const FontMapping* mappings,
                         std::size_t mappingCount)
{
    FontKey key = SignatureOnly(faceName, 2);
    key.mapped = true;
    key.zones = zones;
    key.zoneCount = zoneCount;
    key.multimaps = multimaps;
    key.multimapEntries = multimapEntries;
    key.multimapCountValue = multimapCountValue;
    key.mappings = mappings;
    key.mappingCount = mappingCount;
    return key;
}

// clang-format off

constexpr FontKey kFonts[] = {
    SignatureOnly("DV-Dhruv", 1),
    SignatureOnly("DV-Aakash", 1),
    SignatureOnly("DV-Alankar", 1),
    SignatureOnly("DV-Ganesh", 1),
    SignatureOnly("DV-Kishor", 1),
    SignatureOnly("DV-Manohar", 1),
    SignatureOnly("DV-Natraj", 1),
    SignatureOnly("DV-Prakash", 1),
    SignatureOnly("DV-Radhika", 1),
    SignatureOnly("DV-Shridhar", 1),
    SignatureOnly("DV-Surekh", 1),
    SignatureOnly("DV-Surkhiyan", 1),
    SignatureOnly("DV-Vasundhara", 1),
    SignatureOnly("DV-Yogesh", 1),
    SignatureOnly("DV-TTGanesh", 1),
    SignatureOnly("DV-TTNatraj", 1),
    SignatureOnly("DV-TTYogesh", 1),
    SignatureOnly("AnandapatraP", 2),
    SignatureOnly("ChandrabatiP", 2),
    SignatureOnly("ChaturangaP", 2),
    SignatureOnly("DhakarchithiP", 2),
    SignatureOnly("DhanshirhiP", 2),
    SignatureOnly("KarnaphuliP", 2),
    SignatureOnly("KhooaiP", 2),
    SignatureOnly("MahouaP", 2),
    SignatureOnly("PandulipiP", 2),
    SignatureOnly("ParashP", 2),
    SignatureOnly("ProshnaP", 2),
    SignatureOnly("RinkiyP", 2),
    SignatureOnly("RuposhreeP", 2),
    SignatureOnly("ShurmaP", 2),
    SignatureOnly("SushreeP", 2),
    SignatureOnly("SutonnyP", 2),
    SignatureOnly("TM-TTBharathi", 4),
    SignatureOnly("TM-TTValluvar", 4),
    SignatureOnly("TM-TTKamban", 4),
    SignatureOnly("TM-TTKapilan", 4),
    SignatureOnly("TM-TTNakkeran", 4),
    SignatureOnly("Nafees Nastaleeq", 8),
    Mapped("BN-TTBidisha", kBidishaZones, 6, kBnMultimaps, kBnMultimapCount, kBnMultimapCount,
           kBnMappings, kBnMappingCount),
    Mapped("AS-TTBidisha", kBidishaZones, 6, kAsMultimaps, kAsMultimapEntries, kAsMultimapCountValue,
           kAsMappings.data(), kAsMappingCount),
    Mapped("Simplified Arabic", nullptr, 0, nullptr, 0, 0, kArabicMappings, kArabicMappingCount),
    Mapped("Simplified Arabic Bold", nullptr, 0, nullptr, 0, 0, kArabicMappings, kArabicMappingCount),
    Mapped("Simplified Arabic Fixed", nullptr, 0, nullptr, 0, 0, kArabicMappings, kArabicMappingCount),
};

// clang-format on

constexpr std::size_t kFontCount = sizeof kFonts / sizeof kFonts[0];
static_assert(kFontCount == 44, "font key count");

} // namespace

FontList Fonts()
{
    return FontList{kFonts, kFontCount};
}

const FontKey* FindFont(const char* faceName)
{
    for (const FontKey& font : kFonts)
    {
        if (std::strcmp(font.faceName, faceName) == 0)
            return &font;
    }
    return nullptr;
}

std::vector<FontValueWrite> BuildFontWrites(const FontKey& font)
{
    std::vector<FontValueWrite> writes;
    auto dword = [&writes](std::string name, uint32_t value) {
        writes.push_back({std::move(name), FontValueWrite::Dword, value, std::string()});
    };

    writes.push_back({"USB Signature", FontValueWrite::Binary16FromHex, 0, kUsbSignatureHex});
    dword("Custom Signature", font.customSignature);
    if (!font.mapped)
        return writes;

    dword("Advanced Mapping", 1);
    if (font.zoneCount > 0)
    {
        dword("Zone Count", static_cast<uint32_t>(font.zoneCount));
        for (std::size_t i = 0; i < font.zoneCount; ++i)
        {
            const std::string zone = "Zone " + std::to_string(i + 1);
            dword(zone + " First", font.zones[i].first);
            dword(zone + " Last", font.zones[i].last);
            dword(zone + " Offset", font.zones[i].offset);
        }
    }
    if (font.multimapEntries > 0)
    {
        dword("Multimap Count", font.multimapCountValue);
        for (std::size_t i = 0; i < font.multimapEntries; ++i)
        {
            const FontMultimap& entry = font.multimaps[i];
            const std::string multimap = "Multimap " + std::to_string(i + 1);
            dword(multimap + " From", entry.from);
            for (std::size_t k = 0; k < entry.count; ++k)
                dword(multimap + " CH " + std::to_string(k + 1), entry.codes[k]);
        }
    }
    dword("Mapping Count", static_cast<uint32_t>(font.mappingCount));
    for (std::size_t i = 0; i < font.mappingCount; ++i)
        dword("Mapping " + std::to_string(i + 1), font.mappings[i].Value());
    return writes;
}

} // namespace fontmap
