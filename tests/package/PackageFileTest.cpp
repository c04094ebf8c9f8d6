#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"
#include "package/PackageFile.h"

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

using namespace TestSupport;

namespace
{

constexpr uint32_t kSentinelError = 0x1234;

struct Item
{
    std::u16string name;
    bool directory;
    std::vector<uint8_t> bytes;
};

// Adds the items through the public writing interface: AddFile for even
// indexes, AddData for odd ones, so both paths are exercised.
void Build(const std::string& path, bool compressed, const std::vector<Item>& items,
           const char* title = nullptr)
{
    ScratchDir sources;
    CPackageFile package;
    ASSERT_TRUE(package.Create(path, compressed)) << FileIo::ErrorText(FileIo::GetLastError());
    for (size_t i = 0; i < items.size(); ++i)
    {
        const Item& item = items[i];
        CPackageCatalogEntry entry;
        if (item.directory)
        {
            ASSERT_TRUE(entry.SetDirectory(item.name.c_str()));
            ASSERT_TRUE(package.AddData(entry, nullptr, 0));
            continue;
        }
        ASSERT_TRUE(entry.SetFile(item.name.c_str(), 1000 + i, 2000 + i, 3, 4));
        uint32_t size = static_cast<uint32_t>(item.bytes.size());
        if (i % 2 == 0)
        {
            std::string source = sources.File("src" + std::to_string(i));
            WriteAll(source, item.bytes);
            FileIo::Handle file = FileIo::OpenExisting(source, false);
            ASSERT_NE(file, FileIo::InvalidHandle());
            bool ok = package.AddFile(entry, file, size);
            FileIo::Close(file);
            ASSERT_TRUE(ok) << FileIo::ErrorText(FileIo::GetLastError());
        }
        else
        {
            // An empty vector's data() may be null, which would mean "no content".
            static const uint8_t kNothing = 0;
            ASSERT_TRUE(
                package.AddData(entry, item.bytes.empty() ? &kNothing : item.bytes.data(), size));
        }
    }
    if (title != nullptr)
    {
        package.SetCatalogTitle(title);
    }
    ASSERT_TRUE(package.Commit()) << FileIo::ErrorText(FileIo::GetLastError());
}

std::vector<uint8_t> FileData(uint64_t created, uint64_t written, uint32_t ls, uint32_t ms)
{
    std::vector<uint8_t> data;
    Put64(data, created);
    Put64(data, written);
    Put32(data, ls);
    Put32(data, ms);
    data.resize(1016, 0);
    return data;
}

bool ExtractToPath(CPackageFile& package, int index, const std::string& path)
{
    FileIo::Handle out = FileIo::CreateAlways(path);
    EXPECT_NE(out, FileIo::InvalidHandle());
    bool ok = package.ExtractToFile(index, out);
    FileIo::Close(out);
    return ok;
}

class PackageFileTest : public ::testing::Test
{
protected:
    ScratchDir dir;
    std::string pkg = dir.File("test.pkg");
};

} // namespace

TEST_F(PackageFileTest, UncompressedLayoutMatchesHandBuiltBytes)
{
    std::vector<uint8_t> hello = {'h', 'e', 'l', 'l', 'o'};
    std::vector<uint8_t> second = Pattern(70000, 1, false);
    Build(pkg, false,
          {{u"hello.txt", false, hello}, {u"bin", true, {}}, {u"bin\\second.bin", false, second}},
          "My title");

    RawPackage expected;
    expected.title = "My title";
    expected.AddFileEntry(u"hello.txt", hello, 5);
    expected.entries[0].kindData = FileData(1000, 2000, 3, 4);
    RawEntry folder;
    folder.name = u"bin";
    folder.kind = 1;
    expected.entries.push_back(folder);
    expected.AddFileEntry(u"bin\\second.bin", second, 70000);
    expected.entries[2].kindData = FileData(1002, 2002, 3, 4);
    EXPECT_EQ(ReadAll(pkg), expected.Bytes());
}

