// pkgtool's medium build, check and image from the outside: a medium made from a
// staging tree, one broken medium for every way an install would fail, and the
// medium's disc image read back by the format alone and by medium check.

#include <gtest/gtest.h>

#include <functional>
#include <map>

#ifndef _WIN32
#include <cstdlib>
#include <sys/stat.h>
#include <sys/time.h>
#include <ctime>
#endif

#include "PkgtoolRun.h"
#include "TestSupport.h"
#include "package/PackageFile.h"

using namespace TestSupport;

namespace
{

// A program or DLL whose version resource the setup reads, or, without a
// translation table, one it takes for unversioned.
std::vector<uint8_t> VersionedImage(uint32_t ms, uint32_t ls, bool withTranslation = true)
{
    return PeImage(VersionBlock(ms, ls, {u"040904b0"}, {{u"CompanyName", u"Pellmor"}},
                                withTranslation ? 0x04B00409u : 0));
}

// What each package folder of the staging tree holds: name below the folder, bytes.
using Staging = std::map<std::string, std::map<std::string, std::vector<uint8_t>>>;

Staging SampleStaging()
{
    return {
        {"SYSDLL95", {{"PRRT32.DLL", VersionedImage(0x60000, 2095u << 16)}}},
        {"SYSDLLNT", {{"PRRT32.DLL", VersionedImage(0x60000, 2105u << 16)}}},
        {"PRAPP95", {{"Scroll95.exe", VersionedImage(0x60000, 2105u << 16)}}},
        {"PRAPPNT",
         {{"ScrollNT.exe", VersionedImage(0x60000, 2105u << 16)},
          {"PCtrlsU.ocx", VersionedImage(0x60000, 2105u << 16)}}},
        {"PRCFG", {{"Default.cfg", Pattern(300, 1, true)}, {"Machine/Settings.cfg", {'x'}}}},
        {"PRLEX", {{"English.lex", Pattern(70000, 2, true)}}},
        {"PRL_ENGL", {{"English.lng", Pattern(900, 3, true)}}},
        {"PRSCRIPT", {{"Readme.txt", Pattern(1200, 4, true)}}},
        {"PRUSB", {{"prusb.inf", Pattern(80, 5, true)}}},
        {"IO8DRV", {{"io8.inf", Pattern(90, 6, true)}}},
        {"DRVX64", {{"io8x64.sys", VersionedImage(0x20001, 0)}}},
        {"DRVX86", {{"io8x86.sys", VersionedImage(0x20001, 0)}}},
    };
}

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

bool Holds(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class MediumTest : public ::testing::Test
{
protected:
    ScratchDir dir;

    ToolResult Run(const std::vector<std::string>& args) { return RunPkgtool(dir, args); }

    fs::path Stage(const std::string& name, const Staging& staging,
                   const std::string& titles = "PRAPPNT.PKG = Program files, NT\n")
    {
        fs::path root = dir.Path() / name;
        for (const auto& folder : staging)
        {
            for (const auto& file : folder.second)
            {
                fs::path path = root / folder.first / fs::path(file.first);
                fs::create_directories(path.parent_path());
                WriteAll(path.string(), file.second);
            }
        }
        fs::create_directories(root);
        if (!titles.empty())
        {
            WriteAll((root / "titles.txt").string(), Bytes(titles));
        }
        return root;
    }

    // A setup whose version resource carries `build` as its file version's third field.
    std::string SetupOfBuild(uint32_t build)
    {
        std::string path = dir.File("Setup-" + std::to_string(build) + ".exe");
        WriteAll(path,
                 PeImage(VersionBlock(0x00010000u, build << 16, {u"040904b0"},
                                      {{u"CompanyName", u"Pellmor"}, {u"ProductName", u"Ardent"}},
                                      0x04B00409u)));
        return path;
    }

    ToolResult Build(const fs::path& staging, const fs::path& out, uint32_t build = 2105)
    {
        return Run(
            {"medium", "build", staging.string(), out.string(), "--setup", SetupOfBuild(build)});
    }

    // A medium from the sample staging, ready to be broken.
    fs::path CleanMedium(const std::string& name)
    {
        fs::path out = dir.Path() / name;
        ToolResult built = Build(Stage(name + "-staging", SampleStaging()), out);
        EXPECT_EQ(built.exitCode, 0) << built.output;
        return out;
    }
};

std::vector<uint8_t> RawPackageWith(const std::vector<RawEntry>& entries)
{
    RawPackage raw;
    raw.AddFileEntry(u"Readme.txt", {'r'}, 1);
    for (const RawEntry& entry : entries)
    {
        raw.entries.push_back(entry);
    }
    return raw.Bytes();
}

RawEntry EntryOfKind(const std::u16string& name, uint32_t kind)
{
    RawEntry entry;
    entry.name = name;
    entry.kind = kind;
    return entry;
}

#ifndef _WIN32
std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The root of a disc image as a reader of ISO 9660 and Joliet meets it, read from
// the format alone: the volume's label and creation time, and each tree's files.
struct DiscRoot
{
    std::string volumeId;
    std::string created; // YYYYMMDDhhmmss, UTC
    std::map<std::string, std::vector<uint8_t>> primary;
    std::map<std::string, std::vector<uint8_t>> joliet; // UCS-2 names, ASCII here
};

constexpr size_t kBlock = 2048;

void ReadRootFolder(const std::vector<uint8_t>& image, size_t descriptor, bool ucs2,
                    std::map<std::string, std::vector<uint8_t>>* files)
{
    const size_t extent = Get32(image, descriptor + 156 + 2) * kBlock;
    const size_t end = extent + Get32(image, descriptor + 156 + 10);
    for (size_t at = extent; at < end;)
    {
        const uint8_t length = image.at(at);
        if (length == 0) // records never cross a block
        {
            at = (at / kBlock + 1) * kBlock;
            continue;
        }
        const uint8_t nameLength = image.at(at + 32);
        const bool isFolder = (image.at(at + 25) & 2) != 0;
        if (!isFolder)
        {
            std::string name;
            for (size_t i = ucs2 ? 1 : 0; i < nameLength; i += ucs2 ? 2 : 1)
            {
                name.push_back(static_cast<char>(image.at(at + 33 + i)));
            }
            const auto data = image.begin() + Get32(image, at + 2) * kBlock;
            (*files)[name] = std::vector<uint8_t>(data, data + Get32(image, at + 10));
        }
        at += length;
    }
}

DiscRoot ReadDiscRoot(const std::vector<uint8_t>& image)
{
    DiscRoot root;
    for (size_t descriptor = 16 * kBlock; image.at(descriptor) != 255; descriptor += kBlock)
    {
        const std::string escape(image.begin() + descriptor + 88, image.begin() + descriptor + 91);
        if (image.at(descriptor) == 1)
        {
            root.volumeId.assign(image.begin() + descriptor + 40, image.begin() + descriptor + 72);
            root.volumeId.erase(root.volumeId.find_last_not_of(' ') + 1);
            root.created.assign(image.begin() + descriptor + 813, image.begin() + descriptor + 827);
            ReadRootFolder(image, descriptor, false, &root.primary);
        }
        else if (image.at(descriptor) == 2 &&
                 (escape == "%/@" || escape == "%/C" || escape == "%/E"))
        {
            ReadRootFolder(image, descriptor, true, &root.joliet);
        }
    }
    return root;
}

std::string UtcStamp(time_t time)
{
    char text[32];
    struct tm utc;
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", gmtime_r(&time, &utc));
    return text;
}

// Fixed past times for a medium's files, the newest 2001-02-03 04:05:06 UTC: an image
// stamped with the time it was made cannot then pass for one stamped with the medium's.
void GiveFixedPastTimes(const fs::path& medium)
{
    const time_t newest = 981173106;
    time_t time = newest;
    for (const auto& entry : fs::directory_iterator(medium))
    {
        const struct timeval times[2] = {{time, 0}, {time, 0}};
        utimes(entry.path().c_str(), times);
        time -= 3600;
    }
}

// A copy of a medium that keeps the files' times, as a second checkout would.
time_t CopyWithTimes(const fs::path& from, const fs::path& to)
{
    fs::create_directories(to);
    time_t newest = 0;
    for (const auto& entry : fs::directory_iterator(from))
    {
        fs::copy_file(entry.path(), to / entry.path().filename());
        fs::last_write_time(to / entry.path().filename(), fs::last_write_time(entry.path()));
        struct stat st;
        stat(entry.path().c_str(), &st);
        newest = std::max(newest, st.st_mtime);
    }
    return newest;
}
#endif

} // namespace

TEST_F(MediumTest, HelpAndUsageErrors)
{
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"medium", "--help"},
                                               {"medium", "build", "--help"},
                                               {"medium", "check", "--help"},
                                               {"medium", "image", "--help"},
                                               {"medium", "check", "x", "--help"}})
    {
        ToolResult help = Run(args);
        EXPECT_EQ(help.exitCode, 0) << args[1];
        EXPECT_TRUE(Holds(help.output, "usage: pkgtool medium")) << help.output;
        EXPECT_TRUE(Holds(help.output, "exit codes")) << help.output;
    }
    EXPECT_TRUE(Holds(Run({"--help"}).output, "medium check"));
    EXPECT_TRUE(Holds(Run({"medium", "check", "--help"}).output, "2105"));
    const std::vector<std::vector<std::string>> wrong = {
        {"medium"},
        {"medium", "publish"},
        {"medium", "build", "staging", "out"},
        {"medium", "build", "staging", "--setup", "Setup.exe"},
        {"medium", "build", "staging", "out", "--setup"},
        {"medium", "build", "--stored", "staging", "out", "--setup", "Setup.exe"},
        {"medium", "check"},
        {"medium", "check", "a", "b"},
        {"medium", "check", "--xml", "a"},
        {"medium", "image", "a"},
        {"medium", "image", "a", "b", "c"},
        {"medium", "image", "--label", "two words", "a", "b"},
        {"medium", "image", "--label", std::string(33, 'L'), "a", "b"},
        {"medium", "image", "a", "b", "--label"},
    };
    for (const auto& args : wrong)
    {
        EXPECT_EQ(Run(args).exitCode, 2) << args.back();
    }
