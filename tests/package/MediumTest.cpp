// pkgtool's medium build, check and image from the outside: a medium made from a
// staging tree, one broken medium for every way an install would fail, and the
// medium's disc image read back by the format alone and by medium check.

#include <gtest/gtest.h>

#include <functional>
#include <map>

#ifndef _WIN32
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <sys/time.h>
#include <ctime>
#endif

#include "PkgtoolRun.h"
#include "TestSupport.h"
#include "package/PackageFile.h"
#include "package/PeResources.h"

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
        PeOptions options;
        options.recordRoom = RecordRoom();
        WriteAll(path,
                 PeImage(VersionBlock(0x00010000u, build << 16, {u"040904b0"},
                                      {{u"CompanyName", u"Pellmor"}, {u"ProductName", u"Ardent"}},
                                      0x04B00409u),
                         options));
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

size_t RoomOffset(const std::vector<uint8_t>& setup)
{
    const std::string magic = "KVPKGREC";
    return static_cast<size_t>(std::search(setup.begin(), setup.end(), magic.begin(), magic.end()) -
                               setup.begin());
}

// Whether the checksum field holds what the system's image helper computes (the
// package tests hold PeResources to it).
bool ChecksumIsRight(const std::vector<uint8_t>& image)
{
    const uint32_t checksumAt = Get32(image, 0x3C) + 24 + 64;
    return Get32(image, checksumAt) ==
           PeResources::Checksum(image.data(), image.size(), checksumAt);
}

#ifndef _WIN32
// A throwaway authority and the code-signing certificate it issued, made with openssl.
struct Signer
{
    std::string ca;     // the authority's certificate, PEM
    std::string cert;   // the signer's, PEM
    std::string key;    // its key, PEM, no password
    std::string pkcs12; // both, under kPkcs12Password
};
const char kPkcs12Password[] = "pw-never-on-a-command-line";

Signer MakeSigner(const fs::path& folder, const std::string& stem, const std::string& name)
{
    const std::string base = (folder / stem).string();
    const std::string quiet = " >/dev/null 2>&1";
    Signer s{base + "-ca.pem", base + ".pem", base + ".key", base + ".p12"};
    const std::string commands[] = {
        "openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj '/CN=" + name +
            " CA' -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign "
            "-keyout " +
            base + "-ca.key -out " + s.ca,
        "openssl req -newkey rsa:2048 -nodes -subj '/CN=" + name + "/O=Pellmor' -keyout " + s.key +
            " -out " + base + ".csr",
        "printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
        "extendedKeyUsage=codeSigning\n' > " +
            base + ".ext",
        "openssl x509 -req -days 30 -in " + base + ".csr -CA " + s.ca + " -CAkey " + base +
            "-ca.key -CAcreateserial -extfile " + base + ".ext -out " + s.cert,
        "openssl pkcs12 -export -inkey " + s.key + " -in " + s.cert + " -out " + s.pkcs12 +
            " -passout pass:" + kPkcs12Password,
    };
    for (const std::string& command : commands)
    {
        EXPECT_EQ(std::system((command + quiet).c_str()), 0) << command;
    }
    return s;
}

// Whether a process runs; one that has ended but is not reaped yet does not.
bool Runs(int pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t name = line.rfind(')');
    return name != std::string::npos && name + 2 < line.size() && line[name + 2] != 'Z';
}

// Two signers of two authorities, made once for the whole test program.
const std::pair<Signer, Signer>& Signers()
{
    static ScratchDir folder;
    static const std::pair<Signer, Signer> signers = {
        MakeSigner(folder.Path(), "ours", "Kelvarin test signer"),
        MakeSigner(folder.Path(), "another", "Another signer")};
    return signers;
}

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
                                               {"medium", "sign", "--help"},
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
        {"medium", "sign", "a"},
        {"medium", "sign", "--cert", "c.pem", "a"},
        {"medium", "sign", "--pkcs12", "p.p12", "--key", "k.pem", "a"},
        {"medium", "sign", "--pkcs12", "p.p12"},
    };
    for (const auto& args : wrong)
    {
        EXPECT_EQ(Run(args).exitCode, 2) << args.back();
    }