TEST_F(PackageFileTest, CompressedBlocksAreSingleZlibStreams)
{
    std::vector<uint8_t> text = Pattern(200000, 2, true);
    std::vector<uint8_t> empty;
    Build(pkg, true, {{u"text.txt", false, text}, {u"empty.txt", false, empty}});

    RawPackage expected;
    expected.compressedFlag = 1;
    expected.AddFileEntry(u"text.txt", Deflate(text), 200000);
    expected.entries[0].kindData = FileData(1000, 2000, 3, 4);
    std::vector<uint8_t> emptyStream = Deflate(empty);
    ASSERT_FALSE(emptyStream.empty());
    expected.AddFileEntry(u"empty.txt", emptyStream, 0);
    expected.entries[1].kindData = FileData(1001, 2001, 3, 4);
    EXPECT_EQ(ReadAll(pkg), expected.Bytes());
}

TEST_F(PackageFileTest, IdenticalInputsGiveIdenticalPackages)
{
    std::vector<Item> items = {{u"a", true, {}}, {u"a\\b.txt", false, Pattern(1000, 3, true)}};
    Build(pkg, true, items, "Same");
    Build(dir.File("again.pkg"), true, items, "Same");
    EXPECT_EQ(ReadAll(pkg), ReadAll(dir.File("again.pkg")));
}

TEST_F(PackageFileTest, OpenFailures)
{
    RawPackage good;
    good.AddFileEntry(u"a", {'x'}, 1);
    std::vector<uint8_t> valid = good.Bytes();

    auto withField = [&](size_t offset, uint32_t value)
    {
        std::vector<uint8_t> bytes = valid;
        for (int i = 0; i < 4; ++i)
        {
            bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
        }
        return bytes;
    };
    std::vector<uint8_t> badMagic = valid;
    badMagic[15] ^= 1;
    std::vector<uint8_t> shortHeader(valid.begin(), valid.begin() + 255);

    const struct
    {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"empty file", {}},
        {"short header", shortHeader},
        {"bad magic", badMagic},
        {"uncommitted (catalog offset 0)", withField(16, 0)},
        {"catalog inside the header", withField(16, 200)},
        {"catalog past the end", withField(16, static_cast<uint32_t>(valid.size()))},
        {"catalog out of reach", withField(16, 0x80000000u)},
        {"catalog cut short", std::vector<uint8_t>(valid.begin(), valid.end() - 1)},
    };
    for (const auto& c : cases)
    {
        WriteAll(pkg, c.bytes);
        CPackageFile package;
        FileIo::SetLastError(0);
        EXPECT_FALSE(package.Open(pkg, false)) << c.what;
        EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorFileCorrupt) << c.what;
        EXPECT_FALSE(package.IsOpen()) << c.what;
        EXPECT_EQ(package.GetCatalog().GetCount(), 0) << c.what;
    }

    CPackageFile package;
    EXPECT_FALSE(package.Open(dir.File("missing.pkg"), false));
    EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorFileNotFound);
    EXPECT_FALSE(package.Open(dir.File("no-such-folder/x.pkg"), false));
    EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorPathNotFound);
    EXPECT_FALSE(package.Open(dir.Path().string(), false));
    EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorAccessDenied);
}

TEST_F(PackageFileTest, BuildIsReportedNotCheckedAndAnyNonZeroFlagMeansCompressed)
{
    std::vector<uint8_t> content = Pattern(5000, 4, true);
    RawPackage raw;
    raw.build = 2104;
    raw.compressedFlag = 7;
    raw.title = "Seven";
    raw.AddFileEntry(u"x.bin", Deflate(content), 5000);
    WriteAll(pkg, raw.Bytes());

    CPackageFile package;
    ASSERT_TRUE(package.Open(pkg, false));
    EXPECT_EQ(package.GetBuildNumber(), 2104u);
    EXPECT_TRUE(package.IsCompressed());
    EXPECT_STREQ(package.GetCatalog().GetTitle(), "Seven");
    std::vector<uint8_t> out;
    ASSERT_TRUE(package.ExtractToMemory(0, out));
    EXPECT_EQ(out, content);
}

