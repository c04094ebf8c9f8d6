// The install folder's guard on this machine, for the path dialog and for the uninstall:
// each kind of folder of Windows and of its users, and the links that lead to one.
#include "Fault.h"
#include "TestApp.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "install/InstallFolderGuard.h"
#include "install/PathNames.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace
{
using InstallFolderRules::Verdict;

const char kScratch[] = "C:\\FolderGuardTest";
const char kSentinel[] = "\\KelvarinGuardSentinel.txt";

enum class Kind
{
    Windows,
    System,
    ProgramFiles,
    Profile, // the profile the environment names, made a scratch folder
    ShellFolder,
    AllUsers,
    LinkToProfile,
    LinkToRootOfProgramFiles,
    BelowALink,
    ALink,
};

struct GuardCase
{
    const char* name;
    Kind kind;
    Verdict verdict;
    bool namesItself; // the guarded folder named is the folder itself
};

std::string ShellFolder(int csidl)
{
    char path[MAX_PATH] = "";
    return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, 0, path)) ? path : "";
}

std::u16string Wide(const std::string& text)
{
    return std::u16string(text.begin(), text.end()); // the prefix's paths are ASCII
}

bool Same(const std::string& a, const std::string& b)
{
    return PathNames::SameFile(Wide(a), Wide(b));
}

// A folder of its own: the uninstall of a recorded folder that holds the environment's
// profile must keep it. Until one such run is seen to keep it, no row hands the uninstall
// a folder of the machine's own.
bool UninstallKeepsAGuardedScratchFolder()
{
    static const bool kept = []
    {
        const std::string profile = std::string(kScratch) + "\\Canary";
        CreateDirectoryA(profile.c_str(), nullptr);
        TestFiles::WriteText(profile + kSentinel, "kept");
        char saved[MAX_PATH] = "";
        GetEnvironmentVariableA("USERPROFILE", saved, sizeof(saved));
        SetEnvironmentVariableA("USERPROFILE", profile.c_str());
        TestRegistry::WriteString("Software\\Pellmor\\Prompter Install", "Install Path", profile);
        TestSupport::CTestApp app;
        app.Uninstall();
        SetEnvironmentVariableA("USERPROFILE", saved);
        return TestFiles::Exists(profile + kSentinel);
    }();
    return kept;
}

class FolderGuardTest : public ::testing::TestWithParam<GuardCase>
{
protected:
    void SetUp() override
    {
        TestFiles::RemoveTree(kScratch);
        CreateDirectoryA(kScratch, nullptr);
        GetEnvironmentVariableA("USERPROFILE", m_savedProfile, sizeof(m_savedProfile));
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("USERPROFILE", m_savedProfile);
        for (const std::string& link : m_links)
        {
            TestFiles::RemoveFolderLink(link);
        }
        DeleteFileA((ShellFolder(CSIDL_PROFILE) + kSentinel).c_str());
        TestFiles::RemoveTree(kScratch);
        TestRegistry::DeleteKeyTree("Software\\Pellmor");
    }

    // The row's folder, made as it needs; empty (after failing the test) when it cannot be.
    std::string Make(Kind kind)
    {
        const std::string own = std::string(kScratch) + "\\Studio";
        const std::string link = std::string(kScratch) + "\\Link";
        switch (kind)
        {
        case Kind::Windows:
        {
            char path[MAX_PATH] = "";
            return std::string(path, GetWindowsDirectoryA(path, sizeof(path)));
        }
        case Kind::System:
        {
            char path[MAX_PATH] = "";
            return std::string(path, GetSystemDirectoryA(path, sizeof(path)));
        }
        case Kind::ProgramFiles:
            return ShellFolder(CSIDL_PROGRAM_FILES);
        case Kind::Profile:
            CreateDirectoryA(own.c_str(), nullptr);
            SetEnvironmentVariableA("USERPROFILE", own.c_str());
            return own;
        case Kind::ShellFolder:
            return ShellFolder(CSIDL_PERSONAL);
        case Kind::AllUsers:
            return ShellFolder(CSIDL_COMMON_DOCUMENTS);
        case Kind::LinkToProfile:
            return Link(ShellFolder(CSIDL_PROFILE), link);
        case Kind::LinkToRootOfProgramFiles:
            return Link(ShellFolder(CSIDL_PROGRAM_FILES).substr(0, 3), link);
        case Kind::BelowALink:
            CreateDirectoryA(own.c_str(), nullptr);
            return Link(own, link).empty() ? "" : link + "\\Nimbus";
        case Kind::ALink:
            CreateDirectoryA(own.c_str(), nullptr);
            return Link(own, link);
        }
        return "";
    }

