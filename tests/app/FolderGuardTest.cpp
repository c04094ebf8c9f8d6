// The install folder's guard on this machine, for the path dialog and for the uninstall:
// each kind of folder of Windows and of its users, and the links that lead to one.
#include "Fault.h"
#include "TestApp.h"
#include "TestFiles.h"
#include "TestRegistry.h"
#include "config/RegistryKey.h"
#include "install/InstallFolderGuard.h"
#include "install/PathNames.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

namespace
{
using InstallFolderRules::Verdict;

const std::string kScratch = "C:\\FolderGuardTest";
const std::string kStudio = kScratch + "\\Studio";
const std::string kLink = kScratch + "\\Link";
const char kInstallKey[] = "Software\\Pellmor\\Prompter Install";
const char kOtherProfileKey[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-1-2-3-1999";

std::string Folder(int csidl)
{
    char path[MAX_PATH] = "";
    return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, 0, path)) ? path : "";
}

// The link `kLink` to `target`; empty when it cannot be made.
std::string LinkTo(const std::string& target)
{
    std::string why;
    if (!TestFiles::MakeFolderLink(target, kLink, why))
    {
        ADD_FAILURE() << why;
        return "";
    }
    return kLink;
}

// Another account's profile as the system lists it: the setup runs as an administrator,
// often not the user who started it.
std::string OtherUsersProfile()
{
    CRegistryKey key;
    key.Create(HKEY_LOCAL_MACHINE, kOtherProfileKey);
    key.SetExpandString("ProfileImagePath", "%SystemDrive%" + kStudio.substr(2));
    return kStudio;
}

