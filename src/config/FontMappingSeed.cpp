#include "config/FontMappingSeed.h"

#include "config/RegistryKey.h"
#include "framework/ProgressReport.h"
#include "framework/resource.h"

bool CFontMappingSeed::SeedFontMappings(IProgressReport& progress)
{
    progress.SetLine2(IDS_CONFIGURING_FONTMAPS);
    WriteAllFonts();
    return true;
}

void CFontMappingSeed::WriteAllFonts()
{
    // One wrapper for all keys: each Create closes the key before it.
    CRegistryKey key;
    for (const fontmap::FontKey& font : fontmap::Fonts())
    {
        WriteFont(key, font);
    }
}

void CFontMappingSeed::WriteFont(CRegistryKey& key, const fontmap::FontKey& font)
{
    key.Create(HKEY_LOCAL_MACHINE, KeyPath(font), 0, CRegistryKey::kDefaultAccess, nullptr);
    if (font.mapped)
    {
        key.DeleteContents();
    }
    for (const fontmap::FontValueWrite& write : fontmap::BuildFontWrites(font))
    {
        if (write.type == fontmap::FontValueWrite::Binary16FromHex)
        {
            key.SetBinaryFromHex(write.name, write.hex);
        }
        else
        {
            key.SetDword(write.name, static_cast<DWORD>(write.dword));
        }
    }
}

std::string CFontMappingSeed::KeyPath(const fontmap::FontKey& font)
{
    return std::string(fontmap::kFontMappingKey) + "\\" + font.faceName;
}
