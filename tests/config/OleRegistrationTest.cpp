// Self-registration of the control module with stand-in modules that answer S_OK, S_FALSE
// or lack the export; built once seeing Windows XP and once Windows 98.
#include "ConfigTestSupport.h"
#include "config/OleRegistration.h"
#include "ui/DLG_Installing.h"
#include "framework/resource.h"

#include <gtest/gtest.h>
#include <ole2.h>

#include <string>

using namespace ConfigTest;

namespace
{
const bool kExpectNT = KELVARIN_EXPECT_NT;
const char kRegistered[] = "Software\\KelvarinTest\\Registered";

DWORD Registrations(const std::string& moduleFile)
{
    DWORD calls = 0;
    return ReadDword(kRegistered, moduleFile, calls) ? calls : 0;
}

class OleRegistrationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(CKelvarinApp::IsWindowsNT(), kExpectNT) << "wrong Windows version seen";
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        DeleteKeyTree(kRegistered);
    }
    void TearDown() override
    {
        DeleteKeyTree(kRegistered);
        OleUninitialize();
    }
};

struct ModuleCase
{
    const char* file;
    bool registers;
    DWORD calls; // how often its DllRegisterServer ran
};

TEST_F(OleRegistrationTest, OnlyAnExactSOkCountsAndTheModuleIsAlwaysUnloaded)
{
    const ModuleCase cases[] = {
        {"reg_ok.dll", true, 1},
        {"reg_false.dll", false, 1},
        {"reg_noexport.dll", false, 0},
        {"missing.dll", false, 0},
    };
    for (const ModuleCase& c : cases)
    {
        const std::string path = ModulePath(c.file);
        EXPECT_EQ(COleRegistration::RegisterServerModule(path), c.registers) << c.file;
        EXPECT_EQ(Registrations(c.file), c.calls) << c.file;
        EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr) << c.file << " left loaded";
    }
    // A re-installation registers again.
    EXPECT_TRUE(COleRegistration::RegisterServerModule(ModulePath("reg_ok.dll")));
    EXPECT_EQ(Registrations("reg_ok.dll"), 2u);
}

class OleControlsStepTest : public OleRegistrationTest
{
protected:
    void SetUp() override
    {
        OleRegistrationTest::SetUp();
        ASSERT_TRUE(dlg.Create());
        install = TempFolder("KelvarinOle");
        CreateDirectoryA((install + "\\Programs").c_str(), nullptr);
        app.State().m_strInstallPath = install;
    }
    void TearDown() override
    {
        dlg.DestroyWindow();
        RemoveTree(install);
        OleRegistrationTest::TearDown();
    }
    void Place(const char* module, const char* asFile)
    {
        ASSERT_TRUE(CopyFileA(ModulePath(module).c_str(),
                              (install + "\\Programs\\" + asFile).c_str(), FALSE));
    }

    CTestApp app;
    DLG_Installing dlg;
    std::string install;
};

TEST_F(OleControlsStepTest, RegistersOnlyTheBuildOfThePlatformFamily)
{
    Place("reg_ok.dll", "PCtrlsU.ocx");
    Place("reg_ok.dll", "PCtrlsA.ocx");

    // The install sequence announces the step; the step leaves the lines to it.
    dlg.SetStatus(IDS_REGISTERING_OLE, 0);
    EXPECT_TRUE(COleRegistration(app.State()).RegisterOleControls());
    EXPECT_TRUE(app.Texts().empty());
    EXPECT_EQ(ControlText(dlg.GetSafeHwnd(), IDC_STATUS_LINE1), "Registering OLE Controls");
    EXPECT_EQ(ControlText(dlg.GetSafeHwnd(), IDC_STATUS_LINE2), "");
    EXPECT_EQ(Registrations("PCtrlsU.ocx"), kExpectNT ? 1u : 0u);
    EXPECT_EQ(Registrations("PCtrlsA.ocx"), kExpectNT ? 0u : 1u);
}

struct StepFailure
{
    const char* module; // placed as the family's build; null: none placed
    const char* why;
};

TEST_F(OleControlsStepTest, AModuleThatDoesNotRegisterStopsWithItsPath)
{
    const std::string familyFile = kExpectNT ? "PCtrlsU.ocx" : "PCtrlsA.ocx";
    const std::string otherFile = kExpectNT ? "PCtrlsA.ocx" : "PCtrlsU.ocx";
    const StepFailure failures[] = {
        {"reg_false.dll", "answers S_FALSE"},
        {"reg_noexport.dll", "lacks the export"},
        {nullptr, "is missing"},
    };
    for (const StepFailure& f : failures)
    {
        DeleteFileA((install + "\\Programs\\" + familyFile).c_str());
        // The other family's build registers fine, but is not the one asked for.
        Place("reg_ok.dll", otherFile.c_str());
        if (f.module)
        {
            Place(f.module, familyFile.c_str());
        }
        app.shown.clear();

        EXPECT_FALSE(COleRegistration(app.State()).RegisterOleControls()) << f.why;
        ASSERT_EQ(app.Texts().size(), 1u) << f.why;
        EXPECT_EQ(app.Texts()[0], "Failed to register OLE control \"" + install + "\\Programs\\" +
                                      familyFile + "\"")
            << f.why;
        EXPECT_EQ(Registrations(otherFile), 0u) << f.why;
    }
}
} // namespace