#ifdef _WIN32
    ToolResult image = Run({"medium", "image", dir.File("a"), dir.File("a.iso")});
    EXPECT_EQ(image.exitCode, 2);
    EXPECT_TRUE(Holds(image.output, "not in this build")) << image.output;
#endif
    ToolResult missing = Run({"medium", "check", dir.File("no-such-medium")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(Holds(missing.output, "no-such-medium")) << missing.output;
}

TEST_F(MediumTest, BuildsAMediumThatChecksClean)
{
    fs::path staging = Stage("staging", SampleStaging());
    fs::path out = dir.Path() / "deep" / "Medium";
    ToolResult built = Build(staging, out);
    ASSERT_EQ(built.exitCode, 0) << built.output;

    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(out))
    {
        files.push_back(entry.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{
                         "DRVX64.PKG", "DRVX86.PKG", "IO8DRV.PKG", "PRAPP95.PKG", "PRAPPNT.PKG",
                         "PRCFG.PKG", "PRLEX.PKG", "PRL_ENGL.PKG", "PRSCRIPT.PKG", "PRUSB.PKG",
                         "SYSDLL95.PKG", "SYSDLLNT.PKG", "Setup.exe"}));
    EXPECT_EQ(ReadAll((out / "Setup.exe").string()), ReadAll(SetupOfBuild(2105)));
    CPackageFile package;
    ASSERT_TRUE(package.Open((out / "PRAPPNT.PKG").string(), false));
    EXPECT_STREQ(package.GetCatalog().GetTitle(), "Program files, NT");
    EXPECT_EQ(package.GetCatalog().GetCount(), 2);
    package.Close();

    // The same input, a byte-identical medium.
    fs::path again = dir.Path() / "again";
    ASSERT_EQ(Build(staging, again).exitCode, 0);
    for (const std::string& file : files)
    {
        EXPECT_EQ(ReadAll((out / file).string()), ReadAll((again / file).string())) << file;
    }

    ToolResult checked = Run({"medium", "check", out.string()});
    EXPECT_EQ(checked.exitCode, 0) << checked.output;
    EXPECT_TRUE(Holds(checked.output, "Setup.exe: build 2105")) << checked.output;
    EXPECT_TRUE(Holds(checked.output, "would install cleanly")) << checked.output;
    // What each family's install writes, by the sizes staged above.
    const Staging sample = SampleStaging();
    std::map<std::string, uint64_t> bytes;
    for (const auto& folder : sample)
    {
        for (const auto& file : folder.second)
        {
            bytes[folder.first] += file.second.size();
        }
    }
    uint64_t shared = 0;
    for (const char* common :
         {"PRCFG", "PRLEX", "PRL_ENGL", "PRSCRIPT", "PRUSB", "IO8DRV", "DRVX64", "DRVX86"})
    {
        shared += bytes[common];
    }
    EXPECT_TRUE(Holds(checked.output,
                      "9x family: 10 files, " + std::to_string(shared + bytes["PRAPP95"]) +
                          " bytes into the product tree; 1 files, " +
                          std::to_string(bytes["SYSDLL95"]) + " bytes into the system folder"))
        << checked.output;
    EXPECT_TRUE(Holds(checked.output,
                      "NT family: 11 files, " + std::to_string(shared + bytes["PRAPPNT"]) +
                          " bytes into the product tree; 1 files, " +
                          std::to_string(bytes["SYSDLLNT"]) + " bytes into the system folder"))
        << checked.output;

    ToolResult json = Run({"medium", "check", "--json", out.string()});
    EXPECT_EQ(json.exitCode, 0) << json.output;
    EXPECT_TRUE(Holds(json.output, "\"clean\": true")) << json.output;
    EXPECT_TRUE(Holds(json.output, "\"setupBuild\": 2105")) << json.output;
    EXPECT_TRUE(Holds(json.output, "\"findings\": []")) << json.output;
    EXPECT_TRUE(NoTemporaryFilesBelow(dir.Path()));
}

