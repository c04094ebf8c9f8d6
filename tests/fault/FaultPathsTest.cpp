// Single failures placed where a test chooses: each error message the file step has, the
// boot-time requests with their exact flags and order, the restart, and every allocation
// while a package is read. The harness makes the chosen call fail.
#include "Fault.h"
#include "InstallTestSupport.h"
#include "framework/WindowGhosting.h"
#include "install/FileInstaller.h"
#include "install/FileReplacer.h"
#include "install/PackageTable.h"
#include "install/SpaceEstimate.h"
#include "install/TempFileRecord.h"
#include "package/PackageFile.h"
#include "TestRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

namespace
{
using namespace InstallTest;

bool WindowsNT()
{
    return std::string(KELVARIN_EXPECT_FAMILY) == "nt";
}

// Fails the `at`-th call of `api` alone, with `error` (0: a realistic one), while it runs `work`.
template <typename Work>
Fault::Stats FailingCall(Fault::Api api, uint64_t at, Work work, uint32_t error = 0)
{
    Fault::Plan plan;
    plan.mode = Fault::Plan::Mode::Fail;
    plan.apis = Fault::Bit(api);
    plan.at = at;
    plan.error = error;
    Fault::Arm(plan);
    work();
    return Fault::Disarm();
}

class FaultPaths : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(Fault::Install()); }

    FaultPaths() : m_scratch("faultpaths"), m_replacer(m_app.State()) {}

    // A package with one unversioned file, open; its target already holds a file.
    void OpenPackage()
    {
        ASSERT_TRUE(BuildPackage(m_scratch.File("TEST.PKG"), {FileItem("a.txt", "new content")}));
        ASSERT_TRUE(m_package.Open(m_scratch.File("TEST.PKG"), false));
        ASSERT_TRUE(WriteText(Target(), "old content"));
    }
    std::string Target() const { return m_scratch.File("a.txt"); }
    bool Replace()
    {
        return m_replacer.ReplaceFile(m_package, m_package.GetCatalog().GetEntry(0), 0, Target());
    }
    std::vector<std::string> Temporaries() const { return List(m_scratch.Path(), "$tmp*.tmp"); }

    CScratch m_scratch;
    CTestApp m_app;
    CFileReplacer m_replacer;
    CPackageFile m_package;
};

TEST_F(FaultPaths, EachFailureOfTheFileStepSaysWhyAndKeepsTheTarget)
{
    struct Case
    {
        const char* what;
        Fault::Api api;
        uint64_t at;
        uint32_t error;
        const char* message; // its start; the system's reason follows
        const char* content; // of the target afterwards
    };
    const Case cases[] = {
        {"flush", Fault::Api::FlushFileBuffers, 1, ERROR_DISK_FULL, "Write to file failed - ",
         "old content"},
        {"times", Fault::Api::SetFileTime, 1, ERROR_ACCESS_DENIED, "Write to file failed - ",
         "old content"},
        {"rename, target not in the way", Fault::Api::MoveFileA, 1, ERROR_ACCESS_DENIED,
         "Failed to rename a file - ", "old content"},
        {"temporary file", Fault::Api::CreateFileA, 1, ERROR_DISK_FULL,
         "Failed to create the temporary file \"", "old content"},
    };
    for (const Case& c : cases)
    {
        OpenPackage();
        m_app.shown.clear();
        const Fault::Stats stats = FailingCall(
            c.api, c.at, [&] { EXPECT_FALSE(Replace()) << c.what; }, c.error);
        m_package.Close();
        EXPECT_TRUE(stats.fired) << c.what;
        EXPECT_EQ(stats.firedError, c.error) << c.what;
        ASSERT_EQ(m_app.Texts().size(), 1u) << c.what;
        const std::string text = m_app.Texts()[0];
        EXPECT_EQ(text.rfind(c.message, 0), 0u) << text;
        EXPECT_NE(text.find(SystemText(c.error)), std::string::npos) << text;
        EXPECT_EQ(ReadText(Target()), c.content) << c.what;
        EXPECT_TRUE(Temporaries().empty()) << c.what;
    }
}

