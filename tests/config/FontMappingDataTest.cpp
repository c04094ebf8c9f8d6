#include "config/FontMappingData.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

using namespace fontmap;

namespace
{

using CodeSet = std::set<uint16_t>;

const FontKey& Font(const char* faceName)
{
    const FontKey* font = FindFont(faceName);
    if (font == nullptr)
        ADD_FAILURE() << "no font " << faceName;
    return font != nullptr ? *font : Fonts()[0];
}

const FontKey& Bn()
{
    return Font("BN-TTBidisha");
}
const FontKey& As()
{
    return Font("AS-TTBidisha");
}

// The Windows-1252 characters at bytes 0x80-0x9F that the Bidisha fonts take as sources.
const CodeSet kCp1252Sources = {0x0153, 0x0160, 0x0161, 0x0178, 0x0192, 0x02C6, 0x02DC, 0x2019,
                                0x201A, 0x201E, 0x2020, 0x2021, 0x2026, 0x2030, 0x203A, 0x2122};

// Every 8-bit glyph code in the form Windows-1252 gives it in Unicode.
CodeSet GlyphCodeForms()
{
    CodeSet codes;
    for (uint16_t c = 0x00; c <= 0x7F; ++c)
        codes.insert(c);
    for (uint16_t c = 0xA0; c <= 0xFF; ++c)
        codes.insert(c);
    const uint16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                               0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                               0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                               0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    codes.insert(std::begin(high), std::end(high));
    return codes;
}

CodeSet MappingSources(const FontKey& font)
{
    CodeSet sources;
    for (std::size_t i = 0; i < font.mappingCount; ++i)
        sources.insert(font.mappings[i].source);
    return sources;
}

CodeSet MultimapSources(const FontKey& font)
{
    CodeSet sources;
    for (std::size_t i = 0; i < font.multimapEntries; ++i)
        sources.insert(font.multimaps[i].from);
    return sources;
}

CodeSet InRange(const CodeSet& codes, uint16_t first, uint16_t last)
{
    return CodeSet(codes.lower_bound(first), codes.upper_bound(last));
}

CodeSet Intersection(const CodeSet& a, const CodeSet& b)
{
    CodeSet both;
    for (uint16_t c : a)
    {
        if (b.count(c) != 0)
            both.insert(c);
    }
    return both;
}

std::vector<uint16_t> Codes(const FontMultimap& entry)
{
    return std::vector<uint16_t>(entry.codes, entry.codes + entry.count);
}

std::map<std::string, FontValueWrite> ByName(const std::vector<FontValueWrite>& writes)
{
    std::map<std::string, FontValueWrite> byName;
    for (const FontValueWrite& w : writes)
        byName.emplace(w.name, w);
    return byName;
}

uint32_t DwordOf(const std::map<std::string, FontValueWrite>& key, const std::string& name)
{
    auto it = key.find(name);
    if (it == key.end() || it->second.type != FontValueWrite::Dword)
    {
        ADD_FAILURE() << "no DWORD " << name;
        return 0;
    }
    return it->second.dword;
}

} // namespace

// ---- Font list ----