TEST_F(MediumTest, BuildRefusesWhatIsNotAMediumAndLeavesNothing)
{
    Staging extraFolder = SampleStaging();
    extraFolder["EXTRAS"] = {{"a.txt", {'a'}}};
    const struct
    {
        const char* what;
        fs::path staging;
        std::string expected;
    } cases[] = {
        {"a folder of no package", Stage("extra", extraFolder), "EXTRAS"},
        {"a stray file",
         Stage("stray", {{"PRCFG", {{"notes.txt", {'n'}}}}, {"", {{"x.zip", {'z'}}}}}, ""),
         "x.zip"},
        {"a title without '='", Stage("noequals", SampleStaging(), "PRCFG.PKG Configuration\n"),
         "titles.txt:1"},
        {"a title for no package", Stage("unknown", SampleStaging(), "# titles\nPRFOO.PKG = Foo\n"),
         "titles.txt:2"},
        {"a title too long",
         Stage("long", SampleStaging(), "PRCFG.PKG = " + std::string(64, 't') + "\n"),
         "longer than 63"},
        {"a title twice", Stage("twice", SampleStaging(), "PRCFG.PKG = A\nprcfg.pkg = B\n"),
         "titles.txt:2"},
        {"a title for a package not staged",
         Stage("unstaged", {{"PRCFG", {{"a.cfg", {'a'}}}}}, "PRLEX.PKG = Lexicon\n"), "PRLEX.PKG"},
#ifndef _WIN32
        // A name Windows itself would refuse can only be staged elsewhere.
        {"a name Windows refuses", Stage("badname", {{"PRCFG", {{"con.cfg", {'c'}}}}}, ""),
         "con.cfg"},
#endif
    };
    for (const auto& c : cases)
    {
        fs::path out = dir.Path() / "out";
        ToolResult result = Build(c.staging, out);
        EXPECT_EQ(result.exitCode, 1) << c.what;
        EXPECT_TRUE(Holds(result.output, c.expected)) << c.what << ": " << result.output;
        EXPECT_FALSE(fs::exists(out)) << c.what;
    }

    // OUT that holds files stays as it was; a missing setup stops the build.
    fs::path staging = Stage("good", SampleStaging());
    fs::path used = dir.Path() / "used";
    fs::create_directories(used);
    WriteAll((used / "keep.txt").string(), {'k'});
    ToolResult full = Build(staging, used);
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_TRUE(Holds(full.output, "already holds files")) << full.output;
    EXPECT_EQ(ReadAll((used / "keep.txt").string()), std::vector<uint8_t>{'k'});
    ToolResult noSetup = Run({"medium", "build", staging.string(), (dir.Path() / "out").string(),
                              "--setup", dir.File("Missing.exe")});
    EXPECT_EQ(noSetup.exitCode, 1);
    EXPECT_TRUE(Holds(noSetup.output, "Missing.exe")) << noSetup.output;
    EXPECT_FALSE(fs::exists(dir.Path() / "out"));
    EXPECT_TRUE(NoTemporaryFilesBelow(dir.Path()));
}

