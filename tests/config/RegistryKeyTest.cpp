// The registry wrapper against Wine's registry, in a test-only area of HKLM.
#include "ConfigTestSupport.h"
#include "config/RegistryKey.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace ConfigTest;

namespace
{
const char kArea[] = "Software\\KelvarinTest\\RegistryKey";

class RegistryKeyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DeleteKeyTree(kArea);
        key.Create(HKEY_LOCAL_MACHINE, kArea);
        ASSERT_TRUE(key.IsOpen());
    }
    void TearDown() override
    {
        key.Close();
        DeleteKeyTree(kArea);
    }

    static std::string Path(const std::string& sub) { return std::string(kArea) + "\\" + sub; }

    CRegistryKey key;
};

TEST_F(RegistryKeyTest, ReadsOfTheWrongTypeOrSizeFailAndLeaveTheOutputAlone)
{
    key.SetDword("dword", 7u);
    key.SetString("text", "hello");
    key.SetBinary("bin4", std::vector<BYTE>{1, 2, 3, 4});

    std::string text = "untouched";
    EXPECT_FALSE(key.QueryString("dword", text));
    EXPECT_FALSE(key.QueryString("bin4", text));
    EXPECT_FALSE(key.QueryString("missing", text));
    EXPECT_EQ(text, "untouched");

    DWORD number = 99;
    EXPECT_FALSE(key.QueryDword("text", number));
    EXPECT_FALSE(key.QueryDword("bin4", number)); // four bytes, but not REG_DWORD
    EXPECT_FALSE(key.QueryDword("missing", number));
    EXPECT_EQ(number, 99u);

    BYTE buffer[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_FALSE(key.QueryBinary("bin4", buffer, 3));
    EXPECT_FALSE(key.QueryBinary("bin4", buffer, 5));
    EXPECT_FALSE(key.QueryBinary("dword", buffer, 4));
    BYTE sixteen[16] = {9};
    EXPECT_FALSE(key.QueryBinary("bin4", sixteen));
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + 8), std::vector<BYTE>(8, 9));
    EXPECT_EQ(sixteen[0], 9);

    std::vector<BYTE> array = {5, 5};
    EXPECT_FALSE(key.QueryBinaryArray("text", array));
    EXPECT_FALSE(key.QueryBinaryArray("missing", array));
    EXPECT_EQ(array, (std::vector<BYTE>{5, 5}));
}