TEST(FontList, FacesSignaturesAndKindsInWriteOrder)
{
    // clang-format off
    const char* const names[44] = {
        "DV-Dhruv", "DV-Aakash", "DV-Alankar", "DV-Ganesh", "DV-Kishor", "DV-Manohar", "DV-Natraj",
        "DV-Prakash", "DV-Radhika", "DV-Shridhar", "DV-Surekh", "DV-Surkhiyan", "DV-Vasundhara",
        "DV-Yogesh", "DV-TTGanesh", "DV-TTNatraj", "DV-TTYogesh",
        "AnandapatraP", "ChandrabatiP", "ChaturangaP", "DhakarchithiP", "DhanshirhiP",
        "KarnaphuliP", "KhooaiP", "MahouaP", "PandulipiP", "ParashP", "ProshnaP", "RinkiyP",
        "RuposhreeP", "ShurmaP", "SushreeP", "SutonnyP",
        "TM-TTBharathi", "TM-TTValluvar", "TM-TTKamban", "TM-TTKapilan", "TM-TTNakkeran",
        "Nafees Nastaleeq",
        "BN-TTBidisha", "AS-TTBidisha",
        "Simplified Arabic", "Simplified Arabic Bold", "Simplified Arabic Fixed"};
    // clang-format on
    const FontList fonts = Fonts();
    ASSERT_EQ(fonts.size, 44u);
    for (std::size_t i = 0; i < 44; ++i)
    {
        SCOPED_TRACE(i + 1);
        const FontKey& font = fonts[i];
        EXPECT_STREQ(font.faceName, names[i]);
        const uint32_t signature = i < 17 ? 1 : i < 33 ? 2 : i < 38 ? 4 : i < 39 ? 8 : 2;
        EXPECT_EQ(font.customSignature, signature);
        EXPECT_EQ(font.mapped, i >= 39);
        EXPECT_EQ(FindFont(names[i]), &font);
    }
    EXPECT_EQ(FindFont("BN-TTBidisha "), nullptr);
}

TEST(FontList, TableSizesPerFont)
{
    for (const FontKey& font : Fonts())
    {
        SCOPED_TRACE(font.faceName);
        if (!font.mapped)
        {
            EXPECT_EQ(font.zoneCount, 0u);
            EXPECT_EQ(font.multimapEntries, 0u);
            EXPECT_EQ(font.mappingCount, 0u);
        }
    }
    EXPECT_EQ(Bn().zoneCount, 6u);
    EXPECT_EQ(Bn().multimapEntries, 39u);
    EXPECT_EQ(Bn().multimapCountValue, 39u);
    EXPECT_EQ(Bn().mappingCount, 144u);
    EXPECT_EQ(As().zoneCount, 6u);
    EXPECT_EQ(As().multimapEntries, 38u);
    EXPECT_EQ(As().mappingCount, 147u);
}

TEST(UsbSignature, OnlyThePrivateUseAreaBitIsSet)
{
    const std::string hex = kUsbSignatureHex;
    ASSERT_EQ(hex.size(), 16u * 3 - 1);
    uint8_t bytes[16];
    for (std::size_t i = 0; i < 16; ++i)
    {
        if (i > 0)
        {
            ASSERT_EQ(hex[i * 3 - 1], '-');
        }
        bytes[i] = static_cast<uint8_t>(std::strtoul(hex.substr(i * 3, 2).c_str(), nullptr, 16));
    }
    // fsUsb is four little-endian DWORDs; bit 60 is bit 28 of the second.
    for (std::size_t word = 0; word < 4; ++word)
    {
        const uint32_t value = bytes[word * 4] | bytes[word * 4 + 1] << 8 |
                               bytes[word * 4 + 2] << 16 | uint32_t(bytes[word * 4 + 3]) << 24;
        EXPECT_EQ(value, word == 1 ? 1u << 28 : 0u) << "word " << word;
    }
}

// ---- Bidisha tables ----

TEST(BidishaZones, BothFontsShareTheSixZones)
{
    struct Row
    {
        uint16_t first, last, offset, firstTarget, lastTarget;
    };
    const Row rows[6] = {
        {0xE100, 0xE13F, 0xE100, 0x00, 0x3F}, {0xE143, 0xE145, 0xE107, 0x3C, 0x3E},
        {0xE146, 0xE153, 0xE106, 0x40, 0x4D}, {0xE156, 0xE15A, 0xE106, 0x50, 0x54},
        {0xE15F, 0xE168, 0xE10A, 0x55, 0x5E}, {0xE172, 0xE174, 0xE10E, 0x64, 0x66}};
    for (const FontKey* font : {&Bn(), &As()})
    {
        ASSERT_EQ(font->zoneCount, 6u);
        for (std::size_t i = 0; i < 6; ++i)
        {
            SCOPED_TRACE(std::string(font->faceName) + " zone " + std::to_string(i + 1));
            const FontZone& zone = font->zones[i];
            EXPECT_EQ(zone.first, rows[i].first);
            EXPECT_EQ(zone.last, rows[i].last);
            EXPECT_EQ(zone.offset, rows[i].offset);
            EXPECT_EQ(zone.first - zone.offset, rows[i].firstTarget);
            EXPECT_EQ(zone.last - zone.offset, rows[i].lastTarget);
        }
    }
}