TEST_F(MediumTest, CheckFindsWhatWouldFailAtACustomers)
{
    // Broken through the staging tree, as a vendor would break it.
    Staging noTranslation = SampleStaging();
    noTranslation["DRVX64"]["io8x64.sys"] = VersionedImage(0x20001, 0, false);
    Staging overlap = SampleStaging();
    overlap["PRUSB"]["RERER8/io8.inf"] = {'i'};
    Staging noPrograms9x = SampleStaging();
    noPrograms9x.erase("PRAPP95");

    using Break = std::function<void(const fs::path& medium)>;
    const auto replace = [](const char* package, std::vector<uint8_t> bytes) {
        return Break([=](const fs::path& medium) { WriteAll((medium / package).string(), bytes); });
    };
    const auto patch = [](const char* package, size_t offset, uint8_t value)
    {
        return Break(
            [=](const fs::path& medium)
            {
                std::vector<uint8_t> bytes = ReadAll((medium / package).string());
                bytes.at(offset) = value;
                WriteAll((medium / package).string(), bytes);
            });
    };
    const struct
    {
        const char* rule;
        Staging staging;
        Break breakIt;
        uint32_t setupBuild;
        std::vector<std::string> expected;
    } cases[] = {
        {"missing", noPrograms9x, nullptr, 2105, {"PRAPP95.PKG: missing:", "20016 [9x]"}},
        {"missing",
         SampleStaging(),
         replace("PRCFG.PKG", {'j', 'u', 'n', 'k'}),
         2105,
         {"PRCFG.PKG: missing: cannot be opened", "[9x, NT]"}},
        {"build",
         SampleStaging(),
         patch("PRLEX.PKG", 20, 0x38),
         2105,
         {"PRLEX.PKG: build: build 2104, the setup's is 2105", "20017"}},
        {"build",
         SampleStaging(),
         nullptr,
         2106,
         {"PRAPPNT.PKG: build: build 2105, the setup's is 2106:", "20017 [NT]"}},
        {"setup",
         SampleStaging(),
         replace("Setup.exe", {'M', 'Z'}),
         2105,
         {"Setup.exe: setup: no version resource"}},
        {"name",
         SampleStaging(),
         replace("PRSCRIPT.PKG", RawPackageWith({[]
                                                 {
                                                     RawEntry e;
                                                     e.name = u"\uFF0E\uFF0E\uFF3Cevil.txt";
                                                     return e;
                                                 }()})),
         2105,
         {"PRSCRIPT.PKG: entry '", "evil.txt': name: the setup refuses the name", "20018"}},
        {"kind",
         SampleStaging(),
         replace("PRL_ENGL.PKG",
                 RawPackageWith({EntryOfKind(u"English.cfo", 2), EntryOfKind(u"English.seg", 3)})),
         2105,
         {"PRL_ENGL.PKG: entry 'English.cfo': kind: an entry of kind Config Obj",
          "PRL_ENGL.PKG: entry 'English.seg': kind: an entry of kind Lexicon Seg"}},
        {"version",
         noTranslation,
         nullptr,
         2105,
         {"DRVX64.PKG: entry 'io8x64.sys': version: records version 2.1.0.0",
          "no translation table"}},
        {"overlap",
         overlap,
         nullptr,
         2105,
         {"IO8DRV.PKG: entry 'io8.inf': overlap: writes <install>\\Drivers\\RERER8\\io8.inf, "
          "which PRUSB.PKG entry 'RERER8\\io8.inf' writes too",
          "[9x]", "[NT]"}},
        {"content",
         SampleStaging(),
         patch("PRLEX.PKG", 256 + 40, 0x55),
         2105,
         {"PRLEX.PKG: entry 'English.lex': content: its content cannot be read", "20022"}},
    };
    int number = 0;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.rule) + " #" + std::to_string(++number));
        const std::string name = "case" + std::to_string(number);
        fs::path medium = dir.Path() / name;
        ToolResult built = Build(Stage(name + "-staging", c.staging), medium, c.setupBuild);
        ASSERT_EQ(built.exitCode, 0) << built.output;
        if (c.breakIt)
        {
            c.breakIt(medium);
        }
        ToolResult checked = Run({"medium", "check", medium.string()});
        EXPECT_EQ(checked.exitCode, 1) << checked.output;
        for (const std::string& part : c.expected)
        {
            EXPECT_TRUE(Holds(checked.output, part)) << part << "\n" << checked.output;
        }
        EXPECT_TRUE(Holds(checked.output, "would fail at a customer's")) << checked.output;
        ToolResult json = Run({"medium", "check", "--json", medium.string()});
        EXPECT_EQ(json.exitCode, 1);
        EXPECT_TRUE(Holds(json.output, "\"clean\": false")) << json.output;
        EXPECT_TRUE(Holds(json.output, std::string("\"rule\": \"") + c.rule + "\"")) << json.output;
    }
    // A vendor hears of a version the setup will not see as the medium is built.
    ToolResult warned = Build(Stage("warned-staging", noTranslation), dir.Path() / "warned");
    EXPECT_EQ(warned.exitCode, 0);
    EXPECT_TRUE(Holds(warned.output, "io8x64.sys: warning")) << warned.output;
}