TEST_F(PackageFileTest, IndexOutOfRangeAndEntriesWithoutContent)
{
    RawPackage raw;
    raw.AddFileEntry(u"a", {'a'}, 1);
    RawEntry folder;
    folder.name = u"d";
    folder.kind = 1;
    raw.entries.push_back(folder);
    RawEntry emptyFile; // the writer's form of an empty file in a plain package
    emptyFile.name = u"empty";
    emptyFile.dataOffset = 256 + 1;
    raw.entries.push_back(emptyFile);
    RawEntry lying; // claims bytes but has no block
    lying.name = u"lying";
    lying.unpackedSize = 5;
    raw.entries.push_back(lying);
    WriteAll(pkg, raw.Bytes());

    CPackageFile package;
    ASSERT_TRUE(package.Open(pkg, false));
    std::string outPath = dir.File("out.bin");
    // Every failure names its reason: a setup's message must never read as success.
    const std::pair<int, uint32_t> cases[] = {{-1, FileIo::kErrorInvalidParameter},
                                              {4, FileIo::kErrorInvalidParameter},
                                              {1, FileIo::kErrorInvalidParameter},
                                              {2, FileIo::kErrorInvalidParameter},
                                              {3, FileIo::kErrorFileCorrupt}};
    for (const auto& [index, error] : cases)
    {
        FileIo::SetLastError(kSentinelError);
        std::vector<uint8_t> buffer = {9, 9};
        EXPECT_FALSE(package.ExtractToMemory(index, buffer)) << index;
        EXPECT_EQ(FileIo::GetLastError(), error) << index;
        EXPECT_EQ(buffer, (std::vector<uint8_t>{9, 9})) << index;

        FileIo::Handle out = FileIo::CreateAlways(outPath);
        FileIo::SetLastError(kSentinelError);
        EXPECT_FALSE(package.ExtractToFile(index, out)) << index;
        EXPECT_EQ(FileIo::GetLastError(), error) << index;
        FileIo::Close(out);
        EXPECT_TRUE(ReadAll(outPath).empty()) << index;
    }
}

TEST_F(PackageFileTest, TheBuilderRefusesAnEntryThatClaimsBytesWithoutThem)
{
    CPackageFile package;
    ASSERT_TRUE(package.Create(pkg, true));
    CPackageCatalogEntry entry;
    ASSERT_TRUE(entry.SetFile(u"ghost.dll", 0, 0, 0, 0));
    EXPECT_FALSE(package.AddData(entry, nullptr, 100));
    EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorInvalidParameter);
    ASSERT_TRUE(entry.SetDirectory(u"folder"));
    EXPECT_TRUE(package.AddData(entry, nullptr, 0));
    ASSERT_TRUE(package.Commit());
    ASSERT_TRUE(package.Open(pkg, false));
    EXPECT_EQ(package.GetCatalog().GetCount(), 1);
}

TEST_F(PackageFileTest, EmptyFileExtractsOnlyFromCompressedPackages)
{
    Build(pkg, false, {{u"empty", false, {}}});
    CPackageFile plain;
    ASSERT_TRUE(plain.Open(pkg, false));
    std::vector<uint8_t> out;
    EXPECT_FALSE(plain.ExtractToMemory(0, out));
    plain.Close();

    std::string zpkg = dir.File("z.pkg");
    Build(zpkg, true, {{u"empty", false, {}}});
    CPackageFile compressed;
    ASSERT_TRUE(compressed.Open(zpkg, false));
    out = {1, 2, 3};
    ASSERT_TRUE(compressed.ExtractToMemory(0, out));
    EXPECT_TRUE(out.empty());
}

TEST_F(PackageFileTest, CompressedBlockChecks)
{
    std::vector<uint8_t> content = Pattern(300000, 5, true);
    std::vector<uint8_t> stream = Deflate(content);
    std::vector<uint8_t> trailing = stream;
    trailing.insert(trailing.end(), {1, 2, 3, 4, 5, 6, 7});
    std::vector<uint8_t> truncated(stream.begin(), stream.end() - 5);
    std::vector<uint8_t> garbage = stream;
    garbage[0] = 0x00; // not a zlib header
    std::vector<uint8_t> flipped = stream;
    flipped[stream.size() / 2] ^= 0xFF;

    const struct
    {
        const char* what;
        std::vector<uint8_t> block;
        uint32_t unpacked;
        bool ok;
    } cases[] = {
        {"sound", stream, 300000, true},
        {"bytes after the stream are ignored", trailing, 300000, true},
        {"truncated stream", truncated, 300000, false},
        {"not a zlib stream", garbage, 300000, false},
        {"damaged stream", flipped, 300000, false},
        {"records more than the stream holds", stream, 300001, false},
        {"records less than the stream holds", stream, 299999, false},
        {"records far less than the stream holds", stream, 10, false},
    };
    for (const auto& c : cases)
    {
        RawPackage raw;
        raw.compressedFlag = 1;
        raw.AddFileEntry(u"x", c.block, c.unpacked);
        WriteAll(pkg, raw.Bytes());
        CPackageFile package;
        ASSERT_TRUE(package.Open(pkg, false)) << c.what;

        FileIo::SetLastError(0);
        std::vector<uint8_t> memory = {7};
        EXPECT_EQ(package.ExtractToMemory(0, memory), c.ok) << c.what;
        if (c.ok)
        {
            EXPECT_EQ(memory, content) << c.what;
            continue;
        }
        EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorFileCorrupt) << c.what;
        EXPECT_EQ(memory, std::vector<uint8_t>{7}) << c.what;

        std::string out = dir.File("out.bin");
        EXPECT_FALSE(ExtractToPath(package, 0, out)) << c.what;
        EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorFileCorrupt) << c.what;
        // A lying size stops the output at once, before the length is known.
        EXPECT_LE(ReadAll(out).size(), c.unpacked) << c.what;
    }
}

