#include "ui/MainMenuLogic.h"

#include "framework/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

using namespace MainMenuLogic;

namespace
{
std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// A disk that knows a few paths, case-insensitively like the platform's.
struct FakeDisk
{
    std::set<std::string> paths;
    mutable std::vector<std::string> asked;

    explicit FakeDisk(const std::vector<const char*>& existing)
    {
        for (const char* path : existing)
        {
            paths.insert(Upper(path));
        }
    }
    ExistsFn Exists() const
    {
        return [this](const std::string& path)
        {
            asked.push_back(path);
            return paths.count(Upper(path)) != 0;
        };
    }
};

bool SameNoCase(const std::string& a, const std::string& b)
{
    return Upper(a) == Upper(b);
}

struct SearchCase
{
    const char* name;
    const char* recorded;
    std::vector<const char*> existing;
    bool found;
    const char* folder;
};

class FindEarlierInstallTest : public ::testing::TestWithParam<SearchCase>
{
};

TEST_P(FindEarlierInstallTest, TakesTheFirstPlaceThatHoldsAProgram)
{
    const SearchCase& c = GetParam();
    FakeDisk disk(c.existing);
    const SearchResult result = FindEarlierInstall(c.recorded, disk.Exists());
    EXPECT_EQ(result.found, c.found);
    EXPECT_EQ(result.folder, c.folder);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindEarlierInstallTest,
    ::testing::Values(
        SearchCase{"NothingAnywhere", "", {}, false, ""},
        SearchCase{"RecordedBeforeTarpan",
                   "D:\\Prompter",
                   {"D:\\Prompter\\Programs\\ScrollNT.Exe", "C:\\TarpanLT\\Programs\\ScrollNT.Exe"},
                   true,
                   "D:\\Prompter"},
        SearchCase{"RecordedWith9xProgram",
                   "D:\\Prompter",
                   {"D:\\Prompter\\Programs\\Scroll95.Exe"},
                   true,
                   "D:\\Prompter"},
        SearchCase{"RecordedKeepsItsSpelling",
                   "d:\\PROMPTER",
                   {"D:\\Prompter\\Programs\\ScrollNT.Exe"},
                   true,
                   "d:\\PROMPTER"},
        SearchCase{"EmptyRecordedFolderHoldsNoProgram",
                   "D:\\Prompter",
                   {"D:\\Prompter\\Programs", "C:\\Nimbus\\Programs\\Scroll95.Exe"},
                   true,
                   "C:\\Nimbus"},
        SearchCase{"TarpanBeforeArdent",
                   "",
                   {"C:\\Ardent\\Programs\\ScrollNT.Exe", "C:\\TarpanLT\\Programs\\Scroll95.Exe"},
                   true,
                   "C:\\TarpanLT"},
        SearchCase{"ArdentBeforeNimbus",
                   "",
                   {"C:\\Nimbus\\Programs\\ScrollNT.Exe", "C:\\Ardent\\Programs\\Scroll95.Exe"},
                   true,
                   "C:\\Ardent"},
        SearchCase{"NimbusLast", "", {"C:\\Nimbus\\Programs\\ScrollNT.Exe"}, true, "C:\\Nimbus"},
        // An empty record must not turn into the root of the current drive.
        SearchCase{"EmptyRecordIsNotTheRoot", "", {"\\Programs\\ScrollNT.Exe"}, false, ""},
        SearchCase{"OtherProgramsDoNotCount",
                   "",
                   {"C:\\Nimbus\\Programs\\Scroll.Exe", "C:\\Nimbus\\ScrollNT.Exe"},
                   false,
                   ""}),
    [](const ::testing::TestParamInfo<SearchCase>& info) { return info.param.name; });

TEST(FindEarlierInstallTest, StopsAtTheFirstMatch)
{
    FakeDisk disk({"C:\\TarpanLT\\Programs\\ScrollNT.Exe", "C:\\Nimbus\\Programs\\ScrollNT.Exe"});
    FindEarlierInstall("", disk.Exists());
    EXPECT_EQ(disk.asked, std::vector<std::string>{"C:\\TarpanLT\\Programs\\ScrollNT.Exe"});
}

// What the product key holds; plain values keep the table free of strings.
struct RecordedValues
{
    const char* path;
    bool hasBuild;
    long build;