#ifdef _WIN32
    ToolResult image = Run({"medium", "image", dir.File("a"), dir.File("a.iso")});
    EXPECT_EQ(image.exitCode, 2);
    EXPECT_TRUE(Holds(image.output, "not in this build")) << image.output;
    ToolResult sign = Run({"medium", "sign", "--pkcs12", dir.File("a.p12"), dir.File("a")});
    EXPECT_EQ(sign.exitCode, 2);
    EXPECT_TRUE(Holds(sign.output, "not in this build")) << sign.output;
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
    // The setup's copy records each package's name and size in its room, with its checksum
    // set right; nothing else of it changes.
    const std::vector<uint8_t> given = ReadAll(SetupOfBuild(2105));
    const std::vector<uint8_t> copied = ReadAll((out / "Setup.exe").string());
    const size_t room = RoomOffset(given);
    const uint32_t checksumAt = Get32(given, 0x3C) + 24 + 64;
    ASSERT_EQ(copied.size(), given.size());
    size_t changedElsewhere = 0;
    for (size_t i = 0; i < given.size(); ++i)
    {
        const bool mayChange =
            (i >= room && i < room + 4096) || (i >= checksumAt && i < checksumAt + 4);
        changedElsewhere += !mayChange && given[i] != copied[i];
    }
    EXPECT_EQ(changedElsewhere, 0u);
    EXPECT_TRUE(ChecksumIsRight(copied));
    ASSERT_EQ(Get32(copied, room + 12), 12u);
    for (size_t row = 0; row < 12; ++row)
    {
        const size_t at = room + 16 + 64 * row;
        const std::string name(reinterpret_cast<const char*>(&copied[at]));
        EXPECT_EQ(Get32(copied, at + 16), fs::file_size(out / name)) << name;
    }
    EXPECT_TRUE(Holds(built.output, "Setup.exe: a record of 12 packages")) << built.output;
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
    EXPECT_TRUE(Holds(checked.output, "Setup.exe: a record of 12 packages")) << checked.output;
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
    const auto cut = [](const char* package)
    {
        return Break(
            [=](const fs::path& medium)
            {
                std::vector<uint8_t> bytes = ReadAll((medium / package).string());
                bytes.resize(bytes.size() / 2);
                WriteAll((medium / package).string(), bytes);
            });
    };
    const auto swap = [](const char* a, const char* b)
    {
        return Break(
            [=](const fs::path& medium)
            {
                fs::rename(medium / a, medium / "swap");
                fs::rename(medium / b, medium / a);
                fs::rename(medium / "swap", medium / b);
            });
    };
    // The record's first row (SYSDLL95.PKG's): `at` bytes into it, changed in Setup.exe.
    const auto patchRecord = [](size_t at)
    {
        return Break(
            [=](const fs::path& medium)
            {
                std::vector<uint8_t> bytes = ReadAll((medium / "Setup.exe").string());
                bytes.at(RoomOffset(bytes) + 16 + at) ^= 1;
                WriteAll((medium / "Setup.exe").string(), bytes);
            });
    };
    // A Setup.exe cut inside its record's room: the room's header says more than is there.
    const Break cutInRecord = [](const fs::path& medium)
    {
        std::vector<uint8_t> bytes = ReadAll((medium / "Setup.exe").string());
        bytes.resize(RoomOffset(bytes) + 64);
        WriteAll((medium / "Setup.exe").string(), bytes);
    };
#ifndef _WIN32
    const Signer& signer = Signers().first;
    const std::vector<std::string> withCa = {"--ca", signer.ca};
    const auto signedBy = [this](const Signer& by, Break then)
    {
        return Break(
            [=](const fs::path& medium)
            {
                ToolResult made =
                    Run({"medium", "sign", "--cert", by.cert, "--key", by.key, medium.string()});
                ASSERT_EQ(made.exitCode, 0) << made.output;
                if (then)
                {
                    then(medium);
                }
            });
    };
    // The record's room: the byte `at` into it set to `value`, and `name` into a 13th row.
    const auto setRoom = [](size_t at, uint8_t value, const std::string& name)
    {
        return Break(
            [=](const fs::path& medium)
            {
                std::vector<uint8_t> bytes = ReadAll((medium / "Setup.exe").string());
                bytes.at(RoomOffset(bytes) + at) = value;
                std::copy(name.begin(), name.end(),
                          bytes.begin() + RoomOffset(bytes) + 16 + 64 * 12);
                WriteAll((medium / "Setup.exe").string(), bytes);
            });
    };
    // Signed by osslsigncode itself after `first`, as a setup may be signed before it is put on
    // a medium by hand (medium sign refuses to sign these).
    const auto signedAfter = [signer](Break first)
    {
        return Break(
            [=](const fs::path& medium)
            {
                first(medium);
                const std::string setup = (medium / "Setup.exe").string();
                ASSERT_EQ(std::system(("osslsigncode sign -h sha256 -certs " + signer.cert +
                                       " -key " + signer.key + " -in " + setup + " -out " + setup +
                                       ".signed >/dev/null && mv " + setup + ".signed " + setup)
                                          .c_str()),
                          0);
            });
    };
    const std::vector<std::string> vouching = {"--require-signature", "--ca", signer.ca};