TEST(BnMultimaps, ListedEntriesAtTheirNumbers)
{
    const FontMultimap* mm = Bn().multimaps;
    EXPECT_EQ(mm[0].from, 0xE142);
    EXPECT_EQ(Codes(mm[0]), (std::vector<uint16_t>{0x63, 0x4F}));
    EXPECT_EQ(mm[17].from, 0xE1F7);
    EXPECT_EQ(Codes(mm[17]), (std::vector<uint16_t>{0xBA, 0x52, 0xF4, 0x4F}));
    EXPECT_EQ(mm[22].from, 0xE1A3);
    EXPECT_EQ(Codes(mm[22]), (std::vector<uint16_t>{0xF3, 0x02DC}));
    EXPECT_EQ(mm[35].from, 0xE108);
    EXPECT_EQ(Codes(mm[35]), (std::vector<uint16_t>{0xAC, 0x6E, 0xBC, 0xF7, 0xC5}));
    EXPECT_EQ(mm[36].from, 0xE114);
    EXPECT_EQ(Codes(mm[36]), (std::vector<uint16_t>{0x203A, 0xF5}));
    EXPECT_EQ(mm[38].from, 0xE119);
    EXPECT_EQ(Codes(mm[38]), (std::vector<uint16_t>{0x79, 0xD4}));
    // Two codes, so a stale "Multimap 5 CH 3" from an older seed shows whether the key was emptied.
    EXPECT_EQ(mm[4].count, 2u);
}

TEST(BnMultimaps, CodeCountsAndUnusedSlots)
{
    std::map<unsigned, unsigned> entriesByLength;
    std::size_t codes = 0;
    for (std::size_t i = 0; i < Bn().multimapEntries; ++i)
    {
        const FontMultimap& entry = Bn().multimaps[i];
        SCOPED_TRACE(i + 1);
        ASSERT_GE(entry.count, 2u);
        ASSERT_LE(entry.count, kMaxMultimapCodes);
        ++entriesByLength[entry.count];
        codes += entry.count;
        // Slots past count are never written; a zero within count would be written as code 0x00.
        for (std::size_t k = 0; k < kMaxMultimapCodes; ++k)
            EXPECT_EQ(entry.codes[k] != 0, k < entry.count) << "code " << k + 1;
    }
    EXPECT_EQ(entriesByLength, (std::map<unsigned, unsigned>{{2, 31}, {3, 4}, {4, 3}, {5, 1}}));
    EXPECT_EQ(codes, 91u);
}

TEST(BnMappings, ListedRowsAtTheirNumbers)
{
    const FontMapping* m = Bn().mappings;
    EXPECT_EQ(m[0].Value(), 0xE1410025u);
    EXPECT_EQ(m[14].Value(), 0x201A00C9u);
    EXPECT_EQ(m[25].Value(), 0xE18F2122u);
    EXPECT_EQ(m[121].Value(), 0xE10100F3u);
    EXPECT_EQ(m[140].Value(), 0xE1200020u);
    // Rows that AS-TTBidisha changes, so they must hold these sources in BN-TTBidisha.
    EXPECT_EQ(m[56].Value(), 0xE1BE0023u);
    EXPECT_EQ(m[87].Value(), 0xE15500AEu);
    EXPECT_EQ(m[115].Value(), 0xE18700B0u);
}