    RecordedInstall ToRecord() const
    {
        RecordedInstall record;
        record.path = path ? path : "";
        record.hasBuild = hasBuild;
        record.build = build;
        return record;
    }
};

struct OpeningCase
{
    const char* name;
    RecordedValues recorded;
    bool ardent;
    std::vector<const char*> existing;
    // expected
    Opening opening;
    bool ardentAfter;
    const char* installFolder;
    bool writePath;
    long installedBuild;
    const char* shownFolder;
    bool installEnabled;
    bool setupCopy = false;                // the menu of the copy the product's entry starts
    const char* entry = "";                // the entry's InstallLocation
    const char* uninstallFolder = nullptr; // null: the shown folder
};

class OpenMenuTest : public ::testing::TestWithParam<OpeningCase>
{
};

TEST_P(OpenMenuTest, SettlesStateFolderAndBuild)
{
    const OpeningCase& c = GetParam();
    FakeDisk disk(c.existing);
    RecordedInstall recorded = c.recorded.ToRecord();
    recorded.entryLocation = c.entry;
    const MenuState state = OpenMenu(recorded, c.ardent, disk.Exists(), SameNoCase, c.setupCopy);
    EXPECT_EQ(state.opening, c.opening);
    EXPECT_EQ(state.ardent, c.ardentAfter);
    EXPECT_EQ(state.installFolder, c.installFolder);
    EXPECT_EQ(state.writePath, c.writePath);
    EXPECT_EQ(state.installedBuild, c.installedBuild);
    EXPECT_EQ(state.shownFolder, c.shownFolder);
    EXPECT_EQ(InstallEnabled(state.installedBuild, "label", c.setupCopy), c.installEnabled);
    EXPECT_EQ(state.uninstallFolder, c.uninstallFolder ? c.uninstallFolder : c.shownFolder);
    if (c.setupCopy)
    {
        // The copy looks at what an install stated, nowhere else.
        for (const std::string& path : disk.asked)
        {
            EXPECT_EQ(path.rfind(state.uninstallFolder + "\\", 0), 0u) << path;
        }
    }
}

const char* const kNimbusNT = "C:\\Nimbus\\Programs\\ScrollNT.Exe";
const char* const kTarpanNT = "C:\\TarpanLT\\Programs\\ScrollNT.Exe";

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenMenuTest,
    ::testing::Values(
        OpeningCase{
            "FreshBrisk", {}, false, {}, Opening::Fresh, false, "C:\\Nimbus", true, -1, "", true},
        OpeningCase{
            "FreshArdent", {}, true, {}, Opening::Fresh, true, "C:\\Nimbus", true, -1, "", true},
        // A guess pointing at an empty folder is overwritten with the default; an install's
        // record (with its build) is not.
        OpeningCase{"StaleGuessBecomesFresh",
                    {"D:\\Gone", false, 0},
                    true,
                    {},
                    Opening::Fresh,
                    true,
                    "C:\\Nimbus",
                    true,
                    -1,
                    "",
                    true},
        OpeningCase{"StaleRecordIsKept",
                    {"D:\\Gone", true, 2000},
                    true,
                    {},
                    Opening::Fresh,
                    true,
                    "C:\\Nimbus",
                    false,
                    -1,
                    "",
                    true},
        // The copy keeps the record of the install it is there to remove, folder gone or not.
        OpeningCase{"CopyKeepsTheRecordOfAFolderGone",
                    {"D:\\Gone", true, 2105},
                    true,
                    {},
                    Opening::Fresh,
                    true,
                    "C:\\Nimbus",
                    false,
                    -1,
                    "",
                    false,
                    true,
                    "",
                    "D:\\Gone"},
        // The copy neither searches the fixed places nor takes a bare guess for the install:
        // its folder gone, Tarpan LT's is never offered for removal.
        OpeningCase{"CopyNeverTakesTarpanForTheProduct",
                    {"C:\\Studio", true, 2105},
                    true,
                    {kTarpanNT},
                    Opening::Fresh,
                    true,
                    "C:\\Nimbus",
                    false,
                    -1,
                    "",
                    false,
                    true,
                    "C:\\Studio",
                    "C:\\Studio"},
        OpeningCase{"CopyTakesTheEntryOverAGuess",
                    {"C:\\TarpanLT", false, 0},
                    true,
                    {kTarpanNT, "D:\\Prompter\\Programs\\ScrollNT.Exe"},
                    Opening::SameProduct,
                    true,
                    "D:\\Prompter",
                    false,
                    -1,
                    "D:\\Prompter",
                    false,
                    true,
                    "D:\\Prompter"},
        OpeningCase{"OlderBuildUpgrades",
                    {"C:\\Nimbus", true, 2000},
                    false,
                    {kNimbusNT},
                    Opening::SameProduct,
                    false,
                    "C:\\Nimbus",
                    false,
                    2000,
                    "C:\\Nimbus",
                    true},
        OpeningCase{"NewerBuildMayBeReplaced",
                    {"C:\\Nimbus", true, 2200},
                    false,
                    {kNimbusNT},
                    Opening::SameProduct,
                    false,
                    "C:\\Nimbus",
                    false,
                    2200,
                    "C:\\Nimbus",
                    true},
        OpeningCase{"SameBuildOnlyUninstalls",
                    {"C:\\Nimbus", true, 2105},
                    true,
                    {kNimbusNT},
                    Opening::SameProduct,
                    true,
                    "C:\\Nimbus",
                    false,
                    2105,
                    "C:\\Nimbus",
                    false},
        // "Build Number" stored as a string reads as missing: the upgrade is allowed.
        OpeningCase{"BuildNotADwordUpgrades",
                    {"C:\\Nimbus", false, 0},
                    true,
                    {kNimbusNT},
                    Opening::SameProduct,
                    true,
                    "C:\\Nimbus",
                    false,
                    -1,
                    "C:\\Nimbus",
                    true},
        // The record's own spelling is shown and kept.
        OpeningCase{"RecordSpellingKept",
                    {"c:\\NIMBUS", true, 2000},
                    true,
                    {kNimbusNT},
                    Opening::SameProduct,
                    true,
                    "c:\\NIMBUS",
                    false,
                    2000,
                    "c:\\NIMBUS",
                    true},
        // Found elsewhere than recorded: a guess follows the find, an install's record stays;
        // the build is not looked up and the install button stays off.
        OpeningCase{"FoundElsewhereKeepsTheInstallsRecord",
                    {"D:\\Gone", true, 2000},
                    true,
                    {"C:\\Ardent\\Programs\\Scroll95.Exe"},
                    Opening::SameProduct,
                    true,
                    "C:\\Ardent",
                    false,
                    0,
                    "C:\\Ardent",
                    false},
        OpeningCase{"FoundElsewhereReplacesAGuess",
                    {"D:\\Gone", false, 0},
                    true,
                    {kTarpanNT},
                    Opening::Predecessor,
                    true,
                    "C:\\TarpanLT",
                    true,
                    -1,
                    "C:\\TarpanLT",
                    true},
        OpeningCase{"TarpanFoundByItsPlace",
                    {},
                    true,
                    {kTarpanNT},
                    Opening::Predecessor,
                    true,
                    "C:\\TarpanLT",
                    true,
                    -1,
                    "C:\\TarpanLT",
                    true},
        // Tarpan LT is only ever upgraded to Ardent, whichever medium found it.
        OpeningCase{"TarpanSwitchesBriskToArdent",
                    {},
                    false,
                    {kTarpanNT},
                    Opening::Predecessor,
                    true,
                    "C:\\TarpanLT",
                    true,
                    -1,
                    "C:\\TarpanLT",
                    true},
        OpeningCase{"TarpanRecordedWithoutBuild",
                    {"c:\\tarpanlt", false, 0},
                    true,
                    {kTarpanNT},
                    Opening::Predecessor,
                    true,
                    "c:\\tarpanlt",
                    false,
                    -1,
                    "c:\\tarpanlt",
                    true},
        // Once upgraded, the record carries this setup's build: it is Ardent now.
        OpeningCase{"UpgradedTarpanIsArdent",
                    {"C:\\TarpanLT", true, 2105},
                    true,
                    {kTarpanNT},
                    Opening::SameProduct,
                    true,
                    "C:\\TarpanLT",
                    false,
                    2105,
                    "C:\\TarpanLT",
                    false},
        OpeningCase{"RecordedFolderWinsOverTarpan",
                    {"D:\\Prompter", true, 2000},
                    true,
                    {"D:\\Prompter\\Programs\\ScrollNT.Exe", kTarpanNT},
                    Opening::SameProduct,
                    true,
                    "D:\\Prompter",
                    false,
                    2000,
                    "D:\\Prompter",
                    true}),
    [](const ::testing::TestParamInfo<OpeningCase>& info) { return info.param.name; });

