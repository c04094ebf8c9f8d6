// The product's registry record and the font-mapping seed, written and removed in HKLM of
// the test's own Wine prefix.
#include "ConfigTestSupport.h"
#include "config/FontMappingSeed.h"
#include "config/ProductRegistry.h"
#include "config/RegistryKey.h"
#include "ui/DLG_Installing.h"
#include "framework/resource.h"

#include <gtest/gtest.h>

#include <string>

using namespace ConfigTest;

namespace
{
const std::string kPellmor = "Software\\Pellmor";
const std::string kInstall = "Software\\Pellmor\\Prompter Install";
const std::string kTarpan = "Software\\Pellmor\\Tarpan";
const std::string kFonts = "Software\\Pellmor\\Unicode Support\\Font Mapping";

std::string FontKey(const std::string& face)
{
    return kFonts + "\\" + face;
}

class ProductRegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DeleteKeyTree(kPellmor);
        ASSERT_TRUE(dlg.Create());
    }
    void TearDown() override
    {
        dlg.DestroyWindow();
        DeleteKeyTree(kPellmor);
    }

    CTestApp app;
    DLG_Installing dlg;
};

TEST_F(ProductRegistryTest, RecordsThePathAsTypedAndTheBuildKeepingOtherValues)
{
    WriteDword(kInstall, "Left by someone", 42);
    app.State().m_strInstallPath = "D:\\Studio\\";

    EXPECT_TRUE(CProductRegistry(app.State()).WriteProductRegistry(dlg));

    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(ReadRaw(kInstall, "Install Path", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(data.begin(), data.end()), std::string("D:\\Studio\\", 11));
    DWORD build = 0;
    ASSERT_TRUE(ReadDword(kInstall, "Build Number", build));
    EXPECT_EQ(build, 2105u);
    DWORD kept = 0;
    EXPECT_TRUE(ReadDword(kInstall, "Left by someone", kept));
    EXPECT_EQ(kept, 42u);
    // The seed ran first, as part of the same step.
    EXPECT_EQ(CountSubKeys(kFonts), 44);
    EXPECT_TRUE(app.Texts().empty());
}

TEST_F(ProductRegistryTest, RemovalDeletesBothProductKeysAndKeepsTheParentAndItsOtherKeys)
{
    app.State().m_strInstallPath = "C:\\Nimbus";
    CProductRegistry(app.State()).WriteProductRegistry(dlg);
    WriteDword(kTarpan + "\\Deep\\Deeper", "x", 1);
    WriteDword(kTarpan, "y", 1);
    WriteDword(kInstall + "\\Sub", "z", 1);

    CProductRegistry(app.State()).RemoveProductRegistry();

    EXPECT_FALSE(KeyExists(kInstall));
    EXPECT_FALSE(KeyExists(kTarpan));
    EXPECT_TRUE(KeyExists(kPellmor));
    EXPECT_TRUE(KeyExists(kFonts)) << "the font mappings outlive the product";
    EXPECT_TRUE(app.Texts().empty());
}

TEST_F(ProductRegistryTest, RemovalWhenTheKeysNeverExistedLeavesAnEmptyParent)
{
    CProductRegistry(app.State()).RemoveProductRegistry();
    EXPECT_TRUE(KeyExists(kPellmor));
    EXPECT_EQ(CountSubKeys(kPellmor), 0);
    EXPECT_EQ(CountValues(kPellmor), 0);

    // Tarpan alone missing is just as quiet.
    app.State().m_strInstallPath = "C:\\Nimbus";
    CProductRegistry(app.State()).WriteProductRegistry(dlg);
    CProductRegistry(app.State()).RemoveProductRegistry();
    EXPECT_FALSE(KeyExists(kInstall));
    EXPECT_FALSE(KeyExists(kTarpan));
}

class FontMappingSeedTest : public ProductRegistryTest
{
};

TEST_F(FontMappingSeedTest, WritesEveryFontKeyWithItsCounts)
{
    EXPECT_TRUE(CFontMappingSeed().SeedFontMappings(dlg));
    EXPECT_EQ(ControlText(dlg.GetSafeHwnd(), IDC_STATUS_LINE2),
              "Configuring Unicode character maps");

    int total = 0;
    for (const fontmap::FontKey& font : fontmap::Fonts())
    {
        const int values = CountValues(FontKey(font.faceName));
        EXPECT_GT(values, 0) << font.faceName;
        total += values;
    }
    EXPECT_EQ(total, 803);
    EXPECT_EQ(CountSubKeys(kFonts), 44);
    EXPECT_EQ(CountValues(FontKey("BN-TTBidisha")), 298);

    for (const char* face :
         {"Simplified Arabic", "Simplified Arabic Bold", "Simplified Arabic Fixed"})
    {
        const std::string key = FontKey(face);
        EXPECT_EQ(CountValues(key), 43) << face;
        EXPECT_EQ(CountSubKeys(key), 0) << face;
        DWORD value = 0;
        EXPECT_TRUE(ReadDword(key, "Mapping 1", value));
        EXPECT_EQ(value, 0xFE96FE95u) << face;
        EXPECT_TRUE(ReadDword(key, "Mapping 39", value));
        EXPECT_EQ(value, 0xFE8BFE8Cu) << face;
        EXPECT_TRUE(ReadDword(key, "Mapping Count", value));
        EXPECT_EQ(value, 39u) << face;
        EXPECT_FALSE(ReadDword(key, "Zone Count", value)) << face;
        EXPECT_FALSE(ReadDword(key, "Multimap Count", value)) << face;
    }

    DWORD type = 0;
    std::vector<BYTE> signature;
    ASSERT_TRUE(ReadRaw(FontKey("DV-Dhruv"), "USB Signature", type, signature));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    std::vector<BYTE> expected(16, 0);
    expected[7] = 0x10;
    EXPECT_EQ(signature, expected);
    DWORD custom = 0;
    EXPECT_TRUE(ReadDword(FontKey("DV-Dhruv"), "Custom Signature", custom));
    EXPECT_EQ(custom, 1u);
    EXPECT_TRUE(ReadDword(FontKey("Nafees Nastaleeq"), "Custom Signature", custom));
    EXPECT_EQ(custom, 8u);
}

TEST_F(FontMappingSeedTest, WritesTheTellingRowsOfTheBidishaTables)
{
    CFontMappingSeed::WriteAllFonts();
    struct Row
    {
        const char* face;
        const char* name;
        DWORD value;
    };
    const Row rows[] = {
        {"BN-TTBidisha", "Advanced Mapping", 1},    {"BN-TTBidisha", "Zone Count", 6},
        {"BN-TTBidisha", "Zone 2 Offset", 0xE107},  {"BN-TTBidisha", "Zone 6 Last", 0xE174},
        {"BN-TTBidisha", "Multimap Count", 39},     {"BN-TTBidisha", "Multimap 1 From", 0xE142},
        {"BN-TTBidisha", "Multimap 36 CH 5", 0xC5}, {"BN-TTBidisha", "Multimap 23 CH 2", 0x02DC},
        {"BN-TTBidisha", "Mapping Count", 144},     {"BN-TTBidisha", "Mapping 1", 0xE1410025},
        {"BN-TTBidisha", "Mapping 26", 0xE18F2122}, {"BN-TTBidisha", "Mapping 141", 0xE1200020},
        {"AS-TTBidisha", "Mapping Count", 147},     {"AS-TTBidisha", "Mapping 57", 0xE1BE0080},
        {"AS-TTBidisha", "Mapping 97", 0xE142002B},
    };
    for (const Row& row : rows)
    {
        DWORD value = 0;
        EXPECT_TRUE(ReadDword(FontKey(row.face), row.name, value)) << row.face << " " << row.name;
        EXPECT_EQ(value, row.value) << row.face << " " << row.name;
    }
    // AS-TTBidisha's multimaps are BN-TTBidisha's without the first entry.
    DWORD bnSecond = 0, asFirst = 1;
    EXPECT_TRUE(ReadDword(FontKey("BN-TTBidisha"), "Multimap 2 From", bnSecond));
    EXPECT_TRUE(ReadDword(FontKey("AS-TTBidisha"), "Multimap 1 From", asFirst));
    EXPECT_EQ(asFirst, bnSecond);
    DWORD last = 0;
    EXPECT_TRUE(ReadDword(FontKey("AS-TTBidisha"), "Multimap 38 From", last));
    EXPECT_EQ(last, 0xE119u);
    EXPECT_FALSE(ReadDword(FontKey("AS-TTBidisha"), "Multimap 39 From", last));
}

TEST_F(FontMappingSeedTest, MappedKeysLoseOldValuesAndSignatureOnlyKeysKeepForeignOnes)
{
    // What an earlier, longer table left behind.
    WriteDword(FontKey("BN-TTBidisha"), "Multimap 40 From", 0xE1FF);
    WriteDword(FontKey("BN-TTBidisha"), "Multimap 5 CH 3", 0x41);
    WriteDword(FontKey("BN-TTBidisha") + "\\Old", "x", 1);
    WriteDword(FontKey("Simplified Arabic Bold"), "Mapping 40", 1);
    // Another program's value in a signature-only font.
    WriteDword(FontKey("DV-Dhruv"), "Foreign", 17);
    WriteDword(FontKey("DV-Dhruv"), "Custom Signature", 99);

    CFontMappingSeed::WriteAllFonts();

    DWORD value = 0;
    EXPECT_FALSE(ReadDword(FontKey("BN-TTBidisha"), "Multimap 40 From", value));
    EXPECT_FALSE(ReadDword(FontKey("BN-TTBidisha"), "Multimap 5 CH 3", value));
    EXPECT_FALSE(KeyExists(FontKey("BN-TTBidisha") + "\\Old"));
    EXPECT_EQ(CountValues(FontKey("BN-TTBidisha")), 298);
    EXPECT_EQ(CountValues(FontKey("Simplified Arabic Bold")), 43);

    EXPECT_TRUE(ReadDword(FontKey("DV-Dhruv"), "Foreign", value));
    EXPECT_EQ(value, 17u);
    EXPECT_TRUE(ReadDword(FontKey("DV-Dhruv"), "Custom Signature", value));
    EXPECT_EQ(value, 1u) << "the signature is rewritten";
    EXPECT_EQ(CountValues(FontKey("DV-Dhruv")), 3);
}

TEST_F(FontMappingSeedTest, SeedingTwiceGivesTheSameKeys)
{
    CFontMappingSeed::WriteAllFonts();
    CFontMappingSeed::WriteAllFonts();
    int total = 0;
    for (const fontmap::FontKey& font : fontmap::Fonts())
    {
        total += CountValues(FontKey(font.faceName));
    }
    EXPECT_EQ(total, 803);
}
} // namespace