TEST_F(RegistryKeyTest, ReadsReturnWhatWasWritten)
{
    key.SetString("text", "C:\\Nimbus\\");
    key.SetExpandString("expand", "%SystemRoot%\\x");
    key.SetDword("signed", -1);
    key.SetDword("flag", true);
    key.SetDword("long", static_cast<LONG>(-2));
    const BYTE sixteen[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    key.SetBinary("sixteen", sixteen);
    key.SetBinary("empty", std::vector<BYTE>());

    std::string text;
    EXPECT_TRUE(key.QueryString("text", text));
    EXPECT_EQ(text, "C:\\Nimbus\\");
    // Expandable text comes back as stored.
    EXPECT_TRUE(key.QueryString("expand", text));
    EXPECT_EQ(text, "%SystemRoot%\\x");

    DWORD unsignedValue = 0;
    LONG signedValue = 0;
    int intValue = 0;
    EXPECT_TRUE(key.QueryDword("signed", unsignedValue));
    EXPECT_EQ(unsignedValue, 0xFFFFFFFFu);
    EXPECT_TRUE(key.QueryDword("long", signedValue));
    EXPECT_EQ(signedValue, -2);
    EXPECT_TRUE(key.QueryDword("flag", intValue));
    EXPECT_EQ(intValue, 1);

    BYTE read[16] = {};
    EXPECT_TRUE(key.QueryBinary("sixteen", read));
    EXPECT_EQ(std::vector<BYTE>(read, read + 16), std::vector<BYTE>(sixteen, sixteen + 16));
    std::vector<BYTE> array = {1};
    EXPECT_TRUE(key.QueryBinaryArray("empty", array));
    EXPECT_TRUE(array.empty());

    DWORD type = 0;
    std::vector<BYTE> raw;
    ASSERT_TRUE(ReadRaw(kArea, "text", type, raw));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(raw.size(), 11u) << "stored with its terminating zero";
    ASSERT_TRUE(ReadRaw(kArea, "expand", type, raw));
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
}

TEST_F(RegistryKeyTest, StringsEndAtTheFirstZeroOrWithTheStoredBytes)
{
    const char unterminated[] = {'a', 'b', 'c'};
    RegSetValueExA(key.GetHandle(), "unterminated", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(unterminated), sizeof(unterminated));
    const char embedded[] = "ab\0cd";
    RegSetValueExA(key.GetHandle(), "embedded", 0, REG_SZ, reinterpret_cast<const BYTE*>(embedded),
                   sizeof(embedded));

    std::string text;
    EXPECT_TRUE(key.QueryString("unterminated", text));
    EXPECT_EQ(text, "abc");
    EXPECT_TRUE(key.QueryString("embedded", text));
    EXPECT_EQ(text, "ab");
}

TEST_F(RegistryKeyTest, HexTextIsStoredAsBinaryWithOrWithoutTheTrailingHyphen)
{
    key.SetBinaryFromHex("plain", "0A-1F-FF");
    key.SetBinaryFromHex("hyphen", "0A-1F-FF-");
    key.SetBinaryFromHex("empty", "");
    const std::vector<BYTE> expected = {0x0A, 0x1F, 0xFF};
    for (const char* name : {"plain", "hyphen"})
    {
        DWORD type = 0;
        std::vector<BYTE> data;
        ASSERT_TRUE(ReadRaw(kArea, name, type, data)) << name;
        EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY)) << name;
        EXPECT_EQ(data, expected) << name;
    }
    DWORD type = 0;
    std::vector<BYTE> data = {1};
    ASSERT_TRUE(ReadRaw(kArea, "empty", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_TRUE(data.empty());
}

TEST_F(RegistryKeyTest, DeleteContentsEmptiesThreeLevelsAndKeepsTheKey)
{
    // A value name longer than the 255 characters a small enumeration buffer takes must
    // not stop the emptying half way.
    const std::string longName(300, 'v');
    {
        CRegistryKey level;
        level.Create(HKEY_LOCAL_MACHINE, Path("A\\B\\C"));
        level.SetString("deep", "x");
        level.Create(HKEY_LOCAL_MACHINE, Path("A\\B"));
        level.SetDword("middle", 2u);
        level.Create(HKEY_LOCAL_MACHINE, Path("A"));
        level.SetDword("top", 1u);
        level.Create(HKEY_LOCAL_MACHINE, Path("D"));
    }
    key.SetString("own", "x");
    key.SetString(longName, "x");
    key.SetDword("own2", 3u);
    ASSERT_EQ(CountValues(kArea), 3);

    key.DeleteContents();

    EXPECT_TRUE(KeyExists(kArea));
    EXPECT_EQ(CountValues(kArea), 0);
    EXPECT_EQ(CountSubKeys(kArea), 0);
    EXPECT_FALSE(KeyExists(Path("A")));
    // The wrapper still holds the emptied key.
    EXPECT_EQ(key.SetDword("after", 1u), ERROR_SUCCESS);
}

TEST_F(RegistryKeyTest, DeleteSubKeysKeepsTheKeysOwnValues)
{
    {
        CRegistryKey child;
        child.Create(HKEY_LOCAL_MACHINE, Path("A\\B"));
        child.SetDword("v", 1u);
    }
    key.SetDword("own", 1u);
    EXPECT_EQ(key.CountSubKeys(), 1u);
    key.DeleteSubKeys();
    EXPECT_EQ(key.CountSubKeys(), 0u);
    EXPECT_EQ(CountValues(kArea), 1);
}

TEST_F(RegistryKeyTest, DeleteValueAndDeleteSubKeyReportThePlatformsResult)
{
    key.SetDword("v", 1u);
    EXPECT_EQ(key.DeleteValue("v"), ERROR_SUCCESS);
    EXPECT_EQ(key.DeleteValue("v"), ERROR_FILE_NOT_FOUND);
    {
        CRegistryKey child;
        child.Create(HKEY_LOCAL_MACHINE, Path("leaf"));
    }
    EXPECT_EQ(key.DeleteSubKey("leaf"), ERROR_SUCCESS);
    EXPECT_NE(key.DeleteSubKey("leaf"), ERROR_SUCCESS);
}

TEST_F(RegistryKeyTest, EnumerationListsSubKeysAndValues)
{
    {
        CRegistryKey child;
        child.Create(HKEY_LOCAL_MACHINE, Path("first"));
        child.Create(HKEY_LOCAL_MACHINE, Path("second"));
    }
    key.SetDword("number", 1u);

    std::string name, className;
    FILETIME written = {0, 0};
    std::vector<std::string> names;
    for (DWORD i = 0; key.EnumSubKey(i, name, className, &written); ++i)
    {
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(key.CountSubKeys(), 2u);
    EXPECT_TRUE(written.dwLowDateTime != 0 || written.dwHighDateTime != 0);

    DWORD type = 0;
    EXPECT_TRUE(key.EnumValue(0, name, type));
    EXPECT_EQ(name, "number");
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_FALSE(key.EnumValue(1, name, type));
}

TEST_F(RegistryKeyTest, CreateOnAnExistingKeyKeepsItsValues)
{
    key.SetString("kept", "yes");
    CRegistryKey again;
    again.Create(HKEY_LOCAL_MACHINE, kArea);
    std::string text;
    EXPECT_TRUE(again.QueryString("kept", text));
    EXPECT_EQ(text, "yes");
}

TEST_F(RegistryKeyTest, AFailedCreateLeavesNoKeyAndAFailedOpenKeepsTheOldOne)
{
    CRegistryKey other;
    other.Create(HKEY_LOCAL_MACHINE, kArea);
    ASSERT_TRUE(other.IsOpen());
    // A root handle that was closed already cannot take a subkey.
    HKEY stale = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kArea, 0, KEY_READ, &stale), ERROR_SUCCESS);
    RegCloseKey(stale);
    other.Create(stale, "child");
    EXPECT_FALSE(other.IsOpen());

    CRegistryKey held;
    ASSERT_TRUE(held.Open(HKEY_LOCAL_MACHINE, kArea));
    EXPECT_FALSE(held.Open(HKEY_LOCAL_MACHINE, Path("does not exist")));
    EXPECT_FALSE(KeyExists(Path("does not exist"))) << "Open must not create";
    EXPECT_TRUE(held.IsOpen());
    EXPECT_EQ(held.SetDword("still", 1u), ERROR_SUCCESS);
}

