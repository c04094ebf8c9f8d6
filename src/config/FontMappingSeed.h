// Seeds the Unicode font-mapping keys that the product reads: the signatures of every
// listed font and the complete tables of the mapped fonts, on every installation.
#pragma once

#include "config/FontMappingData.h"

class CRegistryKey;
class IProgressReport;

class CFontMappingSeed
{
public:
    // Shows the step on the progress window's second line and writes every font key.
    // Registry failures are not reported; the step always succeeds.
    bool SeedFontMappings(IProgressReport& progress);

    // Writes all font keys in table order; what a test or the demo runs without a window.
    static void WriteAllFonts();

    // Writes one font's key through `key`, which it leaves holding that key. A mapped
    // font's key is emptied first so that nothing of a longer, older table survives;
    // a signature-only key keeps whatever else it holds.
    static void WriteFont(CRegistryKey& key, const fontmap::FontKey& font);

    // "Software\Pellmor\Unicode Support\Font Mapping\<face name>".
    static std::string KeyPath(const fontmap::FontKey& font);
};