    std::string Link(const std::string& target, const std::string& link)
    {
        std::string why;
        if (target.empty() || !TestFiles::MakeFolderLink(target, link, why))
        {
            ADD_FAILURE() << "no link to " << target << ": " << why;
            return "";
        }
        m_links.push_back(link);
        return link;
    }

    std::vector<std::string> m_links;
    char m_savedProfile[MAX_PATH] = "";
};

TEST_P(FolderGuardTest, TheInstallRefusesAndTheUninstallKeepsWhatIsNotTheProducts)
{
    const GuardCase& c = GetParam();
    const std::string folder = Make(c.kind);
    ASSERT_FALSE(folder.empty());

    // The path dialog's judgement.
    std::string guarded;
    EXPECT_EQ(InstallFolderGuard::Check(folder, guarded), c.verdict) << folder;
    if (c.namesItself)
    {
        EXPECT_TRUE(Same(guarded, folder)) << guarded << " named for " << folder;
    }
    if (c.verdict == Verdict::Accepted || InstallFolderGuard::Check(folder, guarded) != c.verdict)
    {
        return; // the uninstall of a folder of the machine's own is tried only when refused
    }

    // The uninstall's, on the same folder recorded: it stays, named, and the rest runs.
    ASSERT_TRUE(UninstallKeepsAGuardedScratchFolder())
        << "the uninstall removed a folder that holds the profile: no folder of the machine's "
           "own is handed to it";
    const std::string sentinel = ShellFolder(CSIDL_PROFILE) + kSentinel;
    ASSERT_TRUE(TestFiles::WriteText(sentinel, "the user's"));
    TestRegistry::WriteString("Software\\Pellmor\\Prompter Install", "Install Path", folder);
    TestRegistry::CreateKey("Software\\Pellmor\\Tarpan");
    TestSupport::CTestApp app;
    EXPECT_TRUE(app.Uninstall());
    const std::string why = c.verdict == Verdict::Link ? "it is a link to another folder."
                                                       : "it is or holds \"" + guarded +
                                                             "\", a folder of Windows or of "
                                                             "a user.";
    EXPECT_EQ(app.Texts(), (std::vector<std::string>{"The folder \"" + folder +
                                                         "\" was left in place because " + why,
                                                     "Uninstall completed"}));
    EXPECT_TRUE(TestFiles::Exists(folder));
    EXPECT_EQ(TestFiles::ReadText(sentinel), "the user's");
    EXPECT_FALSE(TestRegistry::KeyExists("Software\\Pellmor\\Tarpan"));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FolderGuardTest,
    ::testing::Values(GuardCase{"Windows", Kind::Windows, Verdict::GuardedFolder, true},
                      GuardCase{"System", Kind::System, Verdict::GuardedFolder, true},
                      GuardCase{"ProgramFiles", Kind::ProgramFiles, Verdict::GuardedFolder, true},
                      GuardCase{"Profile", Kind::Profile, Verdict::GuardedFolder, true},
                      GuardCase{"ShellFolder", Kind::ShellFolder, Verdict::GuardedFolder, true},
                      GuardCase{"AllUsers", Kind::AllUsers, Verdict::GuardedFolder, true},
                      GuardCase{"LinkToProfile", Kind::LinkToProfile, Verdict::GuardedFolder,
                                false},
                      GuardCase{"LinkToRootOfProgramFiles", Kind::LinkToRootOfProgramFiles,
                                Verdict::GuardedFolder, false},
                      GuardCase{"BelowALink", Kind::BelowALink, Verdict::Accepted, false},
                      GuardCase{"ALink", Kind::ALink, Verdict::Link, false}),
    [](const ::testing::TestParamInfo<GuardCase>& info) { return info.param.name; });

// A folder that cannot be listed may hold anything: it is never taken for empty.
TEST(FolderContents, AFolderThatCannotBeListedIsNotEmpty)
{
    ASSERT_TRUE(Fault::Install());
    TestFiles::CScratch scratch("FolderContents");
    using InstallFolderGuard::Contents;
    EXPECT_EQ(InstallFolderGuard::LookInside(scratch.File("Missing")), Contents::Empty);
    EXPECT_EQ(InstallFolderGuard::LookInside(scratch.Path()), Contents::Empty);
    CreateDirectoryA(scratch.File("Empty").c_str(), nullptr);
    EXPECT_EQ(InstallFolderGuard::LookInside(scratch.Path()), Contents::Something);

    Fault::Arm(Fault::Plan(Fault::Plan::Mode::Fail, 1, ERROR_ACCESS_DENIED,
                           Fault::Bit(Fault::Api::FindFirstFileA)));
    const Contents refused = InstallFolderGuard::LookInside(scratch.File("Empty"));
    const DWORD error = GetLastError();
    EXPECT_TRUE(Fault::Disarm().fired);
    EXPECT_EQ(refused, Contents::Unknown);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
}
} // namespace