TEST_F(PackageFileTest, InflateStopsBeforeExceedingTheRecordedSize)
{
    // 64 MiB of zeros in a stream of some 64 KiB; the entry claims 100 bytes.
    std::vector<uint8_t> bomb = Deflate(std::vector<uint8_t>(64u << 20, 0));
    RawPackage raw;
    raw.compressedFlag = 1;
    raw.AddFileEntry(u"bomb", bomb, 100);
    WriteAll(pkg, raw.Bytes());
    CPackageFile package;
    ASSERT_TRUE(package.Open(pkg, false));
    std::string out = dir.File("out.bin");
    EXPECT_FALSE(ExtractToPath(package, 0, out));
    EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorFileCorrupt);
    EXPECT_EQ(ReadAll(out).size(), 0u);
}

TEST_F(PackageFileTest, DiagnosticsPrintZlibErrorsAndKeepTheLastError)
{
    RawPackage raw;
    raw.compressedFlag = 1;
    raw.AddFileEntry(u"x", {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF}, 10);
    WriteAll(pkg, raw.Bytes());

    CPackageFile diagnostic(true);
    ASSERT_TRUE(diagnostic.Open(pkg, false));
    std::vector<uint8_t> out;
    testing::internal::CaptureStdout();
    FileIo::SetLastError(kSentinelError);
    bool extracted = diagnostic.ExtractToMemory(0, out);
    uint32_t error = FileIo::GetLastError();
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(extracted);
    EXPECT_EQ(printed.rfind("ZLib error: ", 0), 0u) << printed;
    EXPECT_EQ(printed.back(), '\n');
    EXPECT_EQ(error, kSentinelError);

    CPackageFile quiet(false);
    ASSERT_TRUE(quiet.Open(pkg, false));
    testing::internal::CaptureStdout();
    extracted = quiet.ExtractToMemory(0, out);
    error = FileIo::GetLastError();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(extracted);
    EXPECT_EQ(error, FileIo::kErrorFileCorrupt);
}

TEST_F(PackageFileTest, BlocksThatDoNotFitThePackageAreCorrupt)
{
    const struct
    {
        const char* what;
        uint32_t compressed;
        uint32_t stored;
        uint32_t unpacked;
        uint32_t offset;
    } cases[] = {
        {"runs past the end", 0, 0x7FFFFFF0u, 0x7FFFFFF0u, 256},
        {"starts in the header", 0, 4, 4, 8},
        {"plain sizes disagree", 0, 4, 8, 256},
        {"compressed, runs past the end", 1, 100000, 5, 256},
    };
    for (const auto& c : cases)
    {
        RawPackage raw;
        raw.compressedFlag = c.compressed;
        raw.AddBlock({1, 2, 3, 4});
        RawEntry entry;
        entry.name = u"x";
        entry.storedSize = c.stored;
        entry.unpackedSize = c.unpacked;
        entry.dataOffset = c.offset;
        raw.entries.push_back(entry);
        WriteAll(pkg, raw.Bytes());
        CPackageFile package;
        ASSERT_TRUE(package.Open(pkg, false)) << c.what;
        std::vector<uint8_t> out;
        FileIo::SetLastError(0);
        EXPECT_FALSE(package.ExtractToMemory(0, out)) << c.what;
        EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorFileCorrupt) << c.what;
    }
}

