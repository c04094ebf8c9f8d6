// pkgtool from the outside: exit codes, messages and what lands on disk.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "PkgtoolRun.h"
#include "TestSupport.h"
#include "package/PackageFile.h"

using namespace TestSupport;

namespace
{

using Result = ToolResult;

class PkgtoolTest : public ::testing::Test
{
protected:
    ScratchDir dir;

    Result Run(const std::vector<std::string>& args) { return RunPkgtool(dir, args); }

    // A small tree: files of several sizes, nested and empty folders, an
    // empty file and a PE image with a version resource.
    fs::path MakeTree()
    {
        fs::path root = dir.Path() / "tree";
        fs::create_directories(root / "bin");
        fs::create_directories(root / "data" / "deep");
        fs::create_directories(root / "empty");
        WriteAll((root / "readme.txt").string(), Pattern(5000, 1, true));
        WriteAll((root / "bin" / "tool.dll").string(),
                 PeImage(VersionBlock(0x00010002u, 0x00030004u, {u"040904b0"},
                                      {{u"FileVersion", u"1.2.3.4"}}, 0x04B00409u)));
        WriteAll((root / "data" / "random.bin").string(), Pattern(150000, 2, false));
        WriteAll((root / "data" / "deep" / "zero.txt").string(), {});
        WriteAll((root / "Zebra.txt").string(), {'z'});
        return root;
    }

    std::vector<std::string> Listing(const fs::path& root)
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(root))
        {
            names.push_back(fs::relative(entry.path(), root).generic_string() +
                            (entry.is_directory() ? "/" : ""));
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

} // namespace

TEST_F(PkgtoolTest, HelpAndUsageErrors)
{
    Result help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("exit codes"), std::string::npos) << help.output;
    for (const char* verb : {"create", "add", "list", "extract", "verify"})
    {
        Result verbHelp = Run({verb, "--help"});
        EXPECT_EQ(verbHelp.exitCode, 0) << verb;
        EXPECT_NE(verbHelp.output.find(std::string("usage: pkgtool ") + verb), std::string::npos)
            << verbHelp.output;
    }
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"frobnicate"},
        {"create", "only-one"},
        {"create", "--title"},
        {"create", "--bogus", "a", "b"},
        {"create", "--title", std::string(64, 'T'), dir.File("x.pkg"), dir.Path().string()},
        {"list"},
        {"extract", "a.pkg"},
        {"verify"},
        {"add", "a.pkg"},
    };
    for (const auto& args : wrong)
    {
        EXPECT_EQ(Run(args).exitCode, 2) << (args.empty() ? "(none)" : args[0]);
    }
    EXPECT_FALSE(fs::exists(dir.File("x.pkg")));
}