TEST(BidishaSources, WithinTheFontRangeAndUniquePerTable)
{
    for (const FontKey* font : {&Bn(), &As()})
    {
        SCOPED_TRACE(font->faceName);
        const CodeSet mapped = MappingSources(*font);
        const CodeSet multi = MultimapSources(*font);
        EXPECT_EQ(mapped.size(), font->mappingCount) << "a mapping source repeats";
        EXPECT_EQ(multi.size(), font->multimapEntries) << "a multimap source repeats";
        for (const CodeSet* sources : {&mapped, &multi})
        {
            for (uint16_t c : *sources)
            {
                EXPECT_TRUE((c >= 0xE100 && c <= 0xE1FF) || kCp1252Sources.count(c) != 0)
                    << std::hex << c;
                // Zones 2-6 are whole glyph runs; only zone 1 carries overrides.
                for (std::size_t z = 1; z < font->zoneCount; ++z)
                    EXPECT_FALSE(c >= font->zones[z].first && c <= font->zones[z].last)
                        << std::hex << c << " in zone " << z + 1;
            }
        }
        EXPECT_EQ(Intersection(mapped, kCp1252Sources), kCp1252Sources);
        EXPECT_TRUE(Intersection(multi, kCp1252Sources).empty());
    }
}

TEST(BidishaSources, OverlapsAreExactlyTheListedOnes)
{
    const CodeSet zone1Mapped = {0xE101, 0xE102, 0xE103, 0xE104, 0xE105, 0xE106,
                                 0xE107, 0xE109, 0xE110, 0xE111, 0xE112, 0xE113,
                                 0xE115, 0xE116, 0xE117, 0xE120, 0xE126};
    const CodeSet zone1Multi = {0xE108, 0xE114, 0xE118, 0xE119};
    for (const FontKey* font : {&Bn(), &As()})
    {
        SCOPED_TRACE(font->faceName);
        const CodeSet mapped = MappingSources(*font);
        const CodeSet multi = MultimapSources(*font);
        EXPECT_EQ(InRange(mapped, 0xE100, 0xE13F), zone1Mapped);
        EXPECT_EQ(InRange(multi, 0xE100, 0xE13F), zone1Multi);
        EXPECT_EQ(Intersection(mapped, multi), (CodeSet{0xE1CD, 0xE1E0}));
    }
}

TEST(BidishaTargets, AllInTheWindows1252Form)
{
    const CodeSet forms = GlyphCodeForms();
    ASSERT_EQ(forms.size(), 256u);
    for (const FontKey* font : {&Bn(), &As()})
    {
        SCOPED_TRACE(font->faceName);
        for (std::size_t i = 0; i < font->mappingCount; ++i)
        {
            const uint16_t target = font->mappings[i].target;
            if (font == &As() && i == 56)
            {
                EXPECT_EQ(target, 0x0080);
                continue;
            }
            EXPECT_EQ(forms.count(target), 1u) << "mapping " << i + 1 << std::hex << " " << target;
        }
        for (std::size_t i = 0; i < font->multimapEntries; ++i)
        {
            const FontMultimap& entry = font->multimaps[i];
            for (std::size_t k = 0; k < entry.count; ++k)
                EXPECT_EQ(forms.count(entry.codes[k]), 1u)
                    << "multimap " << i + 1 << " CH " << k + 1 << std::hex << " " << entry.codes[k];
        }
    }
}