TEST_F(RegistryKeyTest, AWrapperHoldingNoKeyReadsNothingAndWritesNothing)
{
    CRegistryKey none;
    EXPECT_EQ(none.GetHandle(), nullptr);
    none.DeleteContents();
    none.DeleteSubKeys();
    std::string text = "kept";
    DWORD number = 5;
    std::vector<BYTE> array = {1};
    EXPECT_FALSE(none.QueryString("x", text));
    EXPECT_FALSE(none.QueryDword("x", number));
    EXPECT_FALSE(none.QueryBinaryArray("x", array));
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(number, 5u);
    EXPECT_EQ(array, std::vector<BYTE>{1});
    EXPECT_NE(none.SetString("x", "y"), ERROR_SUCCESS);
    EXPECT_NE(none.SetDword("x", 1u), ERROR_SUCCESS);
    EXPECT_NE(none.SetBinaryFromHex("x", "01"), ERROR_SUCCESS);
    EXPECT_NE(none.DeleteValue("x"), ERROR_SUCCESS);
    EXPECT_NE(none.DeleteSubKey("x"), ERROR_SUCCESS);
    EXPECT_NE(none.Close(), ERROR_SUCCESS);
    EXPECT_EQ(none.CountSubKeys(), 0u);
    EXPECT_EQ(none.Detach(), nullptr);
}

TEST_F(RegistryKeyTest, AttachHoldsItsOwnHandleAndDetachGivesTheHandleAway)
{
    HKEY own = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kArea, 0, KEY_ALL_ACCESS, &own), ERROR_SUCCESS);
    {
        CRegistryKey attached(own);
        ASSERT_TRUE(attached.IsOpen());
        EXPECT_NE(attached.GetHandle(), own);
        attached.SetDword("through attached", 1u);
    }
    // The wrapper closed its handle only; the caller's still works.
    DWORD value = 7;
    EXPECT_EQ(RegSetValueExA(own, "through own", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value),
                             sizeof(value)),
              ERROR_SUCCESS);
    RegCloseKey(own);
    EXPECT_EQ(CountValues(kArea), 2);

    HKEY detached = nullptr;
    {
        CRegistryKey wrapper;
        wrapper.Open(HKEY_LOCAL_MACHINE, kArea);
        detached = wrapper.Detach();
        EXPECT_FALSE(wrapper.IsOpen());
    }
    EXPECT_EQ(RegSetValueExA(detached, "through detached", 0, REG_DWORD,
                             reinterpret_cast<BYTE*>(&value), sizeof(value)),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(detached), ERROR_SUCCESS);
}

TEST(RegistryKeyClass, CarriesItsNameAndTheDefaultAccessMask)
{
    EXPECT_STREQ(CRegistryKey::GetRuntimeClassName(), "CRegistryKey");
    EXPECT_EQ(CRegistryKey::kDefaultAccess, static_cast<REGSAM>(KEY_READ | KEY_WRITE));
}
} // namespace