TEST_F(PkgtoolTest, CreateListExtractVerifyRoundTrip)
{
    fs::path tree = MakeTree();
    for (bool stored : {false, true})
    {
        std::string pkg = dir.File(stored ? "stored.pkg" : "packed.pkg");
        std::vector<std::string> args = {"create", "--title", "Round trip", pkg, tree.string()};
        if (stored)
        {
            args.insert(args.begin() + 1, "--stored");
        }
        Result created = Run(args);
        ASSERT_EQ(created.exitCode, 0) << created.output;

        CPackageFile package;
        ASSERT_TRUE(package.Open(pkg, false));
        EXPECT_EQ(package.IsCompressed(), !stored);
        CPackageCatalog catalog = package.GetCatalog();
        std::vector<std::u16string> names;
        for (int i = 0; i < catalog.GetCount(); ++i)
        {
            names.push_back(catalog.GetEntry(i).GetName());
        }
        const std::vector<std::u16string> expected = {u"Zebra.txt",        u"bin",
                                                      u"bin\\tool.dll",    u"data",
                                                      u"data\\deep",       u"data\\deep\\zero.txt",
                                                      u"data\\random.bin", u"empty",
                                                      u"readme.txt"};
        EXPECT_EQ(names, expected);
        CPackageCatalogEntry dll = catalog.GetEntry(2);
        EXPECT_EQ(dll.GetFileVersion(), 0x0001000200030004ull);
        EXPECT_EQ(catalog.GetEntry(1).GetKind(), CPackageCatalogEntry::kKindDirectory);
        package.Close();

        Result listed = Run({"list", pkg});
        EXPECT_EQ(listed.exitCode, 0);
        EXPECT_NE(listed.output.find("Title: Round trip"), std::string::npos) << listed.output;
        EXPECT_NE(listed.output.find("Build: 2105"), std::string::npos);
        EXPECT_NE(listed.output.find("1.2.3.4"), std::string::npos);
        EXPECT_NE(listed.output.find("data\\deep\\zero.txt"), std::string::npos);
        EXPECT_NE(listed.output.find("Directory"), std::string::npos);

        Result verified = Run({"verify", pkg});
        EXPECT_EQ(verified.exitCode, 0) << verified.output;

        fs::path out = dir.Path() / (stored ? "out-stored" : "out-packed");
        Result extracted = Run({"extract", pkg, out.string()});
        ASSERT_EQ(extracted.exitCode, 0) << extracted.output;
        EXPECT_EQ(Listing(out), Listing(tree));
        for (const char* file :
             {"readme.txt", "bin/tool.dll", "data/random.bin", "data/deep/zero.txt"})
        {
            EXPECT_EQ(ReadAll((out / file).string()), ReadAll((tree / file).string())) << file;
            auto wanted = fs::last_write_time(tree / file).time_since_epoch();
            auto got = fs::last_write_time(out / file).time_since_epoch();
            // Package times have a resolution of 100 ns.
            EXPECT_LT(std::chrono::abs(
                          std::chrono::duration_cast<std::chrono::microseconds>(wanted - got))
                          .count(),
                      1)
                << file;
        }
        EXPECT_TRUE(NoTemporaryFilesBelow(dir.Path()));
    }
}

TEST_F(PkgtoolTest, SameInputGivesIdenticalPackages)
{
    fs::path tree = MakeTree();
    ASSERT_EQ(Run({"create", "--title", "T", dir.File("a.pkg"), tree.string()}).exitCode, 0);
    ASSERT_EQ(Run({"create", "--title", "T", dir.File("b.pkg"), tree.string()}).exitCode, 0);
    EXPECT_EQ(ReadAll(dir.File("a.pkg")), ReadAll(dir.File("b.pkg")));
}

TEST_F(PkgtoolTest, CreateNeverLeavesAPartialPackage)
{
    fs::path tree = MakeTree();
    std::string pkg = dir.File("exists.pkg");
    WriteAll(pkg, {'o', 'l', 'd'});
    Result again = Run({"create", pkg, tree.string()});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.output.find("exists.pkg"), std::string::npos) << again.output;
    EXPECT_EQ(ReadAll(pkg), (std::vector<uint8_t>{'o', 'l', 'd'}));

    Result missing = Run({"create", dir.File("new.pkg"), dir.File("no-such-folder")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.output.find("no-such-folder"), std::string::npos) << missing.output;
    EXPECT_FALSE(fs::exists(dir.File("new.pkg")));

#ifndef _WIN32
    // A POSIX name that would mean something else on Windows stops the build.
    WriteAll((tree / "data" / "back\\slash").string(), {'x'});
    Result unsafe = Run({"create", dir.File("new.pkg"), tree.string()});
    EXPECT_EQ(unsafe.exitCode, 1);
    EXPECT_NE(unsafe.output.find("back\\slash"), std::string::npos) << unsafe.output;
    EXPECT_FALSE(fs::exists(dir.File("new.pkg")));
#endif
    EXPECT_TRUE(NoTemporaryFilesBelow(dir.Path()));
}