TEST_F(FaultPaths, ARenameThatFailsAfterTheDeleteMovesTheNewFileInAtBoot)
{
    OpenPackage();
    // The first rename meets the old file; the second, after the delete, fails.
    FailingCall(Fault::Api::MoveFileA, 2, [&] { EXPECT_FALSE(Replace()); });
    ASSERT_EQ(m_app.Texts().size(), 1u);
    EXPECT_EQ(m_app.Texts()[0].rfind(
                  "Rename to target file \"" + Target() + "\" failed after deletion - ", 0),
              0u)
        << m_app.Texts()[0];
    // The new content waits, complete, for its boot-time move.
    ASSERT_EQ(Temporaries().size(), 1u);
    EXPECT_EQ(ReadText(m_scratch.File(Temporaries()[0])), "new content");
    EXPECT_TRUE(m_app.State().m_bRestartNeeded);
    if (!WindowsNT())
    {
        ASSERT_EQ(m_app.State().m_renameList.size(), 1u);
        EXPECT_EQ(m_app.State().m_renameList[0].find("NUL="), std::string::npos);
    }
}

// When the move at boot cannot be arranged (NT: the request is refused; 9x: a folder without
// a short name, which the boot step cannot read), the only copy stays and is named, after
// the rename's own message.
TEST_F(FaultPaths, AnOnlyCopyThatCannotBeMovedAtBootIsKeptAndNamed)
{
    OpenPackage();
    Fault::Plan plan(Fault::Plan::Mode::Fail, 2, 0, Fault::Bit(Fault::Api::MoveFileA));
    plan.after = Fault::kAllApis;
    plan.thenApi = WindowsNT() ? Fault::Api::MoveFileExA : Fault::Api::GetShortPathNameA;
    plan.thenAt = 1;
    Fault::Arm(plan);
    EXPECT_FALSE(Replace());
    EXPECT_TRUE(Fault::Disarm().thenFired);
    ASSERT_EQ(Temporaries().size(), 1u);
    const std::string kept = m_scratch.File(Temporaries()[0]);
    const std::vector<std::string> texts = m_app.Texts();
    ASSERT_EQ(texts.size(), WindowsNT() ? 3u : 2u) << ::testing::PrintToString(texts);
    EXPECT_EQ(texts.front().rfind("Rename to target file \"" + Target() + "\"", 0), 0u);
    EXPECT_EQ(texts.back(), "The new file for \"" + Target() + "\" is kept as \"" + kept +
                                "\".  Rename it to \"" + Target() + "\" when Setup has ended.");
    EXPECT_EQ(ReadText(kept), "new content");
    EXPECT_TRUE(m_app.State().m_renameList.empty());
}

TEST_F(FaultPaths, FileInfoFailureIsToldAndTheQuestionStillAsked)
{
    OpenPackage();
    std::vector<std::string> questions;
    CFileInstaller installer(m_app.State(), m_replacer,
                             [&](const std::string& question)
                             {
                                 questions.push_back(question);
                                 return ReplaceRules::Answer::Yes;
                             });
    FailingCall(
        Fault::Api::FindFirstFileA, 1,
        [&] {
            EXPECT_TRUE(
                installer.InstallFile(m_package, m_package.GetCatalog().GetEntry(0), 0, Target()));
        },
        ERROR_ACCESS_DENIED);
    ASSERT_EQ(m_app.Texts().size(), 1u);
    EXPECT_EQ(m_app.Texts()[0], "Failed retrieving file information for \"" + Target() + "\" - " +
                                    SystemText(ERROR_ACCESS_DENIED));
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_NE(questions[0].find("modified 01/01/1601 00:00:00"), std::string::npos) << questions[0];
    EXPECT_EQ(ReadText(Target()), "new content");
}

class FaultPathsInUse : public FaultPaths
{
protected:
    void SetUp() override
    {
        OpenPackage();
        m_holder.reset(new CFileHolder(Target()));
        ASSERT_TRUE(m_holder->IsHolding());
    }
    void TearDown() override
    {
        m_holder.reset();
        TestRegistry::DeleteValue(kSessionManager, "PendingFileRenameOperations");
    }
    static std::string PendingRenames()
    {
        DWORD type = 0;
        std::vector<BYTE> data;
        TestRegistry::ReadRaw(kSessionManager, "PendingFileRenameOperations", type, data);
        return std::string(data.begin(), data.end());
    }
    static constexpr const char* kSessionManager =
        "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    std::unique_ptr<CFileHolder> m_holder;
};

