#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"
#include "package/PackageCatalog.h"

using namespace TestSupport;

namespace
{

// Reads a catalog block that starts at offset 0 of its own file; the
// last-error code is the one Read left.
bool ReadCatalogBytes(const std::vector<uint8_t>& bytes, CPackageCatalog* catalog)
{
    bool ok = false;
    uint32_t error = 0;
    {
        ScratchDir dir;
        WriteAll(dir.File("catalog.bin"), bytes);
        FileIo::Handle file = FileIo::OpenExisting(dir.File("catalog.bin"), false);
        EXPECT_NE(file, FileIo::InvalidHandle());
        FileIo::SetLastError(0);
        ok = catalog->Read(file);
        error = FileIo::GetLastError();
        FileIo::Close(file);
    }
    FileIo::SetLastError(error);
    return ok;
}

std::vector<uint8_t> CatalogBlock(int32_t count, const std::vector<RawEntry>& entries,
                                  const std::vector<uint8_t>& title = {})
{
    std::vector<uint8_t> out;
    Put32(out, static_cast<uint32_t>(count));
    std::vector<uint8_t> field = title;
    field.resize(64, 0);
    out.insert(out.end(), field.begin(), field.end());
    for (const RawEntry& entry : entries)
    {
        std::vector<uint8_t> record = Record(entry);
        out.insert(out.end(), record.begin(), record.end());
    }
    return out;
}

RawEntry Named(const std::u16string& name, uint32_t stored = 0, uint32_t unpacked = 0)
{
    RawEntry entry;
    entry.name = name;
    entry.storedSize = stored;
    entry.unpackedSize = unpacked;
    return entry;
}

} // namespace

TEST(PackageCatalogEntry, KindNames)
{
    const struct
    {
        uint32_t kind;
        const char* name;
    } cases[] = {
        {0, "File"},
        {1, "Directory"},
        {2, "Config Obj"},
        {3, "Lexicon Seg"},
        {4, "Unknown - 4"},
        {9, "Unknown - 9"},
        {0xFFFFFFFFu, "Unknown - -1"},
        {0x80000000u, "Unknown - -2147483648"},
    };
    for (const auto& c : cases)
    {
        RawEntry raw = Named(u"x");
        raw.kind = c.kind;
        CPackageCatalog catalog;
        ASSERT_TRUE(ReadCatalogBytes(CatalogBlock(1, {raw}), &catalog));
        EXPECT_EQ(catalog.GetEntry(0).GetKindName(), c.name) << c.kind;
    }
}

TEST(PackageCatalogEntry, SettersClearAndFillKindData)
{
    CPackageCatalogEntry entry;
    ASSERT_TRUE(entry.SetFile(u"bin\\a.dll", 0x0102030405060708ull, 0x1112131415161718ull,
                              0x00030004u, 0x00010002u));
    EXPECT_EQ(entry.GetKind(), CPackageCatalogEntry::kKindFile);
    EXPECT_EQ(entry.GetCreationTime(), 0x0102030405060708ull);
    EXPECT_EQ(entry.GetLastWriteTime(), 0x1112131415161718ull);
    EXPECT_EQ(entry.GetFileVersion(), 0x0001000200030004ull);
    const uint8_t* data = entry.GetKindData();
    EXPECT_EQ(data[0], 0x08);  // creation time, low half first
    EXPECT_EQ(data[16], 0x04); // version, least significant half at 16
    EXPECT_EQ(data[20], 0x02);

    uint8_t id[16];
    for (int i = 0; i < 16; ++i)
    {
        id[i] = static_cast<uint8_t>(0xA0 + i);
    }
    ASSERT_TRUE(entry.SetConfigObject(u"cfg", 7, id, 8, 9));
    data = entry.GetKindData();
    EXPECT_EQ(data[0], 7);
    EXPECT_EQ(data[4], 0);
    EXPECT_EQ(data[8], 8);
    EXPECT_EQ(data[12], 9);
    EXPECT_EQ(0, std::memcmp(data + 16, id, 16));
    EXPECT_EQ(data[32], 0);

    // Switching kind leaves no trace of the previous kind's data.
    ASSERT_TRUE(entry.SetDirectory(u"dir"));
    EXPECT_EQ(entry.GetKind(), CPackageCatalogEntry::kKindDirectory);
    for (size_t i = 0; i < CPackageCatalogEntry::kKindDataSize; ++i)
    {
        ASSERT_EQ(entry.GetKindData()[i], 0) << i;
    }
    ASSERT_TRUE(entry.SetLexiconSegment(u"lex"));
    EXPECT_EQ(entry.GetKind(), CPackageCatalogEntry::kKindLexiconSegment);
}

