// Folder access rights seeing Windows XP. Wine accepts a new DACL but does not keep it, so
// what the entries do is checked on the DACL that is composed from a given old one.
#include "ConfigTestSupport.h"
#include "Fault.h"
#include "config/FolderAccess.h"

#include <gtest/gtest.h>
#include <aclapi.h>
#include <sddl.h>

#include <map>
#include <string>
#include <vector>

using namespace ConfigTest;
using FolderAccessRules::Rule;
using FolderAccessRules::Trustee;

namespace
{
const DWORD kInherit = CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE;

// A SID from its string form, independent of how the code under test builds it.
class CSid
{
public:
    explicit CSid(const char* text) { ConvertStringSidToSidA(text, &m_sid); }
    ~CSid() { LocalFree(m_sid); }
    CSid(const CSid&) = delete;
    CSid& operator=(const CSid&) = delete;
    PSID Get() const { return m_sid; }

private:
    PSID m_sid = nullptr;
};

const char kUsers[] = "S-1-5-32-545";
const char kAdministrators[] = "S-1-5-32-544";
const char kSystem[] = "S-1-5-18";
const char kEveryone[] = "S-1-1-0";

struct Ace
{
    std::string sid;
    BYTE type;
    BYTE flags;
    DWORD mask;
};

std::vector<Ace> Walk(PACL dacl)
{
    std::vector<Ace> aces;
    ACL_SIZE_INFORMATION size;
    if (!dacl || !GetAclInformation(dacl, &size, sizeof(size), AclSizeInformation))
    {
        return aces;
    }
    for (DWORD i = 0; i < size.AceCount; ++i)
    {
        void* raw = nullptr;
        if (!GetAce(dacl, i, &raw))
        {
            continue;
        }
        const ACCESS_ALLOWED_ACE* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
        char* text = nullptr;
        ConvertSidToStringSidA(const_cast<DWORD*>(&ace->SidStart), &text);
        aces.push_back({text ? text : "?", ace->Header.AceType, ace->Header.AceFlags, ace->Mask});
        LocalFree(text);
    }
    return aces;
}

// Allowed rights per trustee, for comparisons that do not depend on how ACEs are merged.
std::map<std::string, DWORD> Allowed(const std::vector<Ace>& aces)
{
    std::map<std::string, DWORD> rights;
    for (const Ace& ace : aces)
    {
        if (ace.type == ACCESS_ALLOWED_ACE_TYPE)
        {
            rights[ace.sid] |= ace.mask;
        }
    }
    return rights;
}

// An owned DACL, freed with LocalFree like the ones SetEntriesInAclA returns.
class CDacl
{
public:
    CDacl() = default;
    ~CDacl() { LocalFree(m_acl); }
    CDacl(const CDacl&) = delete;
    CDacl& operator=(const CDacl&) = delete;
    PACL* Out() { return &m_acl; }
    PACL Get() const { return m_acl; }
    void Reset(PACL acl)
    {
        LocalFree(m_acl);
        m_acl = acl;
    }

private:
    PACL m_acl = nullptr;
};

// The old DACL of the tests: Users with full control, Everyone with read, both inherited.
void BuildOldDacl(CDacl& dacl)
{
    CSid users(kUsers), everyone(kEveryone);
    const DWORD size = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE);
    PACL acl = static_cast<PACL>(LocalAlloc(LPTR, size));
    InitializeAcl(acl, size, ACL_REVISION);
    AddAccessAllowedAceEx(acl, ACL_REVISION, kInherit, FILE_ALL_ACCESS, users.Get());
    AddAccessAllowedAceEx(acl, ACL_REVISION, kInherit, FILE_GENERIC_READ, everyone.Get());
    dacl.Reset(acl);
}

const Rule& RuleNo(int number)
{
    return FolderAccessRules::Rules()[number - 1];
}

const std::string kWinver = KELVARIN_EXPECT_WINVER; // run once per version (CMakeLists)

TEST(FolderAccessVersion, SeesTheVersionItRunsOn)
{
    EXPECT_EQ(CFolderAccess::IsWindowsXP(), kWinver == "winxp");
    EXPECT_EQ(CFolderAccess::IsWindows7(), kWinver == "win7");
}