struct TextsCase
{
    Opening opening;
    bool ardent;
    unsigned install, uninstall, caption, prefix;
};

class TextsForTest : public ::testing::TestWithParam<TextsCase>
{
};

TEST_P(TextsForTest, PicksTheEditionsStrings)
{
    const TextsCase& c = GetParam();
    const MenuTexts texts = TextsFor(c.opening, c.ardent);
    EXPECT_EQ(texts.installLabel, c.install);
    EXPECT_EQ(texts.uninstallLabel, c.uninstall);
    EXPECT_EQ(texts.caption, c.caption);
    EXPECT_EQ(texts.foundPrefix, c.prefix);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextsForTest,
    ::testing::Values(TextsCase{Opening::Fresh, true, 20057, 20056, 20060, 0},
                      TextsCase{Opening::Fresh, false, 20051, 20052, 20053, 0},
                      TextsCase{Opening::SameProduct, true, 20071, 20056, 20060, 20055},
                      TextsCase{Opening::SameProduct, false, 20072, 20052, 20053, 20054},
                      TextsCase{Opening::Predecessor, true, 20058, 20059, 20060, 20030}));

TEST(InstallEnabledTest, OffForThisBuildUnlookedBuildsMissingLabelsAndTheSetupsCopy)
{
    struct Case
    {
        long build;
        const char* label;
        bool enabled;
        bool setupCopy;
    };
    const Case cases[] = {
        {-1, "INSTALL", true, false}, {2000, "UPGRADE", true, false},
        {2104, "x", true, false},     {2106, "x", true, false},
        {0, "UPGRADE", false, false}, {2105, "UPGRADE", false, false},
        {-1, "", false, false},       {2000, "UPGRADE", false, true},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(InstallEnabled(c.build, c.label, c.setupCopy), c.enabled)
            << c.build << " '" << c.label << "' " << c.setupCopy;
    }
}