TEST(PackageCatalogEntry, NameLengthLimit)
{
    std::u16string longest(1023, u'n');
    CPackageCatalogEntry entry;
    ASSERT_TRUE(entry.SetDirectory(longest.c_str()));
    EXPECT_EQ(entry.GetNameLength(), 1023u);
    EXPECT_EQ(entry.GetName()[1023], 0);

    std::u16string tooLong(1024, u'n');
    FileIo::SetLastError(0);
    EXPECT_FALSE(entry.SetFile(tooLong.c_str(), 1, 2, 3, 4));
    EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorFilenameExcedRange);
    EXPECT_EQ(entry.GetNameLength(), 0u);
}

TEST(PackageCatalog, FindEntryIsCaseInsensitiveAndPrefersTheLast)
{
    CPackageCatalog catalog;
    CPackageCatalogEntry entry;
    const char16_t* names[] = {u"Setup.ini", u"bin\\Ärger.txt", u"setup.INI", u"other"};
    for (const char16_t* name : names)
    {
        entry.SetDirectory(name);
        catalog.Add(entry);
    }
    EXPECT_EQ(catalog.FindEntry(u"SETUP.INI"), 2);
    EXPECT_EQ(catalog.FindEntry(u"BIN\\äRGER.TXT"), 1);
    EXPECT_EQ(catalog.FindEntry(u"other"), 3);
    EXPECT_EQ(catalog.FindEntry(u"othe"), -1);
    EXPECT_EQ(catalog.FindEntry(u"others"), -1);
    EXPECT_EQ(CPackageCatalog().FindEntry(u"x"), -1);
}

TEST(PackageCatalog, GetEntryOutOfRangeGivesClearedEntry)
{
    CPackageCatalog catalog;
    CPackageCatalogEntry entry;
    entry.SetDirectory(u"d");
    catalog.Add(entry);
    EXPECT_EQ(catalog.GetEntry(-1).GetNameLength(), 0u);
    EXPECT_EQ(catalog.GetEntry(1).GetNameLength(), 0u);
    EXPECT_EQ(catalog.GetEntry(0).GetKind(), CPackageCatalogEntry::kKindDirectory);
}

TEST(PackageCatalog, TitleKeepsAtMost63BytesAndClearsTheRest)
{
    CPackageCatalog catalog;
    std::string long_title(80, 'T');
    catalog.SetTitle(long_title.c_str());
    EXPECT_EQ(std::strlen(catalog.GetTitle()), 63u);
    catalog.SetTitle("short");
    EXPECT_STREQ(catalog.GetTitle(), "short");
    for (size_t i = 5; i < CPackageCatalog::kTitleSize; ++i)
    {
        ASSERT_EQ(catalog.GetTitle()[i], 0) << i;
    }
}

TEST(PackageCatalog, ReadsCountZero)
{
    CPackageCatalog catalog;
    CPackageCatalogEntry entry;
    entry.SetDirectory(u"stale");
    catalog.Add(entry);
    ASSERT_TRUE(ReadCatalogBytes(CatalogBlock(0, {}, {'T', 'i'}), &catalog));
    EXPECT_EQ(catalog.GetCount(), 0);
    EXPECT_STREQ(catalog.GetTitle(), "Ti");
}