TEST_F(PackageFileTest, RoundTrips)
{
    std::u16string longest(1023, u'x');
    longest[5] = u'\\';
    std::vector<Item> items = {
        {u"empty.txt", false, {}},
        {u"folder", true, {}},
        {u"one", false, {'1'}},
        {longest, false, Pattern(10, 6, false)},
        {u"chunk-minus-one", false, Pattern(65535, 7, false)},
        {u"chunk", false, Pattern(65536, 8, false)},
        {u"chunk-plus-one", false, Pattern(65537, 9, true)},
        {u"folder\\random", false, Pattern(300001, 10, false)},
        {u"folder\\text", false, Pattern(1000000, 11, true)},
        {u"\u00C4rger\\\u0436", false, Pattern(3, 12, false)},
    };
    for (bool compressed : {false, true})
    {
        std::string path = dir.File(compressed ? "z.pkg" : "p.pkg");
        Build(path, compressed, items, "Round");
        CPackageFile package;
        ASSERT_TRUE(package.Open(path, false));
        EXPECT_EQ(package.GetBuildNumber(), 2105u);
        CPackageCatalog catalog = package.GetCatalog();
        ASSERT_EQ(catalog.GetCount(), static_cast<int>(items.size()));
        EXPECT_STREQ(catalog.GetTitle(), "Round");
        for (size_t i = 0; i < items.size(); ++i)
        {
            const Item& item = items[i];
            int index = static_cast<int>(i);
            CPackageCatalogEntry entry = catalog.GetEntry(index);
            EXPECT_EQ(std::u16string(entry.GetName()), item.name);
            EXPECT_EQ(catalog.FindEntry(item.name.c_str()), index);
            EXPECT_EQ(entry.GetUnpackedSize(), item.bytes.size());
            if (item.directory)
            {
                EXPECT_EQ(entry.GetKind(), CPackageCatalogEntry::kKindDirectory);
                EXPECT_EQ(entry.GetDataOffset(), 0u);
                continue;
            }
            EXPECT_EQ(entry.GetCreationTime(), 1000 + i);
            EXPECT_EQ(entry.GetLastWriteTime(), 2000 + i);
            if (item.bytes.empty() && !compressed)
            {
                continue;
            }
            std::vector<uint8_t> memory;
            ASSERT_TRUE(package.ExtractToMemory(index, memory)) << i << " " << compressed;
            EXPECT_EQ(memory, item.bytes) << i;
            std::string out = dir.File("out.bin");
            ASSERT_TRUE(ExtractToPath(package, index, out)) << i;
            EXPECT_EQ(ReadAll(out), item.bytes) << i;
        }
    }
}

TEST_F(PackageFileTest, ExtractWritesAtTheDestinationsPosition)
{
    Build(pkg, true, {{u"a", false, {'a', 'b', 'c'}}});
    CPackageFile package;
    ASSERT_TRUE(package.Open(pkg, false));
    std::string out = dir.File("out.bin");
    FileIo::Handle file = FileIo::CreateAlways(out);
    uint32_t done = 0;
    ASSERT_TRUE(FileIo::Write(file, "XYZ", 3, &done));
    ASSERT_TRUE(package.ExtractToFile(0, file));
    FileIo::Close(file);
    EXPECT_EQ(ReadAll(out), (std::vector<uint8_t>{'X', 'Y', 'Z', 'a', 'b', 'c'}));
}

TEST_F(PackageFileTest, AppendingPlacesTheBlockAtTheOldCatalog)
{
    for (bool compressed : {false, true})
    {
        std::string path = dir.File(compressed ? "z.pkg" : "p.pkg");
        Build(path, compressed, {{u"a", false, Pattern(1000, 13, true)}}, "Title");
        uint32_t oldCatalog = Get32(ReadAll(path), 16);

        CPackageFile package;
        ASSERT_TRUE(package.Open(path, true));
        CPackageCatalogEntry entry;
        entry.SetFile(u"b", 1, 2, 0, 0);
        std::vector<uint8_t> added = Pattern(777, 14, false);
        ASSERT_TRUE(package.AddData(entry, added.data(), 777));
        ASSERT_TRUE(package.Commit());

        std::vector<uint8_t> bytes = ReadAll(path);
        ASSERT_TRUE(package.Open(path, false));
        CPackageCatalog catalog = package.GetCatalog();
        ASSERT_EQ(catalog.GetCount(), 2);
        EXPECT_STREQ(catalog.GetTitle(), "Title");
        EXPECT_EQ(catalog.GetEntry(1).GetDataOffset(), oldCatalog);
        uint32_t newCatalog = Get32(bytes, 16);
        EXPECT_EQ(newCatalog, oldCatalog + catalog.GetEntry(1).GetStoredSize());
        EXPECT_EQ(bytes.size(), newCatalog + 68u + 2 * 3084u);
        std::vector<uint8_t> out;
        ASSERT_TRUE(package.ExtractToMemory(1, out));
        EXPECT_EQ(out, added);
        ASSERT_TRUE(package.ExtractToMemory(0, out));
        EXPECT_EQ(out, Pattern(1000, 13, true));
    }
}