// Another account's profile named in another script ("Анна" on a Western system): read as
// the system stores it, it is a folder like any other, and blocks none of its own.
std::string ProfileOutsideTheCodePage()
{
    const std::wstring profile = L"C:\\FolderGuardTest\\\u0410\u043d\u043d\u0430";
    CreateDirectoryW(profile.c_str(), nullptr);
    CRegistryKey key;
    key.Create(HKEY_LOCAL_MACHINE, kOtherProfileKey);
    const std::wstring value = L"%SystemDrive%" + profile.substr(2);
    RegSetValueExW(key.GetHandle(), L"ProfileImagePath", 0, REG_EXPAND_SZ,
                   reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return kStudio;
}

struct GuardCase
{
    const char* name;
    std::function<std::string()> make; // the folder typed and recorded
    Verdict verdict;
    bool namesItself; // the guarded folder named is the folder itself
};

// Until an uninstall is seen to keep a scratch folder that holds the environment's profile,
// no row hands the uninstall a folder of the machine's own.
bool UninstallKeepsAGuardedFolder()
{
    static const bool kept = []
    {
        const std::string profile = kScratch + "\\Canary";
        char saved[MAX_PATH] = "";
        GetEnvironmentVariableA("USERPROFILE", saved, sizeof(saved));
        CreateDirectoryA(profile.c_str(), nullptr);
        SetEnvironmentVariableA("USERPROFILE", profile.c_str());
        TestRegistry::WriteString(kInstallKey, "Install Path", profile);
        TestSupport::CTestApp().Uninstall();
        SetEnvironmentVariableA("USERPROFILE", saved);
        return TestFiles::Exists(profile);
    }();
    return kept;
}

class FolderGuardTest : public ::testing::TestWithParam<GuardCase>
{
protected:
    void SetUp() override
    {
        GetEnvironmentVariableA("USERPROFILE", m_profile, sizeof(m_profile));
        CreateDirectoryA(kScratch.c_str(), nullptr);
        CreateDirectoryA(kStudio.c_str(), nullptr);
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("USERPROFILE", m_profile);
        TestFiles::RemoveFolderLink(kLink);
        TestFiles::RemoveTree(kScratch);
        TestRegistry::DeleteKeyTree("Software\\Pellmor");
        TestRegistry::DeleteKeyTree(kOtherProfileKey);
    }

    char m_profile[MAX_PATH] = "";
};

TEST_P(FolderGuardTest, TheInstallRefusesAndTheUninstallKeepsWhatIsNotTheProducts)
{
    const GuardCase& c = GetParam();
    const std::string folder = c.make();
    ASSERT_FALSE(folder.empty());
    std::string guarded;
    ASSERT_EQ(InstallFolderGuard::Check(folder, guarded), c.verdict) << folder;
    EXPECT_TRUE(!c.namesItself ||
                PathNames::SameFile(std::u16string(guarded.begin(), guarded.end()),
                                    std::u16string(folder.begin(), folder.end())))
        << guarded << " named for " << folder;
    if (c.verdict == Verdict::Accepted)
    {
        return;
    }

    // The same folder recorded: it stays, named, and the other stages run.
    ASSERT_TRUE(UninstallKeepsAGuardedFolder()) << "the uninstall removed a guarded folder";
    const std::string sentinel = Folder(CSIDL_PROFILE) + "\\KelvarinGuardSentinel.txt";
    ASSERT_TRUE(TestFiles::WriteText(sentinel, "the user's"));
    TestRegistry::WriteString(kInstallKey, "Install Path", folder);
    TestSupport::CTestApp app;
    EXPECT_TRUE(app.Uninstall());
    const std::string why = c.verdict == Verdict::Link ? "it is a link to another folder."
                                                       : "it is or holds \"" + guarded +
                                                             "\", a folder of Windows or of "
                                                             "a user.";
    EXPECT_EQ(app.Texts(), (std::vector<std::string>{"The folder \"" + folder +
                                                         "\" was left in place because " + why,
                                                     "Uninstall completed"}));
    EXPECT_EQ(TestFiles::ReadText(sentinel), "the user's");
    DeleteFileA(sentinel.c_str());
    EXPECT_FALSE(TestRegistry::KeyExists(kInstallKey));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FolderGuardTest,
    ::testing::Values(
        GuardCase{"Windows", [] { return Folder(CSIDL_WINDOWS); }, Verdict::GuardedFolder, true},
        GuardCase{"System", [] { return Folder(CSIDL_SYSTEM); }, Verdict::GuardedFolder, true},
        GuardCase{"ProgramFiles", [] { return Folder(CSIDL_PROGRAM_FILES); },
                  Verdict::GuardedFolder, true},
        GuardCase{"Profile",
                  []
                  {
                      SetEnvironmentVariableA("USERPROFILE", kStudio.c_str());
                      return kStudio;
                  },
                  Verdict::GuardedFolder, true},
        GuardCase{"OtherUsersProfile", &OtherUsersProfile, Verdict::GuardedFolder, true},
        GuardCase{"ProfileOutsideTheCodePage", &ProfileOutsideTheCodePage, Verdict::Accepted,
                  false},
        GuardCase{"ShellFolder", [] { return Folder(CSIDL_PERSONAL); }, Verdict::GuardedFolder,
                  true},
        GuardCase{"AllUsers", [] { return Folder(CSIDL_COMMON_DOCUMENTS); }, Verdict::GuardedFolder,
                  true},
        GuardCase{"LinkToProfile", [] { return LinkTo(Folder(CSIDL_PROFILE)); },
                  Verdict::GuardedFolder, false},
        GuardCase{"LinkToWhatHoldsProgramFiles",
                  [] { return LinkTo(Folder(CSIDL_PROGRAM_FILES).substr(0, 3)); },
                  Verdict::GuardedFolder, false},
        GuardCase{"BelowALink", [] { return LinkTo(kStudio) + "\\Nimbus"; }, Verdict::Accepted,
                  false},
        GuardCase{"ALink", [] { return LinkTo(kStudio); }, Verdict::Link, false}),
    [](const ::testing::TestParamInfo<GuardCase>& info) { return info.param.name; });

// A folder is its volume's serial and its file index together: with every folder given one
// index and a serial of its own, each is still told apart, and a link still leads to the
// profile it stands for.
TEST(FolderIdentity, TheVolumeSerialTellsFoldersOfOneIndexApart)
{
    ASSERT_TRUE(Fault::Install());
    CreateDirectoryA(kScratch.c_str(), nullptr);
    CreateDirectoryA(kStudio.c_str(), nullptr);
    Fault::EditFileInformation(
        [](BY_HANDLE_FILE_INFORMATION& information)
        {
            information.dwVolumeSerialNumber =
                information.nFileIndexLow ^ information.nFileIndexHigh;
            information.nFileIndexHigh = 0;
            information.nFileIndexLow = 7;
        });
    std::string named;
    EXPECT_EQ(InstallFolderGuard::Check(kStudio, named), Verdict::Accepted) << named;
    EXPECT_EQ(InstallFolderGuard::Check(LinkTo(Folder(CSIDL_PROFILE)), named),
              Verdict::GuardedFolder);
    Fault::EditFileInformation(nullptr);
    TestFiles::RemoveFolderLink(kLink);
    TestFiles::RemoveTree(kScratch);
}

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
    const Contents refused = InstallFolderGuard::LookInside(scratch.Path());
    const DWORD error = GetLastError();
    EXPECT_TRUE(Fault::Disarm().fired);
    EXPECT_EQ(refused, Contents::Unknown);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
}
} // namespace