TEST_F(PkgtoolTest, ExtractRefusesNamesThatLeaveTheFolder)
{
    RawPackage raw;
    raw.AddFileEntry(u"good.txt", {'g'}, 1);
    raw.AddFileEntry(u"..\\evil1.txt", {'e'}, 1);
    raw.AddFileEntry(u"C:\\evil2.txt", {'e'}, 1);
    raw.AddFileEntry(u"sub\\..\\..\\evil3.txt", {'e'}, 1);
    raw.AddFileEntry(u"\\evil4.txt", {'e'}, 1);
    raw.AddFileEntry(u"sub/../../evil5.txt", {'e'}, 1);
    raw.AddFileEntry(u"sub\\fine.txt", {'f'}, 1);
    std::string pkg = dir.File("names.pkg");
    WriteAll(pkg, raw.Bytes());

    fs::path out = dir.Path() / "a" / "b";
    Result result = Run({"extract", pkg, out.string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("unsafe"), std::string::npos) << result.output;
    EXPECT_EQ(Listing(out), (std::vector<std::string>{"good.txt", "sub/", "sub/fine.txt"}));
    for (const auto& entry : fs::recursive_directory_iterator(dir.Path()))
    {
        EXPECT_EQ(entry.path().filename().string().find("evil"), std::string::npos)
            << entry.path().string();
    }
    EXPECT_EQ(Run({"verify", pkg}).exitCode, 1);
}

TEST_F(PkgtoolTest, VerifyFindsEveryKindOfFault)
{
    fs::path tree = MakeTree();
    std::string good = dir.File("good.pkg");
    ASSERT_EQ(Run({"create", good, tree.string()}).exitCode, 0);
    std::vector<uint8_t> bytes = ReadAll(good);

    std::vector<uint8_t> damaged = bytes;
    damaged[256 + 20] ^= 0x55; // inside the first data block
    WriteAll(dir.File("damaged.pkg"), damaged);
    std::vector<uint8_t> oldBuild = bytes;
    oldBuild[20] = 0x38; // 2104
    WriteAll(dir.File("oldbuild.pkg"), oldBuild);
    WriteAll(dir.File("cut.pkg"), std::vector<uint8_t>(bytes.begin(), bytes.end() - 100));

    EXPECT_EQ(Run({"verify", good, good}).exitCode, 0);
    for (const char* bad : {"damaged.pkg", "oldbuild.pkg", "cut.pkg", "missing.pkg"})
    {
        Result result = Run({"verify", good, dir.File(bad)});
        EXPECT_EQ(result.exitCode, 1) << bad;
        EXPECT_NE(result.output.find(bad), std::string::npos) << result.output;
    }
    Result cut = Run({"list", dir.File("cut.pkg")});
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_NE(cut.output.find("corrupt"), std::string::npos) << cut.output;
}

TEST_F(PkgtoolTest, AddAppendsAndLeavesThePackageAloneOnFailure)
{
    fs::path tree = MakeTree();
    std::string pkg = dir.File("p.pkg");
    ASSERT_EQ(Run({"create", pkg, (tree / "data").string()}).exitCode, 0);
    std::vector<uint8_t> before = ReadAll(pkg);

    // Names come from the paths as given, so run from the tree.
    fs::path previous = fs::current_path();
    fs::current_path(tree);
    Result failed = Run({"add", pkg, "readme.txt", "not-there.txt"});
    Result unsafe = Run({"add", pkg, "../tree/readme.txt"});
    bool untouched = ReadAll(pkg) == before;
    Result added = Run({"add", pkg, "readme.txt", "bin"});
    fs::current_path(previous);

    EXPECT_TRUE(untouched);
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_NE(failed.output.find("not-there.txt"), std::string::npos) << failed.output;
    EXPECT_EQ(unsafe.exitCode, 1);
    EXPECT_NE(unsafe.output.find("../tree/readme.txt"), std::string::npos) << unsafe.output;
    ASSERT_EQ(added.exitCode, 0) << added.output;

    CPackageFile package;
    ASSERT_TRUE(package.Open(pkg, false));
    CPackageCatalog catalog = package.GetCatalog();
    ASSERT_EQ(catalog.GetCount(), 3 + 3);
    EXPECT_EQ(std::u16string(catalog.GetEntry(3).GetName()), u"readme.txt");
    EXPECT_EQ(std::u16string(catalog.GetEntry(4).GetName()), u"bin");
    EXPECT_EQ(std::u16string(catalog.GetEntry(5).GetName()), u"bin\\tool.dll");
    std::vector<uint8_t> content;
    ASSERT_TRUE(package.ExtractToMemory(3, content));
    EXPECT_EQ(content, Pattern(5000, 1, true));
    package.Close();
    EXPECT_NE(ReadAll(pkg), before);
    EXPECT_TRUE(NoTemporaryFilesBelow(dir.Path()));
}