#ifndef _WIN32
TEST_F(MediumTest, AnImageHoldsTheMediumAndChecksAsItDoes)
{
    const fs::path medium = CleanMedium("medium");
    GiveFixedPastTimes(medium);
    const fs::path image = dir.Path() / "out" / "Ardent.iso";
    ToolResult made = Run({"medium", "image", medium.string(), image.string()});
    ASSERT_EQ(made.exitCode, 0) << made.output;
    EXPECT_TRUE(Holds(made.output, "would install cleanly")) << made.output;
    EXPECT_TRUE(Holds(made.output, "volume ARDENT_2105, 13 files and AUTORUN.INF")) << made.output;

    // Each file under its 8.3 name and under its own; a label from the product and build.
    const std::vector<uint8_t> bytes = ReadAll(image.string());
    const DiscRoot root = ReadDiscRoot(bytes);
    EXPECT_EQ(root.volumeId, "ARDENT_2105");
    for (const auto& entry : fs::directory_iterator(medium))
    {
        const std::string name = entry.path().filename().string();
        std::string upper = name;
        std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
        EXPECT_EQ(root.primary.at(upper + ";1"), ReadAll(entry.path().string())) << name;
        EXPECT_EQ(root.joliet.at(name + ";1"), ReadAll(entry.path().string())) << name;
    }
    EXPECT_EQ(root.primary.size(), 14u);
    EXPECT_EQ(root.joliet.at("AUTORUN.INF;1"),
              Bytes("[autorun]\r\nopen=Setup.exe\r\nicon=Setup.exe,0\r\nlabel=Ardent 2105\r\n"));

    // The same medium elsewhere, with its times, gives the same bytes, stamped
    // with its newest file's time or SOURCE_DATE_EPOCH.
    const fs::path copy = dir.Path() / "copy";
    EXPECT_EQ(UtcStamp(CopyWithTimes(medium, copy)), "20010203040506");
    EXPECT_EQ(root.created, "20010203040506");
    ASSERT_EQ(Run({"medium", "image", copy.string(), dir.File("copy.iso")}).exitCode, 0);
    EXPECT_TRUE(ReadAll(dir.File("copy.iso")) == bytes);
    setenv("SOURCE_DATE_EPOCH", "946684800", 1);
    ToolResult dated = Run({"medium", "image", "--label", "disc_1", copy.string(), image.string()});
    unsetenv("SOURCE_DATE_EPOCH");
    ASSERT_EQ(dated.exitCode, 0) << dated.output;
    EXPECT_EQ(ReadDiscRoot(ReadAll(image.string())).created, "20000101000000");
    EXPECT_EQ(ReadDiscRoot(ReadAll(image.string())).volumeId, "DISC_1");

    // A medium's own AUTORUN.INF is the disc's.
    WriteAll((copy / "autorun.inf").string(), Bytes("[autorun]\r\nopen=Setup.exe\r\n"));
    ASSERT_EQ(Run({"medium", "image", copy.string(), image.string()}).exitCode, 0);
    EXPECT_EQ(ReadDiscRoot(ReadAll(image.string())).joliet.at("autorun.inf;1"),
              Bytes("[autorun]\r\nopen=Setup.exe\r\n"));

    // Read back, the image tells what its folder tells.
    ToolResult fromImage = Run({"medium", "check", dir.File("copy.iso")});
    EXPECT_EQ(fromImage.exitCode, 0) << fromImage.output;
    EXPECT_EQ(fromImage.output, Replaced(Run({"medium", "check", medium.string()}).output,
                                         medium.string(), dir.File("copy.iso")));
    EXPECT_TRUE(NoTemporaryFilesBelow(dir.Path()));
}