TEST_F(FaultPathsInUse, OneBootRequestReplacesTheOldFileInOneStep)
{
    if (!WindowsNT())
    {
        GTEST_SKIP() << "the 9x family writes WININIT.INI instead";
    }
    TestRegistry::DeleteValue(kSessionManager, "PendingFileRenameOperations");
    Fault::Arm({});
    EXPECT_TRUE(Replace());
    Fault::Disarm();
    std::vector<Fault::Change> requests;
    for (const Fault::Change& change : Fault::Changes())
    {
        if (change.api == Fault::Api::MoveFileExA)
        {
            requests.push_back(change);
        }
    }
    // The request names its source, then its target: no delete of its own, so that no
    // failure can leave the old file deleted at boot with nothing in its place.
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].path.find(m_scratch.Path() + "\\$tmp"), 0u);
    EXPECT_EQ(requests[1].path, Target());
    for (const Fault::Change& request : requests)
    {
        EXPECT_EQ(request.flags,
                  static_cast<uint32_t>(MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    }
    EXPECT_TRUE(m_app.State().m_bRestartNeeded);
}

TEST_F(FaultPathsInUse, ARefusedBootRequestLeavesTheOldFileAndNoTemporaryOne)
{
    if (!WindowsNT())
    {
        GTEST_SKIP() << "the 9x family writes WININIT.INI instead";
    }
    TestRegistry::DeleteValue(kSessionManager, "PendingFileRenameOperations");
    const Fault::Stats stats =
        FailingCall(Fault::Api::MoveFileExA, 1, [&] { EXPECT_TRUE(Replace()); });
    ASSERT_EQ(m_app.Texts().size(), 1u);
    EXPECT_EQ(m_app.Texts()[0],
              "Failed to schedule a boot-time file replacement - " + SystemText(stats.firedError));
    // Nothing happens to the old file at boot, and nothing waits for a move.
    EXPECT_EQ(PendingRenames().find(Target()), std::string::npos);
    EXPECT_TRUE(Temporaries().empty());
}

TEST_F(FaultPaths, WininitThatCannotBeWrittenStaysAsItWasAndTheFilesGo)
{
    if (WindowsNT())
    {
        GTEST_SKIP() << "WININIT.INI is the 9x family's";
    }
    const std::string wininit = m_app.State().m_strWindowsFolder + "\\WININIT.INI";
    const std::string before = "[rename]\r\nNUL=C:\\KEEP.DLL\r\n";
    for (Fault::Api api : {Fault::Api::ReadFile, Fault::Api::WriteFile})
    {
        ASSERT_TRUE(WriteText(wininit, before));
        ASSERT_TRUE(WriteText(m_scratch.File("$tmp0001.tmp"), "new"));
        ASSERT_TRUE(WriteText(m_scratch.File("b.dll"), "in use"));
        m_app.shown.clear();
        m_app.State().m_renameList.clear();
        m_replacer.ScheduleBootReplace(m_scratch.File("$tmp0001.tmp"), m_scratch.File("b.dll"));
        FailingCall(api, 1, [&] { m_replacer.WriteWininit(); });
        EXPECT_EQ(ReadText(wininit), before) << Fault::Name(api);
        ASSERT_EQ(m_app.Texts().size(), 1u) << Fault::Name(api);
        EXPECT_EQ(m_app.Texts()[0].rfind("Failed to create WININIT.INI system file - ", 0), 0u);
        EXPECT_TRUE(m_app.State().m_renameList.empty());
        EXPECT_TRUE(Temporaries().empty()) << Fault::Name(api);
    }
    DeleteFileA(wininit.c_str());
}

// A temporary file of a run cut short, recorded, that a boot-time move waits for as the only
// copy of its file: while the boot-time list cannot be read, the clean-up cannot know that,
// and keeps it and its record for a later run, whichever of the reads fails.
TEST_F(FaultPaths, TheCleanUpKeepsWhatItCannotProveStrayWhileTheBootListCannotBeRead)
{
    const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    const std::string wininit = m_app.State().m_strWindowsFolder + "\\WININIT.INI";
    const std::string temporary = m_scratch.File("$tmp0001.tmp");
    const std::string target = m_scratch.File("a.dll");
    ASSERT_TRUE(WriteText(temporary, "new"));
    if (WindowsNT())
    {
        TestRegistry::DeleteValue(kSessionManager, "PendingFileRenameOperations");
        ASSERT_TRUE(MoveFileExA(temporary.c_str(), target.c_str(),
                                MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    }
    else
    {
        char shortFolder[MAX_PATH] = "";
        ASSERT_NE(GetShortPathNameA(m_scratch.Path().c_str(), shortFolder, MAX_PATH), 0u);
        ASSERT_TRUE(WriteText(wininit, std::string("[rename]\r\n") + shortFolder +
                                           "\\a.dll=" + shortFolder + "\\$tmp0001.tmp\r\n"));
    }
    auto recorded = [&]
    {
        const std::vector<std::string> paths = TempFileRecord::Paths();
        return std::find(paths.begin(), paths.end(), temporary) != paths.end();
    };
    const std::vector<Fault::Api> reads =
        WindowsNT()
            ? std::vector<Fault::Api>{Fault::Api::MultiByteToWideChar, Fault::Api::RegOpenKeyExA,
                                      Fault::Api::RegQueryValueExW}
            : std::vector<Fault::Api>{Fault::Api::MultiByteToWideChar, Fault::Api::CreateFileA,
                                      Fault::Api::ReadFile};
    for (Fault::Api api : reads)
    {
        bool fired = true;
        for (uint64_t at = 1; fired; ++at)
        {
            TempFileRecord::Add(temporary);
            fired = FailingCall(api, at, [&] { m_replacer.RemoveLeftovers(); }).fired;
            EXPECT_TRUE(Exists(temporary)) << Fault::Name(api) << " " << at;
            EXPECT_TRUE(recorded() || !fired) << Fault::Name(api) << " " << at;
            EXPECT_TRUE(fired || at > 1) << Fault::Name(api) << " is no read of the clean-up";
        }
    }
    // Read, the list says the system moves the file at boot: only the record goes.
    EXPECT_TRUE(Exists(temporary));
    EXPECT_FALSE(recorded());
    TestRegistry::DeleteValue(kSessionManager, "PendingFileRenameOperations");
    DeleteFileA(wininit.c_str());
}

// The check and the install read the packages with no message loop: where user32 has the
// switch, the start-up turns off the "Not Responding" marking; 98 has none, and never marks.
TEST_F(FaultPaths, NotRespondingIsTurnedOffWhereTheSystemHasTheSwitch)
{
    Fault::Arm(Fault::Plan(Fault::Plan::Mode::Count, 0, 0,
                           Fault::Bit(Fault::Api::DisableProcessWindowsGhosting) |
                               Fault::Bit(Fault::Api::GetProcAddress)));
    EXPECT_EQ(WindowGhosting::TurnOff(), WindowsNT());
    const Fault::Stats stats = Fault::Disarm();
    EXPECT_EQ(stats.perApi[static_cast<int>(Fault::Api::DisableProcessWindowsGhosting)],
              WindowsNT() ? 1u : 0u);
    EXPECT_EQ(stats.perApi[static_cast<int>(Fault::Api::GetProcAddress)], 1u);
}

// The space question with the system's figures faked: the install folder lies on a volume
// mounted on a folder of C: (64 KB clusters, 0.5 MB granted), the system folder on C: itself
// (4 KB clusters, 1 MB granted); 98 knows no mounted volume and judges C: for both. Each package
// writes one file of 600,000 bytes. A damaged package gives no question: the check names it.
TEST_F(FaultPaths, TheSpaceQuestionNamesTheVolumeJudgedAndItsFigures)
{
    const std::string medium = m_scratch.File("medium") + "\\";
    const std::string mount = m_scratch.File("mount");
    for (const std::string& folder : {medium, mount, m_scratch.File("system")})
    {
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
    }
    m_app.State().m_strSourceFolder = medium;
    m_app.State().m_strSystemFolder = m_scratch.File("system");
    m_app.answer = IDYES;
    const auto question = [](const std::string& volume, const char* needed, const char* free)
    {
        return "There may not be enough free space on " + volume +
               " for this installation: it needs " + needed + " MB, and " + free +
               " MB are free.\n\nDo you wish to install anyway?";
    };
    const std::vector<std::string> asked =
        WindowsNT()
            ? std::vector<std::string>{question("C:", "1.2", "1.0"), question(mount, "6.3", "0.5")}
            : std::vector<std::string>{question("C:", "6.4", "1.0")};
    const auto placements =
        PackageTable::Placements(WindowsNT(), mount + "\\Nimbus", m_app.State().m_strSystemFolder);
    const auto damage =
        [&](const std::string& name, const std::function<void(std::vector<uint8_t>&)>& how)
    {
        return [=]
        {
            std::vector<uint8_t> bytes = ReadBytes(medium + name);
            how(bytes);
            return WriteText(medium + name, std::string(bytes.begin(), bytes.end()));
        };
    };
    const struct
    {
        const char* what;
        std::function<bool()> damage;
        std::vector<std::string> asked;
    } cases[] = {
        {"an intact medium", [] { return true; }, asked},
        // Its first entry's unpacked size, 3144 bytes into the catalog.
        {"a catalog claiming more than its package could hold",
         damage(placements[2].package,
                [](std::vector<uint8_t>& bytes)
                {
                    uint32_t catalog = 0;
                    std::memcpy(&catalog, &bytes[16], 4);
                    std::memset(&bytes[catalog + 3144], 0xFF, 4);
                }),
         {}},
        {"a catalog cut short",
         damage(placements[3].package, [](std::vector<uint8_t>& bytes) { bytes.pop_back(); }),
         {}},
    };
    Fault::FakeVolumes({{"C:\\", 1024 * 1024, 4096}, {mount + "\\", 512 * 1024, 65536}});
    for (const auto& c : cases)
    {
        for (const auto& p : placements)
        {
            EXPECT_TRUE(
                BuildPackage(medium + p.package, {FileItem("file.dat", std::string(600000, 'x'))}));
        }
        EXPECT_TRUE(c.damage()) << c.what;
        m_app.shown.clear();
        EXPECT_TRUE(m_app.ConfirmSpace(nullptr, mount + "\\Nimbus")) << c.what;
        EXPECT_EQ(m_app.Texts(), c.asked) << c.what;
    }
    Fault::FakeVolumes({});
}

TEST_F(FaultPaths, TheRestartFollowsTheAnswerAndSaysWhenItIsRefused)
{
    struct Case
    {
        int answer;
        bool refused;
        std::vector<std::string> shown;
        bool restarts;
    };
    const std::string question =
        "Setup must now restart your computer.  Do you wish to restart now?";
    const std::string refusedText =
        "Setup was unable to restart your computer.  You should manually "
        "restart your computer as soon as possible.";
    const Case cases[] = {
        {IDYES, false, {question}, true},
        {IDNO, false, {question}, false},
        {IDYES, true, {question, refusedText}, true},
    };
    for (const Case& c : cases)
    {
        m_app.shown.clear();
        m_app.answer = c.answer;
        m_app.State().m_bRestartNeeded = true;
        Fault::Plan plan;
        if (c.refused)
        {
            plan.mode = Fault::Plan::Mode::Fail;
            plan.apis = Fault::Bit(Fault::Api::ExitWindowsEx);
            plan.at = 1;
        }
        Fault::Arm(plan);
        m_app.FinishInstall();
        Fault::Disarm();
        EXPECT_EQ(m_app.Texts(), c.shown);
        EXPECT_EQ(m_app.shown[0].type, static_cast<UINT>(MB_YESNO | MB_ICONHAND));
        std::vector<std::string> calls;
        for (const Fault::Change& change : Fault::Changes())
        {
            calls.push_back(std::string(Fault::Name(change.api)) + ":" + change.path + ":" +
                            std::to_string(change.flags));
        }
        std::vector<std::string> expected;
        if (c.restarts && WindowsNT())
        {
            expected = {"OpenProcessToken::40", "LookupPrivilegeValueA:SeShutdownPrivilege:0",
                        "AdjustTokenPrivileges:SeShutdownPrivilege:2"};
        }
        if (c.restarts)
        {
            expected.push_back("ExitWindowsEx::6");
        }
        EXPECT_EQ(calls, expected) << c.answer;
    }
    // Without a boot-time replacement: the closing message, and no question.
    m_app.shown.clear();
    m_app.State().m_bRestartNeeded = false;
    m_app.FinishInstall();
    EXPECT_EQ(m_app.Texts(), std::vector<std::string>{
                                 "Installation is complete.  Thank you for installing Ardent"});
}
} // namespace