TEST(FolderAccessDacl, TheFirstEntryReplacesTheUsersEntriesAndKeepsOthers)
{
    CDacl old;
    BuildOldDacl(old);
    CDacl composed;
    ASSERT_TRUE(CFolderAccess::ComposeDacl(old.Get(), RuleNo(1), composed.Out()));

    int users = 0;
    for (const Ace& ace : Walk(composed.Get()))
    {
        if (ace.sid == kUsers)
        {
            ++users;
            EXPECT_EQ(ace.type, ACCESS_ALLOWED_ACE_TYPE);
            EXPECT_EQ(ace.mask, 0x00020019u);
            EXPECT_EQ(ace.flags, kInherit);
        }
    }
    EXPECT_EQ(users, 1);
    EXPECT_EQ(Allowed(Walk(composed.Get()))[kEveryone], static_cast<DWORD>(FILE_GENERIC_READ));
}

TEST(FolderAccessDacl, GrantsAddToWhatTheTrusteeHad)
{
    CDacl old;
    BuildOldDacl(old);
    CDacl composed;
    ASSERT_TRUE(CFolderAccess::ComposeDacl(old.Get(), RuleNo(2), composed.Out()));
    std::map<std::string, DWORD> rights = Allowed(Walk(composed.Get()));
    EXPECT_EQ(rights[kUsers], static_cast<DWORD>(FILE_ALL_ACCESS | GENERIC_ALL));
    EXPECT_EQ(rights[kEveryone], static_cast<DWORD>(FILE_GENERIC_READ));
    for (const Ace& ace : Walk(composed.Get()))
    {
        if (ace.sid == kUsers && (ace.mask & GENERIC_ALL))
        {
            EXPECT_EQ(ace.flags, kInherit);
        }
    }
}

// The install folder's three entries, applied in order and then once more.
TEST(FolderAccessDacl, TheInstallFolderEntriesGiveTheirTrusteesTheirRightsTwiceAlike)
{
    CDacl dacl;
    BuildOldDacl(dacl);
    std::map<std::string, DWORD> first;
    for (int pass = 0; pass < 2; ++pass)
    {
        for (int number : {1, 6, 7})
        {
            PACL next = nullptr;
            ASSERT_TRUE(CFolderAccess::ComposeDacl(dacl.Get(), RuleNo(number), &next)) << number;
            dacl.Reset(next);
        }
        const std::map<std::string, DWORD> rights = Allowed(Walk(dacl.Get()));
        if (pass == 0)
        {
            first = rights;
        }
        else
        {
            EXPECT_EQ(rights, first);
        }
    }
    EXPECT_EQ(first[kUsers], 0x00020019u);
    EXPECT_EQ(first[kAdministrators], static_cast<DWORD>(GENERIC_ALL));
    EXPECT_EQ(first[kSystem], static_cast<DWORD>(GENERIC_ALL));
    EXPECT_EQ(first[kEveryone], static_cast<DWORD>(FILE_GENERIC_READ));
    for (const Ace& ace : Walk(dacl.Get()))
    {
        EXPECT_EQ(ace.flags, kInherit) << ace.sid;
    }
}

TEST(FolderAccessDacl, AFolderWithoutADaclGetsOneWithTheEntry)
{
    CDacl composed;
    ASSERT_TRUE(CFolderAccess::ComposeDacl(nullptr, RuleNo(7), composed.Out()));
    const std::vector<Ace> aces = Walk(composed.Get());
    ASSERT_EQ(aces.size(), 1u);
    EXPECT_EQ(aces[0].sid, kSystem);
    EXPECT_EQ(aces[0].mask, static_cast<DWORD>(GENERIC_ALL));
}

class FolderAccessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        install = TempFolder("KelvarinRights");
        for (const char* sub : {"\\Configuration", "\\Configuration\\Machine", "\\Documents"})
        {
            CreateDirectoryA((install + sub).c_str(), nullptr);
        }
        app.State().m_strInstallPath = install;
    }
    void TearDown() override { RemoveTree(install); }

    CTestApp app;
    std::string install;
};

TEST_F(FolderAccessTest, EntriesAreStoredOnExistingFoldersOnly)
{
    EXPECT_TRUE(CFolderAccess::AddFolderAccessEntry(install, RuleNo(1)));
    EXPECT_TRUE(CFolderAccess::AddFolderAccessEntry(install + "\\Documents", RuleNo(4)));
    EXPECT_FALSE(CFolderAccess::AddFolderAccessEntry(install + "\\Logs", RuleNo(5)));
}