TEST(AsTables, EqualBnWithExactlyTheListedDifferences)
{
    const FontKey& bn = Bn();
    const FontKey& as = As();
    ASSERT_EQ(as.multimapEntries, 38u);
    for (std::size_t i = 0; i < 38; ++i)
    {
        SCOPED_TRACE("multimap " + std::to_string(i + 1));
        EXPECT_EQ(as.multimaps[i].from, bn.multimaps[i + 1].from);
        EXPECT_EQ(Codes(as.multimaps[i]), Codes(bn.multimaps[i + 1]));
    }
    EXPECT_EQ(as.multimaps[37].from, 0xE119);

    ASSERT_EQ(as.mappingCount, 147u);
    const std::map<std::size_t, uint32_t> changed = {{57, 0xE1BE0080u}, {88, 0xE155004Fu},
                                                     {97, 0xE142002Bu}, {98, 0xE1A000BBu},
                                                     {99, 0xE15C00BEu}, {119, 0xE18700B3u}};
    for (std::size_t n = 1; n <= 147; ++n)
    {
        SCOPED_TRACE("mapping " + std::to_string(n));
        const uint32_t value = as.mappings[n - 1].Value();
        auto it = changed.find(n);
        if (it != changed.end())
        {
            EXPECT_EQ(value, it->second);
            continue;
        }
        EXPECT_EQ(value, bn.mappings[n <= 96 ? n - 1 : n - 4].Value());
    }
    EXPECT_EQ(as.mappings[124].Value(), 0xE10100F3u);
    EXPECT_EQ(as.mappings[143].Value(), 0xE1200020u);
}

TEST(AsTables, MultimapCountReachesEveryEntry)
{
    // We write the entry count, not the 37 the old key carried (see FontMappingData.cpp).
    EXPECT_EQ(As().multimapCountValue, 38u);
    EXPECT_EQ(As().multimapCountValue, As().multimapEntries);
}

TEST(SimplifiedArabic, ThreeKeysShareTheListedMappings)
{
    const uint32_t expected[39] = {
        0xFE96FE95, 0xFE97FE98, 0xFE9AFE99, 0xFE9BFE9C, 0xFE9FFEA0, 0xFEA3FEA4, 0xFEA7FEA8,
        0xFEAAFEA9, 0xFEACFEAB, 0xFEAEFEAD, 0xFEB0FEAF, 0xFEB2FEB1, 0xFEB3FEB4, 0xFEB6FEB5,
        0xFEB7FEB8, 0xFEBAFEB9, 0xFEBBFEBC, 0xFEBEFEBD, 0xFEBFFEC0, 0xFEC2FEC1, 0xFEC3FEC1,
        0xFEC4FEC1, 0xFEC6FEC5, 0xFEC7FEC5, 0xFEC8FEC5, 0xFED2FED1, 0xFED6FED5, 0xFEDAFED9,
        0xFEDBFEDC, 0xFEDEFEDD, 0xFEE2FEE1, 0xFEE3FEE4, 0xFEE6FEE5, 0xFEE7FEE8, 0xFEEEFEED,
        0xFEF3FEF4, 0xFE90FE8F, 0xFE91FE92, 0xFE8BFE8C};
    for (const char* name :
         {"Simplified Arabic", "Simplified Arabic Bold", "Simplified Arabic Fixed"})
    {
        SCOPED_TRACE(name);
        const FontKey& font = Font(name);
        ASSERT_EQ(font.mappingCount, 39u);
        for (std::size_t i = 0; i < 39; ++i)
        {
            EXPECT_EQ(font.mappings[i].Value(), expected[i]) << "mapping " << i + 1;
            EXPECT_GE(font.mappings[i].source, 0xFE8B);
            EXPECT_LE(font.mappings[i].source, 0xFEF3);
        }
    }
}

// ---- Write lists ----

TEST(FontWrites, SignatureOnlyKeysGetTheTwoSignatures)
{
    for (const FontKey& font : Fonts())
    {
        if (font.mapped)
            continue;
        SCOPED_TRACE(font.faceName);
        const std::vector<FontValueWrite> writes = BuildFontWrites(font);
        ASSERT_EQ(writes.size(), 2u);
        EXPECT_EQ(writes[0].name, "USB Signature");
        EXPECT_EQ(writes[0].type, FontValueWrite::Binary16FromHex);
        EXPECT_EQ(writes[0].hex, kUsbSignatureHex);
        EXPECT_EQ(writes[1].name, "Custom Signature");
        EXPECT_EQ(writes[1].type, FontValueWrite::Dword);
        EXPECT_EQ(writes[1].dword, font.customSignature);
    }
    EXPECT_EQ(BuildFontWrites(Font("DV-Dhruv"))[1].dword, 1u);
}