TEST(UninstallEnabledTest, OnForAFoundInstallAndForTheCopyWhileSomethingIsLeft)
{
    struct Case
    {
        Opening opening;
        bool setupCopy, leftBehind, enabled;
    };
    const Case cases[] = {
        {Opening::Fresh, false, true, false},       {Opening::Fresh, true, false, false},
        {Opening::Fresh, true, true, true},         {Opening::SameProduct, false, false, true},
        {Opening::Predecessor, false, false, true}, {Opening::SameProduct, true, false, true},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(UninstallEnabled(c.opening, c.setupCopy, c.leftBehind), c.enabled)
            << static_cast<int>(c.opening) << " " << c.setupCopy << " " << c.leftBehind;
    }
}

struct ChoiceCase
{
    Button button;
    Opening opening;
    bool install, upgrade, switchToArdent;
    Route route;
};

class ChoiceTest : public ::testing::TestWithParam<ChoiceCase>
{
};

TEST_P(ChoiceTest, SetsTheFlagsThatLeadToTheRightRoute)
{
    const ChoiceCase& c = GetParam();
    const MenuResult result = ResultFor(c.button, c.opening);
    EXPECT_EQ(result.install, c.install);
    EXPECT_EQ(result.upgrade, c.upgrade);
    EXPECT_EQ(result.switchToArdent, c.switchToArdent);
    EXPECT_EQ(RouteFor(result), c.route);
}

INSTANTIATE_TEST_SUITE_P(Cases, ChoiceTest,
                         ::testing::Values(ChoiceCase{Button::Install, Opening::Fresh, true, false,
                                                      false, Route::AgreementThenPath},
                                           ChoiceCase{Button::Install, Opening::SameProduct, false,
                                                      true, false, Route::InstallInPlace},
                                           ChoiceCase{Button::Install, Opening::Predecessor, true,
                                                      false, true, Route::AgreementThenInstall},
                                           ChoiceCase{Button::Uninstall, Opening::Fresh, false,
                                                      false, false, Route::Uninstall},
                                           ChoiceCase{Button::Uninstall, Opening::SameProduct,
                                                      false, false, false, Route::Uninstall},
                                           ChoiceCase{Button::Uninstall, Opening::Predecessor,
                                                      false, false, false, Route::Uninstall}));
} // namespace