TEST_F(MediumTest, BrokenImagesAndMediaWithFindingsAreRefused)
{
    const fs::path medium = CleanMedium("medium");
    const std::string good = dir.File("good.iso");
    ASSERT_EQ(Run({"medium", "image", medium.string(), good}).exitCode, 0);
    const std::vector<uint8_t> bytes = ReadAll(good);

    // A medium with findings makes no image, and an older image stays as it was.
    WriteAll((medium / "Setup.exe").string(), ReadAll(SetupOfBuild(2106)));
    const std::string older = dir.File("older.iso");
    WriteAll(older, {'o', 'l', 'd'});
    ToolResult refused = Run({"medium", "image", medium.string(), older});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(Holds(refused.output, "build 2105, the setup's is 2106")) << refused.output;
    EXPECT_TRUE(Holds(refused.output, "no image made")) << refused.output;
    EXPECT_EQ(ReadAll(older), (std::vector<uint8_t>{'o', 'l', 'd'}));
    const std::string forced = dir.File("forced.iso");
    ASSERT_EQ(Run({"medium", "image", "--force", medium.string(), forced}).exitCode, 0);

    // Neither inside the medium, nor of two files Windows takes for one, nor with a
    // time that is none.
    ToolResult inside = Run({"medium", "image", medium.string(), (medium / "x.iso").string()});
    EXPECT_EQ(inside.exitCode, 1);
    EXPECT_TRUE(Holds(inside.output, "inside the medium")) << inside.output;
    fs::create_directories(medium / "Docs");
    WriteAll((medium / "Docs" / "readme.txt").string(), {'a'});
    WriteAll((medium / "Docs" / "README.TXT").string(), {'b'});
    ToolResult twins = Run({"medium", "image", "--force", medium.string(), older});
    EXPECT_EQ(twins.exitCode, 1);
    EXPECT_TRUE(Holds(twins.output, "readme.txt: Windows takes it for README.TXT")) << twins.output;
    fs::remove_all(medium / "Docs");
    setenv("SOURCE_DATE_EPOCH", "yesterday", 1);
    ToolResult undated = Run({"medium", "image", "--force", medium.string(), older});
    unsetenv("SOURCE_DATE_EPOCH");
    EXPECT_EQ(undated.exitCode, 1);
    EXPECT_TRUE(Holds(undated.output, "SOURCE_DATE_EPOCH")) << undated.output;
    EXPECT_EQ(ReadAll(older), (std::vector<uint8_t>{'o', 'l', 'd'}));

    const struct
    {
        const char* what;
        std::vector<uint8_t> image;
        std::vector<std::string> expected;
    } cases[] = {
        {"truncated",
         std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2),
         {": image: the image holds", "cut short", "cannot be read from the disc image",
          "would fail at a customer's"}},
        {"cut inside its descriptors",
         std::vector<uint8_t>(bytes.begin(), bytes.begin() + 17 * kBlock),
         {"not a disc image that can be read"}},
        {"no image at all",
         ReadAll((medium / "PRCFG.PKG").string()),
         {"not a disc image that can be read"}},
        {"of a medium with findings",
         ReadAll(forced),
         {"PRAPPNT.PKG: build: build 2105, the setup's is 2106", "would fail at a customer's"}},
    };
    for (const auto& c : cases)
    {
        const std::string path = dir.File("broken.iso");
        WriteAll(path, c.image);
        ToolResult checked = Run({"medium", "check", path});
        EXPECT_EQ(checked.exitCode, 1) << c.what;
        for (const std::string& part : c.expected)
        {
            EXPECT_TRUE(Holds(checked.output, part)) << c.what << ": " << part << "\n"
                                                     << checked.output;
        }
    }
    EXPECT_FALSE(fs::exists(medium / "x.iso"));
    EXPECT_TRUE(NoTemporaryFilesBelow(dir.Path()));
}
#endif
