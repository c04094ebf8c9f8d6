#include "install/InstallFolderRules.h"

#include <gtest/gtest.h>

namespace
{
using InstallFolderRules::Verdict;

struct FolderCase
{
    const char16_t* folder;
    Verdict verdict;
};

// The folders of Windows and of its users on a typical machine, long and 8.3 forms.
const std::vector<std::u16string> kGuarded = {
    u"C:\\WINDOWS",    u"C:\\WINDOWS\\system32",     u"C:\\Program Files",    u"C:\\PROGRA~1",
    u"C:\\Users\\Ann", u"C:\\Users\\Ann\\Documents", u"D:\\Data\\Ann\\Music", u"C:\\Users\\Bob"};

class InstallFolderTest : public ::testing::TestWithParam<FolderCase>
{
};

using InstallFolderRules::Seen;

// A machine's disk as the identity reader sees it: each folder's identity, whether the
// path itself is a link, and where it really lies when that is elsewhere. "Documents and
// Settings" leads to C:\Users, S: is a drive standing for Ann's profile, \\localhost\C$
// is C: itself, and Bob's profile is a junction to E:\Profiles\Bob.
// Every path looked at, so that a row can tell which ones cost a look.
std::vector<std::u16string> g_looked;

Seen Look(const std::u16string& folder)
{
    g_looked.push_back(folder);
    struct Entry
    {
        const char16_t* path;
        uint64_t index;
        bool link;
        const char16_t* real = nullptr;
        uint32_t volume = 0; // 0: 2 on E:, 1 elsewhere
    };
    static const Entry kDisk[] = {
        {u"C:\\", 1, false},
        {u"C:\\USERS", 5, false},
        {u"C:\\USERS\\ANN", 6, false},
        {u"C:\\USERS\\ANN\\DOCUMENTS", 7, false},
        {u"C:\\USERS\\ANN\\MY DOCUMENTS", 7, true}, // refuses listing to everyone
        {u"C:\\DOCUMENTS AND SETTINGS", 5, true},
        {u"C:\\DOCUMENTS AND SETTINGS\\ANN", 6, false},
        {u"C:\\TOPROFILE", 6, true},
        {u"C:\\TOROOT", 1, true},
        {u"C:\\TOSTUDIO", 30, true},
        {u"C:\\TOSTUDIO\\OLD", 31, false},
        {u"C:\\USERS\\BOB", 40, true, u"E:\\Profiles\\Bob"},
        {u"E:\\PROFILES", 41, false},
        {u"E:\\PROFILES\\BOB", 40, false},
        {u"E:\\STUDIO", 30, false},
        {u"S:\\", 6, false},
        {u"S:\\DOCUMENTS", 7, false},
        {u"\\\\LOCALHOST\\C$\\", 1, false},
        {u"\\\\LOCALHOST\\C$\\USERS", 5, false},
        {u"D:\\", 1, false, nullptr, 3},
        {u"\\\\SERVER\\SHARE\\", 1, false, nullptr, 8},
        // A server that gives every file index 0.
        {u"\\\\OLD\\SHARE\\", 0, false, nullptr, 9},
        {u"\\\\OLD\\SHARE\\DOCS", 0, false, nullptr, 9},
        {u"\\\\OLD\\SHARE\\STUDIO", 0, false, nullptr, 9},
    };
    if (folder == u"C:\\LOCKED")
    {
        return InstallFolderRules::NotOpened(false, 5);
    }
    // A share that cannot be reached, and a junction whose disk is unplugged.
    if (folder.compare(0, 6, u"\\\\NAS\\") == 0)
    {
        return InstallFolderRules::NotOpened(false, 53);
    }
    if (folder == u"C:\\USERS\\GONE")
    {
        return InstallFolderRules::NotOpened(true, 3);
    }
    Seen seen;
    for (const Entry& entry : kDisk)
    {
        if (folder == entry.path)
        {
            seen.state = Seen::State::Known;
            seen.volume = entry.volume != 0                                      ? entry.volume
                          : (entry.real ? entry.real[0] : entry.path[0]) == u'E' ? 2
                                                                                 : 1;
            seen.index = entry.index;
            seen.link = entry.link;
            seen.real = entry.real ? entry.real : u"";
        }
    }
    return seen;
}

std::string Shown(const char16_t* folder)
{
    return "\"" + std::string(folder, folder + std::char_traits<char16_t>::length(folder)) + "\"";
}

// The disk changes nothing the text decides.
TEST_P(InstallFolderTest, OnlyAFolderOfItsOwnBelowARootIsTaken)
{
    const FolderCase& c = GetParam();
    EXPECT_EQ(InstallFolderRules::Judge(c.folder, kGuarded), c.verdict) << Shown(c.folder);
    EXPECT_EQ(InstallFolderRules::JudgeOnDisk(c.folder, kGuarded, &Look).verdict, c.verdict)
        << Shown(c.folder);
}

INSTANTIATE_TEST_SUITE_P(
    Ordinary, InstallFolderTest,
    ::testing::Values(FolderCase{u"C:\\Nimbus", Verdict::Accepted},
                      FolderCase{u"C:\\Nimbus\\", Verdict::Accepted},
                      FolderCase{u"c:/nimbus", Verdict::Accepted},
                      FolderCase{u"D:\\Studio\\Prompter", Verdict::Accepted},
                      FolderCase{u"C:\\Nimbus\\..\\TarpanLT", Verdict::Accepted},
                      FolderCase{u"\\\\server\\share\\Nimbus", Verdict::Accepted},
                      FolderCase{u"C:\\.Nimbus", Verdict::Accepted},
                      FolderCase{u"C:\\Program Files\\Nimbus", Verdict::Accepted},
                      FolderCase{u"C:\\Users\\Ann\\Nimbus", Verdict::Accepted},
                      FolderCase{u"C:\\WindowsApps", Verdict::Accepted}));

INSTANTIATE_TEST_SUITE_P(
    Roots, InstallFolderTest,
    ::testing::Values(
        FolderCase{u"", Verdict::NotFullPath}, FolderCase{u"C:", Verdict::NotFullPath},
        FolderCase{u"C:\\", Verdict::NotFullPath}, FolderCase{u"C:/", Verdict::NotFullPath},
        FolderCase{u"C:\\\\", Verdict::NotFullPath}, FolderCase{u"\\", Verdict::NotFullPath},
        FolderCase{u"/", Verdict::NotFullPath}, FolderCase{u".", Verdict::NotFullPath},
        FolderCase{u".\\", Verdict::NotFullPath},
        FolderCase{u"\\\\server\\share", Verdict::NotFullPath},
        FolderCase{u"\\\\server\\share\\", Verdict::NotFullPath},
        FolderCase{u"\\\\server", Verdict::NotFullPath},
        FolderCase{u"//server/share/", Verdict::NotFullPath},
        FolderCase{u"\\\\\\server\\share\\Nimbus", Verdict::NotFullPath},
        // Device paths name no folder a user types.
        FolderCase{u"\\\\?\\C:\\Nimbus", Verdict::NotFullPath},
        FolderCase{u"\\\\.\\C:\\Nimbus", Verdict::NotFullPath},
        FolderCase{u"\\\\?\\UNC\\server\\share\\Nimbus", Verdict::NotFullPath}));

// Dots and blanks lead back to a root.
INSTANTIATE_TEST_SUITE_P(LeadingBack, InstallFolderTest,
                         ::testing::Values(FolderCase{u"C:\\Nimbus\\..", Verdict::NotFullPath},
                                           FolderCase{u"C:\\Nimbus\\..\\", Verdict::NotFullPath},
                                           FolderCase{u"C:\\..", Verdict::NotFullPath},
                                           FolderCase{u"C:\\.", Verdict::NotFullPath},
                                           FolderCase{u"C:\\...", Verdict::NotFullPath},
                                           FolderCase{u"C:\\ ", Verdict::NotFullPath},
                                           FolderCase{u"C:\\Nimbus\\.\\..", Verdict::NotFullPath},
                                           FolderCase{u"\\\\server\\share\\Nimbus\\..",
                                                      Verdict::NotFullPath}));

// A relative folder would be read below wherever the setup happens to run.
INSTANTIATE_TEST_SUITE_P(Relative, InstallFolderTest,
                         ::testing::Values(FolderCase{u"\\Nimbus", Verdict::NotFullPath},
                                           FolderCase{u"C:Nimbus", Verdict::NotFullPath},
                                           FolderCase{u"Nimbus", Verdict::NotFullPath},
                                           FolderCase{u" C:\\Nimbus", Verdict::NotFullPath},
                                           FolderCase{u"..\\Nimbus", Verdict::NotFullPath},
                                           FolderCase{u" ", Verdict::NotFullPath}));

// A folder that is or holds one of Windows' or a user's own.
INSTANTIATE_TEST_SUITE_P(
    Guarded, InstallFolderTest,
    ::testing::Values(FolderCase{u"C:\\Windows", Verdict::GuardedFolder},
                      FolderCase{u"c:/windows/System32/", Verdict::GuardedFolder},
                      FolderCase{u"C:\\Program Files", Verdict::GuardedFolder},
                      FolderCase{u"C:\\progra~1", Verdict::GuardedFolder},
                      FolderCase{u"C:\\Users", Verdict::GuardedFolder},
                      FolderCase{u"C:\\Users\\Ann\\", Verdict::GuardedFolder},
                      FolderCase{u"C:\\Nimbus\\..\\Users\\Ann\\Documents", Verdict::GuardedFolder},
                      FolderCase{u"D:\\Data", Verdict::GuardedFolder}));

// What the disk says, whatever path leads there: a folder that is or holds a guarded one
// is refused, a link to another folder is refused, and a folder below a link is judged
// where the link leads.
class OnDiskTest : public InstallFolderTest
{
};

TEST_P(OnDiskTest, AFolderIsJudgedAsTheDiskSeesIt)
{
    const FolderCase& c = GetParam();
    const InstallFolderRules::OnDisk judged =
        InstallFolderRules::JudgeOnDisk(c.folder, kGuarded, &Look);
    EXPECT_EQ(judged.verdict, c.verdict) << Shown(c.folder);
    EXPECT_EQ(judged.error, c.verdict == Verdict::Unknown ? 5u : 0u) << Shown(c.folder);
}

INSTANTIATE_TEST_SUITE_P(
    Identity, OnDiskTest,
    ::testing::Values(FolderCase{u"C:\\ToProfile", Verdict::GuardedFolder},
                      FolderCase{u"C:\\Documents and Settings\\Ann", Verdict::GuardedFolder},
                      FolderCase{u"C:\\Documents and Settings", Verdict::GuardedFolder},
                      FolderCase{u"C:\\Users\\Ann\\My Documents", Verdict::GuardedFolder},
                      FolderCase{u"C:\\ToRoot", Verdict::GuardedFolder},
                      FolderCase{u"\\\\localhost\\C$\\Users", Verdict::GuardedFolder},
                      FolderCase{u"S:\\Documents", Verdict::GuardedFolder},
                      FolderCase{u"E:\\Profiles", Verdict::GuardedFolder},
                      FolderCase{u"C:\\ToStudio", Verdict::Link},
                      FolderCase{u"C:\\Locked", Verdict::Unknown},
                      FolderCase{u"C:\\ToStudio\\Nimbus", Verdict::Accepted},
                      FolderCase{u"C:\\ToStudio\\Old", Verdict::Accepted},
                      FolderCase{u"C:\\ToProfile\\Nimbus", Verdict::Accepted},
                      FolderCase{u"C:\\ToRoot\\Nimbus", Verdict::Accepted},
                      FolderCase{u"S:\\Nimbus", Verdict::Accepted},
                      FolderCase{u"C:\\Locked\\Nimbus", Verdict::Accepted},
                      FolderCase{u"\\\\localhost\\C$\\Nimbus", Verdict::Accepted}));

TEST(InstallFolderRulesTest, TheGuardedFolderMetIsNamed)
{
    size_t which = 99;
    EXPECT_EQ(InstallFolderRules::Judge(u"D:\\Data", kGuarded, &which), Verdict::GuardedFolder);
    EXPECT_EQ(which, 6u);
    const InstallFolderRules::OnDisk judged =
        InstallFolderRules::JudgeOnDisk(u"S:\\Documents", kGuarded, &Look);
    EXPECT_EQ(judged.verdict, Verdict::GuardedFolder);
    EXPECT_EQ(judged.which, 5u);
}

// A guarded folder that is there but cannot be read blocks only what could be it or hold it:
// a folder on its volume, one on the network beside one there, one whose way passes a link.
// A junction whose target is gone is no folder, and a file index of 0 is no identity.
TEST(InstallFolderRulesTest, AGuardedFolderThatCannotBeReadBlocksOnlyWhatCouldBeIt)
{
    const std::u16string locked = u"C:\\Locked", offline = u"\\\\nas\\home\\Ann\\Documents";
    struct Case
    {
        const char16_t* folder;
        std::vector<std::u16string> unreadable; // guarded besides kGuarded
        Verdict verdict;
        std::u16string named; // the folder that could not be read
        bool network;         // the network may be looked at for it
    };
    const Case cases[] = {
        {u"D:\\Studio", {locked, offline}, Verdict::Accepted, u"", false},
        {u"C:\\Studio", {offline, locked}, Verdict::Unknown, locked, false},
        {u"C:\\ToStudio\\Nimbus", {offline}, Verdict::Unknown, offline, true},
        {u"\\\\server\\share\\Studio", {locked, offline}, Verdict::Unknown, offline, true},
        {u"\\\\server\\share\\Studio", {u"C:\\Users\\Gone"}, Verdict::Accepted, u"", true},
        {u"\\\\old\\share\\Studio", {u"\\\\old\\share\\Docs"}, Verdict::Accepted, u"", true},
        // A drive that is not there (unplugged, not connected) may hold the folder all the same.
        {u"Q:\\Studio", {}, Verdict::Unknown, u"Q:\\", false},
    };
    for (const Case& c : cases)
    {
        std::vector<std::u16string> guarded = kGuarded;
        guarded.insert(guarded.end(), c.unreadable.begin(), c.unreadable.end());
        g_looked.clear();
        const InstallFolderRules::OnDisk judged =
            InstallFolderRules::JudgeOnDisk(c.folder, guarded, &Look);
        EXPECT_EQ(judged.verdict, c.verdict) << Shown(c.folder);
        EXPECT_EQ(judged.unreadable, c.named) << Shown(c.folder);
        EXPECT_EQ(judged.error, c.named == locked    ? 5u
                                : c.named.empty()    ? 0u
                                : c.named == offline ? 53u
                                                     : 3u)
            << Shown(c.folder);
        for (const std::u16string& path : g_looked)
        {
            EXPECT_TRUE(c.network || path[0] != u'\\')
                << Shown(c.folder) << " looked at the network";
        }
    }
    // A drive the system calls remote is on the network too.
    const InstallFolderRules::OnDisk mapped =
        InstallFolderRules::JudgeOnDisk(u"Z:\\Studio", {offline}, &Look,
                                        [](const std::u16string& root) { return root == u"Z:\\"; });
    EXPECT_EQ(mapped.verdict, Verdict::Unknown);
}

TEST(InstallFolderRulesTest, AFolderIsLookedAtFromItselfUpToItsRoot)
{
    using Chain = std::vector<std::u16string>;
    EXPECT_EQ(InstallFolderRules::FolderAndAncestors(u"c:/Studio/Prompter\\"),
              (Chain{u"C:\\STUDIO\\PROMPTER", u"C:\\STUDIO", u"C:\\"}));
    EXPECT_EQ(InstallFolderRules::FolderAndAncestors(u"\\\\server\\share\\Nimbus"),
              (Chain{u"\\\\SERVER\\SHARE\\NIMBUS", u"\\\\SERVER\\SHARE\\"}));
    EXPECT_EQ(InstallFolderRules::FolderAndAncestors(u"C:\\"), (Chain{u"C:\\"}));
    EXPECT_EQ(InstallFolderRules::FolderAndAncestors(u"Nimbus"), Chain{});
}
} // namespace