TEST_F(PackageFileTest, CommitTruncatesWhatFollowedTheOldCatalog)
{
    RawPackage raw;
    raw.AddFileEntry(u"a", Pattern(100, 15, false), 100);
    std::vector<uint8_t> bytes = raw.Bytes();
    std::vector<uint8_t> tail(20000, 0xEE); // e.g. an older, longer catalog
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    WriteAll(pkg, bytes);

    CPackageFile package;
    ASSERT_TRUE(package.Open(pkg, true));
    CPackageCatalogEntry entry;
    entry.SetDirectory(u"d");
    ASSERT_TRUE(package.AddData(entry, nullptr, 0));
    ASSERT_TRUE(package.Commit());
    std::vector<uint8_t> after = ReadAll(pkg);
    EXPECT_EQ(after.size(), 256u + 100u + 68u + 2 * 3084u);
    EXPECT_EQ(Get32(after, 16), 356u);
}

TEST_F(PackageFileTest, DiscardDeletesACreatedPackageAndRestoresAnAppendedOne)
{
    CPackageFile created;
    ASSERT_TRUE(created.Create(pkg, true));
    CPackageCatalogEntry entry;
    entry.SetFile(u"a", 0, 0, 0, 0);
    ASSERT_TRUE(created.AddData(entry, "abc", 3));
    created.Discard();
    EXPECT_FALSE(fs::exists(pkg));

    Build(pkg, true, {{u"a", false, Pattern(5000, 16, true)}}, "Keep");
    std::vector<uint8_t> original = ReadAll(pkg);
    CPackageFile appended;
    ASSERT_TRUE(appended.Open(pkg, true));
    std::vector<uint8_t> big = Pattern(100000, 17, false);
    ASSERT_TRUE(appended.AddData(entry, big.data(), 100000));
    appended.SetCatalogTitle("Changed");
    appended.Discard();
    EXPECT_EQ(ReadAll(pkg), original);

    CPackageFile reader;
    ASSERT_TRUE(reader.Open(pkg, false));
    reader.Discard();
    EXPECT_EQ(ReadAll(pkg), original);
    // Nothing open: nothing to throw away, in particular not the committed file.
    appended.Discard();
    EXPECT_TRUE(fs::exists(pkg));
}

TEST_F(PackageFileTest, CreateRefusesAnExistingFile)
{
    WriteAll(pkg, {'k', 'e', 'e', 'p'});
    CPackageFile package;
    EXPECT_FALSE(package.Create(pkg, false));
    EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorFileExists);
    EXPECT_EQ(ReadAll(pkg), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
}

TEST_F(PackageFileTest, AddRefusesNamesThatCouldLeaveTheTargetFolder)
{
    CPackageFile package;
    ASSERT_TRUE(package.Create(pkg, false));
    for (const char16_t* name : {u"..\\evil", u"C:\\evil", u"\\evil", u"\\\\host\\share\\evil",
                                 u"a\\..\\..\\evil", u"a//b", u""})
    {
        CPackageCatalogEntry entry;
        entry.SetFile(name, 0, 0, 0, 0);
        FileIo::SetLastError(0);
        EXPECT_FALSE(package.AddData(entry, "x", 1));
        EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorInvalidName);
        EXPECT_FALSE(package.AddData(entry, nullptr, 0));
    }
    CPackageCatalogEntry entry;
    entry.SetFile(u"ok", 0, 0, 0, 0);
    ASSERT_TRUE(package.AddData(entry, "x", 1));
    ASSERT_TRUE(package.Commit());
    ASSERT_TRUE(package.Open(pkg, false));
    EXPECT_EQ(package.GetCatalog().GetCount(), 1);
    EXPECT_EQ(package.GetCatalog().GetEntry(0).GetDataOffset(), 256u);
}