TEST(FontWrites, ValueCountsPerKeyAndInAll)
{
    std::size_t total = 0;
    for (const FontKey& font : Fonts())
        total += BuildFontWrites(font).size();
    EXPECT_EQ(total, 803u);

    const std::vector<FontValueWrite> bn = BuildFontWrites(Bn());
    EXPECT_EQ(bn.size(), 298u);
    std::size_t from = 0, ch = 0;
    for (const FontValueWrite& w : bn)
    {
        from += w.name.find(" From") != std::string::npos;
        ch += w.name.find(" CH ") != std::string::npos;
    }
    EXPECT_EQ(from, 39u);
    EXPECT_EQ(ch, 91u);
    EXPECT_EQ(BuildFontWrites(As()).size(), 298u);

    for (const char* name :
         {"Simplified Arabic", "Simplified Arabic Bold", "Simplified Arabic Fixed"})
    {
        SCOPED_TRACE(name);
        const auto key = ByName(BuildFontWrites(Font(name)));
        EXPECT_EQ(key.size(), 43u);
        EXPECT_EQ(DwordOf(key, "Advanced Mapping"), 1u);
        EXPECT_EQ(DwordOf(key, "Mapping Count"), 39u);
        EXPECT_EQ(DwordOf(key, "Mapping 1"), 0xFE96FE95u);
        EXPECT_EQ(DwordOf(key, "Mapping 39"), 0xFE8BFE8Cu);
        EXPECT_EQ(key.count("Zone Count"), 0u);
        EXPECT_EQ(key.count("Multimap Count"), 0u);
    }
}

TEST(FontWrites, NamesAreWellFormedAndUniquePerKey)
{
    const std::regex grammar("USB Signature|Custom Signature|Advanced Mapping|Zone Count|"
                             "Multimap Count|Mapping Count|Zone [1-9][0-9]* (First|Last|Offset)|"
                             "Multimap [1-9][0-9]* (From|CH [1-9][0-9]*)|Mapping [1-9][0-9]*");
    for (const FontKey& font : Fonts())
    {
        SCOPED_TRACE(font.faceName);
        const std::vector<FontValueWrite> writes = BuildFontWrites(font);
        for (const FontValueWrite& w : writes)
            EXPECT_TRUE(std::regex_match(w.name, grammar)) << '"' << w.name << '"';
        EXPECT_EQ(ByName(writes).size(), writes.size()) << "a value name repeats";
    }
    const auto as = ByName(BuildFontWrites(As()));
    for (const char* name :
         {"Zone 6 Offset", "Multimap 14 CH 3", "Mapping 147", "Multimap 38 CH 2"})
        EXPECT_EQ(as.count(name), 1u) << name;
    EXPECT_EQ(DwordOf(as, "Zone 6 Offset"), 0xE10Eu);
}