#endif
    const struct
    {
        const char* rule;
        Staging staging;
        Break breakIt;
        uint32_t setupBuild;
        std::vector<std::string> expected;
        std::vector<std::string> options = {}; // of medium check
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
        {"record",
         SampleStaging(),
         cut("PRLEX.PKG"),
         2105,
         {"PRLEX.PKG: record: ", "bytes, the record in Setup.exe says", "20132 [9x, NT]"}},
        {"setup", SampleStaging(), cutInRecord, 2105, {"Setup.exe: setup: "}},
        // The same size and CRC-32: only SHA-256 tells it.
        {"record",
         SampleStaging(),
         [](const fs::path& medium)
         {
             std::vector<uint8_t> bytes = ReadAll((medium / "PRCFG.PKG").string());
             ChangeKeepingCrc32(bytes, 100);
             WriteAll((medium / "PRCFG.PKG").string(), bytes);
         },
         2105,
         {"PRCFG.PKG: record: its content is not the one recorded in Setup.exe (SHA-256):",
          "20134"}},
        {"leftover",
         SampleStaging(),
         replace("Setup.exe.pkgtool-4242-0.tmp", {'M', 'Z'}),
         2105,
         {"Setup.exe.pkgtool-4242-0.tmp: leftover: a temporary file of pkgtool"}},
        // Only the systems without SHA-256 would see it.
        {"record",
         SampleStaging(),
         patchRecord(20),
         2105,
         {"SYSDLL95.PKG: record: ", "(CRC-32, which systems without SHA-256 compare)", "20134"}},
        {"record",
         SampleStaging(),
         swap("PRCFG.PKG", "PRUSB.PKG"),
         2105,
         {"PRCFG.PKG: record: ", "PRUSB.PKG: record: ", "20133", "20132"}},
#ifndef _WIN32
        // A byte no reader looks at, changed after the medium was signed: only the record sees it.
        {"record",
         SampleStaging(),
         signedBy(signer, patch("PRCFG.PKG", 100, 0x01)),
         2105,
         {"PRCFG.PKG: record: its content is not the one recorded in Setup.exe", "20134",
          "the signature verifies against"},
         withCa},
        {"signature",
         SampleStaging(),
         signedBy(Signers().second, nullptr),
         2105,
         {"Setup.exe: signature: signed by CN=Another signer, O=Pellmor, but the signature does "
          "not verify against",
          "unable to get local issuer certificate"},
         withCa},
        {"signature",
         SampleStaging(),
         nullptr,
         2105,
         {"Setup.exe: signature: not signed, and --require-signature asks"},
         {"--require-signature"}},
        // A signature vouches for the packages only through a record of them.
        {"record",
         SampleStaging(),
         signedAfter(replace("Setup.exe", PeImage(VersionBlock(0x00010000u, 2105u << 16,
                                                               {u"040904b0"}, {}, 0x04B00409u)))),
         2105,
         {"Setup.exe: record: no room for a record of its packages"},
         vouching},
        {"record",
         SampleStaging(),
         signedAfter(setRoom(12, 0, "")),
         2105,
         {"Setup.exe: record: an empty record of its packages"},
         vouching},
        {"record",
         SampleStaging(),
         signedAfter(setRoom(12, 13, "EXTRA.PKG")),
         2105,
         {"EXTRA.PKG: record: recorded in Setup.exe, but not a package on the medium"},
         vouching},
        // The record is part of what the signature covers; a change is damage even where
        // no authority is named.
        {"signature",
         SampleStaging(),
         signedBy(signer, patchRecord(24)),
         2105,
         {"Setup.exe: signature: ", "changed after it was signed", "SYSDLL95.PKG: record: "}},
#endif
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
        std::vector<std::string> check = {"medium", "check"};
        check.insert(check.end(), c.options.begin(), c.options.end());
        check.push_back(medium.string());
        ToolResult checked = Run(check);
        EXPECT_EQ(checked.exitCode, 1) << checked.output;
        for (const std::string& part : c.expected)
        {
            EXPECT_TRUE(Holds(checked.output, part)) << part << "\n" << checked.output;
        }
        EXPECT_TRUE(Holds(checked.output, "would fail at a customer's")) << checked.output;
        check.insert(check.begin() + 2, "--json");
        ToolResult json = Run(check);
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
TEST_F(MediumTest, SignsInPlaceWithThePasswordOffEveryCommandLine)
{
    const Signer& signer = Signers().first;
    const fs::path medium = CleanMedium("medium");
    const std::string setup = (medium / "Setup.exe").string();
    // osslsigncode as pkgtool finds it, behind a stand-in that logs its command lines and, when
    // asked, has pkgtool interrupted once the signed copy is written.
    const fs::path bin = dir.Path() / "bin";
    const std::string log = dir.File("command-lines.txt");
    const std::string path = std::getenv("PATH");
    fs::create_directories(bin);
    // Asked to (KELVARIN_STOP), it hangs instead: it has pkgtool stopped (or killed), begins
    // the copy, sleeps, writes the copy later and sleeps on; or it fails halfway (FAIL).
    const std::string pidFile = dir.File("osslsigncode.pid");
    WriteAll(
        (bin / "osslsigncode").string(),
        Bytes("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + log +
              "'\nif [ -n \"$KELVARIN_STOP\" ]; then\n  echo $$ > '" + pidFile +
              "'\n  for a in \"$@\"; do [ \"$last\" = -out ] && out=$a; last=$a; done\n"
              "  [ $KELVARIN_STOP = KILL ] || : > \"$out\"\n  [ $KELVARIN_STOP = FAIL ] && exit 1\n"
              "  [ -n \"$KELVARIN_DEAF\" ] && trap '' TERM\n"
              "  kill -$KELVARIN_STOP $PPID; sleep 1; : > \"$out\"; exec sleep 30\nfi\nPATH='" +
              path +
              "' osslsigncode \"$@\"\nmade=$?\n[ -n \"$KELVARIN_INTERRUPT\" ] && kill -INT "
              "$PPID\nexit $made\n"));
    fs::permissions(bin / "osslsigncode", fs::perms::owner_all);
    setenv("PATH", (bin.string() + ":" + path).c_str(), 1);
    const auto signWith = [&](const char* password, std::vector<std::string> extra)
    {
        setenv("PKGTOOL_SIGN_PASSWORD", password, 1);
        std::vector<std::string> args = {"medium", "sign", "--pkcs12", signer.pkcs12};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(medium.string());
        ToolResult result = Run(args);
        unsetenv("PKGTOOL_SIGN_PASSWORD");
        return result;
    };

    // A wrong password, a time-stamp server that does not answer, or Ctrl-C: the medium stays
    // as it was, and so do the permissions of its setup.
    fs::permissions(setup, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const std::vector<uint8_t> before = ReadAll(setup);
    setenv("KELVARIN_INTERRUPT", "1", 1);
    EXPECT_NE(signWith(kPkcs12Password, {}).exitCode, 0);
    unsetenv("KELVARIN_INTERRUPT");
    EXPECT_TRUE(ReadAll(setup) == before);
    EXPECT_TRUE(NoTemporaryFilesBelow(medium));
    for (const auto& failing : std::vector<std::pair<const char*, std::vector<std::string>>>{
             {"not the password", {}}, {kPkcs12Password, {"--timestamp", "http://127.0.0.1:9"}}})
    {
        ToolResult refused = signWith(failing.first, failing.second);
        EXPECT_EQ(refused.exitCode, 1) << refused.output;
        EXPECT_TRUE(Holds(refused.output, "the medium is as it was")) << refused.output;
        EXPECT_TRUE(ReadAll(setup) == before);
        EXPECT_TRUE(NoTemporaryFilesBelow(medium));
    }
    // A medium whose packages are not those its setup records is not signed.
    const std::vector<uint8_t> package = ReadAll((medium / "PRCFG.PKG").string());
    WriteAll((medium / "PRCFG.PKG").string(), Bytes("other"));
    ToolResult mismatched = signWith(kPkcs12Password, {});
    EXPECT_EQ(mismatched.exitCode, 1);
    EXPECT_TRUE(Holds(mismatched.output, "PRCFG.PKG: 5 bytes, the record in Setup.exe says"))
        << mismatched.output;
    EXPECT_TRUE(ReadAll(setup) == before);
    WriteAll((medium / "PRCFG.PKG").string(), package);

    // A stop while osslsigncode hangs (as on a time-stamp server that never answers) ends it
    // within seconds, even one deaf to SIGTERM; killed, pkgtool takes osslsigncode with it.
    // A test run in the background of a script starts with Ctrl-C ignored, which pkgtool keeps.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
    const struct
    {
        std::string stop;
        bool deaf; // to SIGTERM
        const char* said;
    } stops[] = {{"TERM", false, "signing was stopped, and the medium is as it was"},
                 {"INT", true, "signing was stopped"},
                 {"HUP", false, "signing was stopped"},
                 {"FAIL", false, "osslsigncode could not sign it, and the medium is as it was"},
                 {"KILL", false, ""}};
    for (const auto& stop : stops)
    {
        SCOPED_TRACE(stop.stop);
        setenv("KELVARIN_STOP", stop.stop.c_str(), 1);
        setenv("KELVARIN_DEAF", stop.deaf ? "1" : "", 1);
        const auto start = std::chrono::steady_clock::now();
        ToolResult stopped = signWith(kPkcs12Password, {});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        unsetenv("KELVARIN_STOP");
        EXPECT_NE(stopped.exitCode, 0);
        EXPECT_TRUE(Holds(stopped.output, stop.said)) << stopped.output;
        if (stop.stop == "KILL")
        {
            std::this_thread::sleep_for(std::chrono::seconds(2)); // past its late write
        }
        const std::vector<uint8_t> pid = ReadAll(pidFile);
        EXPECT_FALSE(Runs(std::stoi(std::string(pid.begin(), pid.end()))));
        EXPECT_TRUE(ReadAll(setup) == before);
        EXPECT_TRUE(NoTemporaryFilesBelow(medium));
    }

    ToolResult signedRun = signWith(kPkcs12Password, {});
    setenv("PATH", path.c_str(), 1);
    ASSERT_EQ(signedRun.exitCode, 0) << signedRun.output;
    EXPECT_TRUE(Holds(signedRun.output, "signed by CN=Kelvarin test signer, O=Pellmor, SHA-256"))
        << signedRun.output;
    const std::vector<uint8_t> logged = ReadAll(log);
    const std::string lines(logged.begin(), logged.end());
    EXPECT_TRUE(Holds(lines, "-pkcs12")) << lines;
    EXPECT_FALSE(Holds(lines, kPkcs12Password)) << lines;
    EXPECT_TRUE(ChecksumIsRight(ReadAll(setup)));
    EXPECT_EQ(fs::status(setup).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    ToolResult checked =
        Run({"medium", "check", "--require-signature", "--ca", signer.ca, medium.string()});
    EXPECT_EQ(checked.exitCode, 0) << checked.output;
    EXPECT_TRUE(Holds(checked.output, "Setup.exe: signed by CN=Kelvarin test signer, O=Pellmor; "
                                      "the signature verifies against " +
                                          signer.ca))
        << checked.output;
    // The signed medium is imaged as it is.
    ASSERT_EQ(Run({"medium", "image", medium.string(), dir.File("signed.iso")}).exitCode, 0);
    EXPECT_TRUE(ReadDiscRoot(ReadAll(dir.File("signed.iso"))).joliet.at("Setup.exe;1") ==
                ReadAll(setup));
    EXPECT_TRUE(NoTemporaryFilesBelow(dir.Path()));
}

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

    // A medium with findings makes no image, and an older image stays as it was; so does one
    // that holds what an ended medium sign left.
    WriteAll((medium / "Setup.exe").string(), ReadAll(SetupOfBuild(2106)));
    WriteAll((medium / "Setup.exe.pkgtool-4242-0.tmp").string(), {'M', 'Z'});
    const std::string older = dir.File("older.iso");
    WriteAll(older, {'o', 'l', 'd'});
    ToolResult refused = Run({"medium", "image", medium.string(), older});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(Holds(refused.output, "build 2105, the setup's is 2106")) << refused.output;
    EXPECT_TRUE(Holds(refused.output, "no image made")) << refused.output;
    EXPECT_TRUE(Holds(refused.output, "Setup.exe.pkgtool-4242-0.tmp: leftover:")) << refused.output;
    EXPECT_EQ(ReadAll(older), (std::vector<uint8_t>{'o', 'l', 'd'}));
    const std::string forced = dir.File("forced.iso");
    ASSERT_EQ(Run({"medium", "image", "--force", medium.string(), forced}).exitCode, 0);
    fs::remove(medium / "Setup.exe.pkgtool-4242-0.tmp");

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
         {"PRAPPNT.PKG: build: build 2105, the setup's is 2106",
          "Setup.exe.pkgtool-4242-0.tmp: leftover:", "would fail at a customer's"}},
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