TEST_F(PackageFileTest, AddFileFailsWhenTheSourceIsShort)
{
    std::string source = dir.File("source");
    WriteAll(source, Pattern(100, 18, false));
    for (bool compressed : {false, true})
    {
        std::string path = dir.File(compressed ? "z.pkg" : "p.pkg");
        CPackageFile package;
        ASSERT_TRUE(package.Create(path, compressed));
        FileIo::Handle file = FileIo::OpenExisting(source, false);
        CPackageCatalogEntry entry;
        entry.SetFile(u"s", 0, 0, 0, 0);
        EXPECT_FALSE(package.AddFile(entry, file, 101));
        EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorHandleEof);
        FileIo::Close(file);
        ASSERT_TRUE(package.Commit());
        ASSERT_TRUE(package.Open(path, false));
        EXPECT_EQ(package.GetCatalog().GetCount(), 0);
        EXPECT_EQ(ReadAll(path).size(), 256u + 68u);
    }
}

TEST_F(PackageFileTest, PackageCannotGrowPastTwoGigabytes)
{
    // A sparse package whose catalog sits 2 KiB below the reachable limit.
    const uint32_t catalogOffset = 0x7FFFF800u;
    {
        FileIo::Handle file = FileIo::CreateNew(pkg);
        ASSERT_NE(file, FileIo::InvalidHandle());
        RawPackage raw;
        std::vector<uint8_t> header = raw.Bytes();
        header.resize(256);
        header[16] = 0x00;
        header[17] = 0xF8;
        header[18] = 0xFF;
        header[19] = 0x7F;
        uint32_t done = 0, position = 0;
        ASSERT_TRUE(FileIo::Write(file, header.data(), 256, &done));
        ASSERT_TRUE(FileIo::Seek(file, catalogOffset, &position));
        std::vector<uint8_t> catalog(68, 0);
        ASSERT_TRUE(FileIo::Write(file, catalog.data(), 68, &done));
        FileIo::Close(file);
    }
    {
        CPackageFile package;
        ASSERT_TRUE(package.Open(pkg, true)) << FileIo::ErrorText(FileIo::GetLastError());
        CPackageCatalogEntry entry;
        entry.SetFile(u"big", 0, 0, 0, 0);
        std::vector<uint8_t> big = Pattern(4096, 19, false);
        EXPECT_FALSE(package.AddData(entry, big.data(), 4096));
        EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorFileTooLarge);
        // The data fits, but data and catalog do not.
        ASSERT_TRUE(package.AddData(entry, big.data(), 100));
        EXPECT_FALSE(package.Commit());
        EXPECT_EQ(FileIo::GetLastError(), FileIo::kErrorFileTooLarge);
        package.Discard();
        ASSERT_TRUE(package.Open(pkg, false));
        EXPECT_EQ(package.GetCatalog().GetCount(), 0);
        EXPECT_EQ(fs::file_size(pkg), catalogOffset + 68ull);
    }
}

TEST_F(PackageFileTest, TruncatedAtEveryOffsetFailsCleanly)
{
    Build(pkg, true, {{u"d", true, {}}, {u"d\\a.txt", false, Pattern(300, 20, true)}}, "T");
    std::vector<uint8_t> full = ReadAll(pkg);
    std::string cut = dir.File("cut.pkg");
    for (size_t length = 0; length < full.size(); ++length)
    {
        WriteAll(cut, std::vector<uint8_t>(full.begin(), full.begin() + length));
        CPackageFile package;
        FileIo::SetLastError(0);
        ASSERT_FALSE(package.Open(cut, false)) << length;
        ASSERT_NE(FileIo::GetLastError(), 0u) << length;
    }
}

#ifndef _WIN32
TEST_F(PackageFileTest, CommitReportsACatalogThatDidNotReachTheDisk)
{
    CPackageFile package;
    ASSERT_TRUE(package.Create(pkg, false));
    CPackageCatalogEntry entry;
    entry.SetFile(u"a", 0, 0, 0, 0);
    ASSERT_TRUE(package.AddData(entry, "abc", 3));

    // Let the file grow only a little further, as a full disk would.
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = old;
    limited.rlim_cur = 256 + 3 + 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool committed = package.Commit();
    uint32_t error = FileIo::GetLastError();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(committed);
    EXPECT_EQ(error, FileIo::kErrorFileTooLarge);
    package.Discard();
    EXPECT_FALSE(fs::exists(pkg));
}
#endif