TEST(FontWrites, MappedKeysFollowTheSectionOrder)
{
    // Section of a value name, in the order the sections must be written.
    auto section = [](const std::string& name)
    {
        if (name == "USB Signature")
            return 0;
        if (name == "Custom Signature")
            return 1;
        if (name == "Advanced Mapping")
            return 2;
        if (name.compare(0, 5, "Zone ") == 0)
            return 3;
        if (name.compare(0, 9, "Multimap ") == 0)
            return 4;
        return 5;
    };
    for (const FontKey& font : Fonts())
    {
        if (!font.mapped)
            continue;
        SCOPED_TRACE(font.faceName);
        const std::vector<FontValueWrite> writes = BuildFontWrites(font);
        for (std::size_t i = 1; i < writes.size(); ++i)
            EXPECT_LE(section(writes[i - 1].name), section(writes[i].name)) << writes[i].name;
        EXPECT_EQ(writes[0].type, FontValueWrite::Binary16FromHex);
        EXPECT_EQ(writes[2].name, "Advanced Mapping");
        EXPECT_EQ(writes[3].name, font.zoneCount         ? "Zone Count"
                                  : font.multimapEntries ? "Multimap Count"
                                                         : "Mapping Count");
    }

    // Inside each section, every entry's values in order and the entries one after another.
    const std::vector<FontValueWrite> bn = BuildFontWrites(Bn());
    const char* const head[] = {"USB Signature", "Custom Signature", "Advanced Mapping",
                                "Zone Count",    "Zone 1 First",     "Zone 1 Last",
                                "Zone 1 Offset", "Zone 2 First"};
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(bn[i].name, head[i]);
    EXPECT_EQ(bn[21].name, "Zone 6 Offset");
    EXPECT_EQ(bn[22].name, "Multimap Count");
    EXPECT_EQ(bn[23].name, "Multimap 1 From");
    EXPECT_EQ(bn[24].name, "Multimap 1 CH 1");
    EXPECT_EQ(bn[25].name, "Multimap 1 CH 2");
    EXPECT_EQ(bn[26].name, "Multimap 2 From");
    EXPECT_EQ(bn[153].name, "Mapping Count");
    EXPECT_EQ(bn[154].name, "Mapping 1");
    EXPECT_EQ(bn[297].name, "Mapping 144");
}

// A reader walks "Zone i" and "Multimap i" up to their counts and ends an entry's codes at the
// first missing "CH k"; whatever it rebuilds from the values must be the tables themselves.
TEST(FontWrites, ReaderRebuildsEveryMappedTable)
{
    for (const FontKey& font : Fonts())
    {
        if (!font.mapped)
            continue;
        SCOPED_TRACE(font.faceName);
        const auto key = ByName(BuildFontWrites(font));
        EXPECT_EQ(key.at("USB Signature").hex, kUsbSignatureHex);
        EXPECT_EQ(DwordOf(key, "Custom Signature"), 2u);

        const std::size_t zones = key.count("Zone Count") ? DwordOf(key, "Zone Count") : 0;
        ASSERT_EQ(zones, font.zoneCount);
        for (std::size_t i = 0; i < zones; ++i)
        {
            const std::string zone = "Zone " + std::to_string(i + 1);
            EXPECT_EQ(DwordOf(key, zone + " First"), font.zones[i].first);
            EXPECT_EQ(DwordOf(key, zone + " Last"), font.zones[i].last);
            EXPECT_EQ(DwordOf(key, zone + " Offset"), font.zones[i].offset);
        }

        const std::size_t entries =
            key.count("Multimap Count") ? DwordOf(key, "Multimap Count") : 0;
        ASSERT_EQ(entries, font.multimapEntries);
        EXPECT_EQ(key.count("Multimap " + std::to_string(entries + 1) + " From"), 0u);
        for (std::size_t i = 0; i < entries; ++i)
        {
            const std::string multimap = "Multimap " + std::to_string(i + 1);
            EXPECT_EQ(DwordOf(key, multimap + " From"), font.multimaps[i].from);
            std::vector<uint16_t> codes;
            for (std::size_t k = 1; key.count(multimap + " CH " + std::to_string(k)); ++k)
                codes.push_back(
                    static_cast<uint16_t>(DwordOf(key, multimap + " CH " + std::to_string(k))));
            EXPECT_EQ(codes, Codes(font.multimaps[i])) << multimap;
        }

        const std::size_t mappings = DwordOf(key, "Mapping Count");
        ASSERT_EQ(mappings, font.mappingCount);
        EXPECT_EQ(key.count("Mapping " + std::to_string(mappings + 1)), 0u);
        for (std::size_t i = 0; i < mappings; ++i)
            EXPECT_EQ(DwordOf(key, "Mapping " + std::to_string(i + 1)), font.mappings[i].Value());
    }
}