TEST(PackageCatalog, StoredSizeZeroReadsBackAsUnpackedSize)
{
    CPackageCatalog catalog;
    ASSERT_TRUE(
        ReadCatalogBytes(CatalogBlock(2, {Named(u"a", 0, 5), Named(u"b", 3, 5)}), &catalog));
    EXPECT_EQ(catalog.GetEntry(0).GetStoredSize(), 5u);
    EXPECT_EQ(catalog.GetEntry(1).GetStoredSize(), 3u);
    EXPECT_EQ(catalog.GetEntry(1).GetUnpackedSize(), 5u);
}

TEST(PackageCatalog, RefusesCountsTheFileCannotHold)
{
    std::vector<RawEntry> three = {Named(u"a"), Named(u"b"), Named(u"c")};
    const struct
    {
        int32_t count;
        size_t keepBytes; // of the block; 0 = all
        bool ok;
    } cases[] = {
        {3, 0, true},
        {4, 0, false},                   // one record more than the file holds
        {-1, 0, false},                  // negative
        {INT32_MIN, 0, false},           // negative, large
        {0x7FFFFFFF, 0, false},          // would size a huge table
        {3, 68 + 2 * 3084 + 100, false}, // cut inside the third record
        {0, 60, false},                  // cut inside the title
    };
    for (const auto& c : cases)
    {
        std::vector<uint8_t> block = CatalogBlock(c.count, three);
        if (c.keepBytes != 0)
        {
            block.resize(c.keepBytes);
        }
        CPackageCatalog catalog;
        FileIo::SetLastError(0);
        EXPECT_EQ(ReadCatalogBytes(block, &catalog), c.ok) << c.count << " " << c.keepBytes;
        if (!c.ok)
        {
            EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorFileCorrupt) << c.count;
        }
    }
}

TEST(PackageCatalog, UnterminatedNameAndTitleAreReadWithinTheirFields)
{
    RawEntry raw;
    raw.rawName.assign(2048, 0);
    for (size_t i = 0; i < 2048; i += 2)
    {
        raw.rawName[i] = 'x';
    }
    raw.kind = 1;
    std::vector<uint8_t> title(64, 'T');
    CPackageCatalog catalog;
    ASSERT_TRUE(ReadCatalogBytes(CatalogBlock(1, {raw}, title), &catalog));
    CPackageCatalogEntry entry = catalog.GetEntry(0);
    EXPECT_EQ(entry.GetNameLength(), 1023u);
    EXPECT_EQ(entry.GetKind(), 1u); // the kind that follows the name is not taken as text
    EXPECT_EQ(std::strlen(catalog.GetTitle()), 63u);
}

TEST(PackageCatalog, WriteThenReadRoundTrip)
{
    CPackageCatalog catalog;
    catalog.SetTitle("Round trip");
    CPackageCatalogEntry entry;
    std::u16string longest(1023, u'\u00E9');
    entry.SetFile(longest.c_str(), 11, 22, 33, 44);
    catalog.Add(entry);
    entry.SetDirectory(u"d\\e");
    catalog.Add(entry);

    ScratchDir dir;
    FileIo::Handle file = FileIo::CreateNew(dir.File("c.bin"));
    ASSERT_NE(file, FileIo::InvalidHandle());
    ASSERT_TRUE(catalog.Write(file));
    FileIo::Close(file);
    std::vector<uint8_t> bytes = ReadAll(dir.File("c.bin"));
    ASSERT_EQ(bytes.size(), 68u + 2 * 3084u);
    EXPECT_EQ(bytes[2 * 1023 + 4 + 64], 0); // terminator in the last unit of the field

    CPackageCatalog back;
    ASSERT_TRUE(ReadCatalogBytes(bytes, &back));
    ASSERT_EQ(back.GetCount(), 2);
    EXPECT_STREQ(back.GetTitle(), "Round trip");
    EXPECT_EQ(std::u16string(back.GetEntry(0).GetName()), longest);
    EXPECT_EQ(back.GetEntry(0).GetFileVersion(), (44ull << 32) | 33);
    EXPECT_EQ(std::u16string(back.GetEntry(1).GetName()), u"d\\e");
}