// Wine keeps no DACL, so the rows the step applies are recorded through its seam: all
// seven in order on XP and 7, none on any other version.
TEST_F(FolderAccessTest, TheStepAppliesItsSevenRowsOnXpAnd7Only)
{
    std::vector<std::string> applied;
    CFolderAccess(app.State())
        .GrantFolderAccess(
            [&](const std::string& folder, const Rule& rule)
            {
                applied.push_back(folder + "|" + std::to_string(static_cast<int>(rule.trustee)) +
                                  "|" + (rule.replaceTrusteeEntries ? "set" : "grant") + "|" +
                                  std::to_string(rule.accessMask));
                return true;
            });
    std::vector<std::string> expected;
    if (kWinver == "winxp" || kWinver == "win7")
    {
        expected = {install + "|0|set|131097",
                    install + "\\Configuration|0|grant|268435456",
                    install + "\\Configuration\\Machine|0|grant|268435456",
                    install + "\\Documents|0|grant|268435456",
                    install + "\\Logs|0|grant|268435456",
                    install + "|1|grant|268435456",
                    install + "|2|grant|268435456"};
    }
    EXPECT_EQ(applied, expected);
}

// A data folder that is a link leads into somebody else's tree: its rows and those of the
// folders below it are passed over, and the user is told once which folder it is.
TEST_F(FolderAccessTest, AFolderThatIsALinkIsPassedOverAndNamedOnce)
{
    const std::string outside = TempFolder("KelvarinRightsOutside");
    CreateDirectoryA((outside + "\\Machine").c_str(), nullptr);
    const std::string link = install + "\\Configuration";
    RemoveTree(link);
    std::string why;
    ASSERT_TRUE(MakeFolderLink(outside, link, why)) << why;
    std::vector<std::string> applied;
    CFolderAccess(app.State())
        .GrantFolderAccess(
            [&](const std::string& folder, const Rule&)
            {
                applied.push_back(folder);
                return true;
            });
    RemoveFolderLink(link);
    RemoveTree(outside);
    std::vector<std::string> expected, told;
    if (kWinver == "winxp" || kWinver == "win7")
    {
        expected = {install, install + "\\Documents", install + "\\Logs", install, install};
        told = {"Setup has left the access rights of \"" + link +
                "\" as they were because it is a link to another folder."};
    }
    EXPECT_EQ(applied, expected);
    EXPECT_EQ(app.Texts(), told);
}

// A folder whose attributes cannot be read may be a link: its rows are passed over, and
// the user is told once why.
TEST_F(FolderAccessTest, AFolderThatCannotBeToldFromALinkIsPassedOverAndNamed)
{
    ASSERT_TRUE(Fault::Install());
    std::vector<std::string> applied;
    Fault::Arm(Fault::Plan(Fault::Plan::Mode::Fail, 1, ERROR_ACCESS_DENIED,
                           Fault::Bit(Fault::Api::GetFileAttributesA)));
    CFolderAccess(app.State())
        .GrantFolderAccess(
            [&](const std::string& folder, const Rule&)
            {
                applied.push_back(folder);
                return true;
            });
    const bool fired = Fault::Disarm().fired;
    if (kWinver != "winxp" && kWinver != "win7")
    {
        EXPECT_TRUE(applied.empty());
        return;
    }
    EXPECT_TRUE(fired);
    // The install folder's first row alone: the others look at it again.
    EXPECT_EQ(applied, (std::vector<std::string>{
                           install + "\\Configuration", install + "\\Configuration\\Machine",
                           install + "\\Documents", install + "\\Logs", install, install}));
    ASSERT_EQ(app.Texts().size(), 1u);
    EXPECT_EQ(app.Texts()[0].rfind("Setup has left the access rights of \"" + install +
                                       "\" as they were because it cannot tell which folder it "
                                       "is.  The folder \"" +
                                       install + "\" cannot be read - ",
                                   0),
              0u)
        << app.Texts()[0];
}

// Logs is missing: the other folders are still processed and nothing is said.
TEST_F(FolderAccessTest, TheStepGoesOnQuietlyPastAMissingFolder)
{
    CFolderAccess(app.State()).GrantFolderAccess();
    EXPECT_TRUE(app.Texts().empty());
    // Every folder handle was closed again.
    EXPECT_TRUE(CFolderAccess::AddFolderAccessEntry(install, RuleNo(6)));
}
} // namespace
