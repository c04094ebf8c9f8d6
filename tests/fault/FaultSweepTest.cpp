// Every call of the install and of the uninstall made to fail in turn (and the install
// cut short at every call), each time on a machine with files of the user's own, and
// the rules that no failure may break checked after each run. KELVARIN_FAULT_SWEEP=full
// tries every point; otherwise a spread of them, so that the tree's tests stay quick.
#include "Fault.h"
#include "SweepWorld.h"

#include <gtest/gtest.h>
#include <ole2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace
{
const char kCrashSwitch[] = "--crash-at=";

bool WindowsNT()
{
    return std::string(KELVARIN_EXPECT_FAMILY) == "nt";
}

bool FullSweep()
{
    const char* sweep = std::getenv("KELVARIN_FAULT_SWEEP");
    return sweep && std::string(sweep) == "full";
}

// The calls a sweep tries: about `budget` spread evenly, or in a full sweep all of them
// (or `fullBudget` when given).
std::vector<uint64_t> Points(uint64_t total, uint64_t budget, uint64_t fullBudget = 0)
{
    if (FullSweep())
    {
        budget = fullBudget ? fullBudget : total;
    }
    std::vector<uint64_t> points;
    const uint64_t step = total <= budget ? 1 : (total + budget - 1) / budget;
    for (uint64_t n = 1; n <= total; n += step)
    {
        points.push_back(n);
    }
    return points;
}

// A Win32 code in decimal, an HRESULT in hexadecimal, as each is usually written.
std::string ErrorName(uint32_t error)
{
    char text[16];
    std::snprintf(text, sizeof(text), error & 0x80000000u ? "0x%08X" : "%u", error);
    return text;
}

// How many injection points of each kind were tried and how many held every rule.
class CFigures
{
public:
    explicit CFigures(const char* sequence) : m_sequence(sequence) {}

    void Add(const Fault::Stats& stats, bool held)
    {
        Row& byApi = m_byApi[stats.fired ? Fault::Name(stats.firedApi) : "(none fired)"];
        Row& byError = m_byError[stats.fired ? ErrorName(stats.firedError) : "-"];
        for (Row* row : {&m_all, &byApi, &byError})
        {
            ++row->tried;
            row->held += held ? 1 : 0;
        }
    }

    void Print(uint64_t points) const
    {
        std::printf("%s: %llu injection points, %u tried, %u held\n", m_sequence,
                    static_cast<unsigned long long>(points), m_all.tried, m_all.held);
        for (const auto& row : m_byApi)
        {
            std::printf("  %-28s %5u tried %5u held\n", row.first.c_str(), row.second.tried,
                        row.second.held);
        }
        for (const auto& row : m_byError)
        {
            std::printf("  error %-22s %5u tried %5u held\n", row.first.c_str(), row.second.tried,
                        row.second.held);
        }
        std::fflush(stdout);
    }

private:
    struct Row
    {
        unsigned tried = 0;
        unsigned held = 0;
    };
    const char* m_sequence;
    Row m_all;
    std::map<std::string, Row> m_byApi;
    std::map<std::string, Row> m_byError;
};

class FaultSweep : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(Fault::Install());
        OleInitialize(nullptr);
        s_world = new CSweepWorld(WindowsNT());
    }
    static void TearDownTestSuite()
    {
        delete s_world;
        s_world = nullptr;
        OleUninitialize();
    }

    // A clean run counted: the number of injection points of `apis`.
    static uint64_t CountInstall(uint64_t apis)
    {
        s_world->Plant();
        TestSupport::CTestApp app;
        s_world->Prepare(app);
        std::string escaped;
        Fault::Plan plan;
        plan.apis = apis;
        Fault::Arm(plan);
        const bool installed = s_world->RunInstall(app, escaped);
        const uint64_t points = Fault::Disarm().total;
        EXPECT_TRUE(installed && escaped.empty())
            << escaped << " " << ::testing::PrintToString(app.Texts());
        return points;
    }

    // One install with the N-th call of `apis` failing; what broke goes to the test's report.
    static void FailInstallAt(uint64_t n, uint64_t apis, CFigures& figures)
    {
        s_world->Plant();
        TestSupport::CTestApp app;
        s_world->Prepare(app);
        std::string escaped;
        Fault::Plan plan;
        plan.mode = Fault::Plan::Mode::Fail;
        plan.at = n;
        plan.apis = apis;
        Fault::CWatchdog watchdog(120000, "an install with call " + std::to_string(n) + " failing");
        Fault::Arm(plan);
        const bool installed = s_world->RunInstall(app, escaped);
        const Fault::Stats stats = Fault::Disarm();
        watchdog.Cancel();
        std::vector<std::string> broken = s_world->CheckInstall(installed, app, Fault::Changes());
        if (!escaped.empty())
        {
            broken.push_back("an exception left the install: " + escaped);
        }
        figures.Add(stats, broken.empty());
        for (const std::string& fault : broken)
        {
            ADD_FAILURE() << "call " << n << " (" << Fault::Name(stats.firedApi) << " failing with "
                          << stats.firedError << "): " << fault;
        }
    }

    static CSweepWorld* s_world;
};
CSweepWorld* FaultSweep::s_world = nullptr;

TEST_F(FaultSweep, NoFailedCallOfTheInstallCostsAnybodysData)
{
    const uint64_t points = CountInstall(Fault::kAllButNew);
    ASSERT_GT(points, 100u);
    CFigures figures("install, failed calls");
    for (uint64_t n : Points(points, 150))
    {
        FailInstallAt(n, Fault::kAllButNew, figures);
    }
    figures.Print(points);
}

TEST_F(FaultSweep, NoFailedAllocationOfTheInstallCostsAnybodysData)
{
    const uint64_t apis = Fault::Bit(Fault::Api::OperatorNew);
    const uint64_t points = CountInstall(apis);
    ASSERT_GT(points, 100u);
    CFigures figures("install, failed allocations");
    // Allocations are many and alike: even the full sweep takes a spread of them.
    for (uint64_t n : Points(points, 40, 2000))
    {
        FailInstallAt(n, apis, figures);
    }
    figures.Print(points);
}

TEST_F(FaultSweep, AnInstallCutShortIsFinishedByTheNextOne)
{
    const char* child = std::strstr(GetCommandLineA(), kCrashSwitch);
    if (child)
    {
        // The cut-short run: it ends at the planned call, as if the process were killed.
        TestSupport::CTestApp app;
        s_world->Prepare(app);
        std::string escaped;
        Fault::Plan plan;
        plan.mode = Fault::Plan::Mode::Crash;
        plan.at = std::strtoull(child + std::strlen(kCrashSwitch), nullptr, 10);
        Fault::Arm(plan);
        s_world->RunInstall(app, escaped);
        ExitProcess(0);
    }

    const uint64_t points = CountInstall(Fault::kAllButNew);
    const CSweepWorld::Snapshot clean = s_world->Take();
    ASSERT_FALSE(clean.files.empty());
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof(self));
    unsigned tried = 0, held = 0;
    for (uint64_t n : Points(points, 12))
    {
        s_world->Plant();
        std::string command =
            std::string("\"") + self +
            "\" --gtest_filter=FaultSweep.AnInstallCutShortIsFinishedByTheNextOne " + kCrashSwitch +
            std::to_string(n);
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(CreateProcessA(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &process));
        WaitForSingleObject(process.hProcess, 120000);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        EXPECT_EQ(code, Fault::kCrashExitCode) << "call " << n;

        TestSupport::CTestApp app;
        s_world->Prepare(app);
        std::string escaped;
        const bool installed = s_world->RunInstall(app, escaped);
        std::vector<std::string> broken = CSweepWorld::Compare(clean, s_world->Take());
        for (const std::string& temporary : s_world->CheckTemporaries())
        {
            broken.push_back(temporary);
        }
        if (!installed || !escaped.empty())
        {
            broken.push_back("the next install did not complete: " + escaped + " " +
                             ::testing::PrintToString(app.Texts()));
        }
        ++tried;
        held += broken.empty() ? 1 : 0;
        for (const std::string& fault : broken)
        {
            ADD_FAILURE() << "cut short at call " << n << ": " << fault;
        }
    }
    std::printf("install cut short: %llu points, %u tried, %u finished by the next run\n",
                static_cast<unsigned long long>(points), tried, held);
}

TEST_F(FaultSweep, NoFailureOfTheUninstallDeletesOutsideTheInstallFolder)
{
    auto plant = []
    {
        ASSERT_TRUE(s_world->PlantInstalled());
        CreateDirectoryA("C:\\FaultSweep\\Outside", nullptr);
        ASSERT_TRUE(TestFiles::WriteText("C:\\FaultSweep\\Outside\\Keep.txt", "not the product's"));
        ASSERT_TRUE(TestFiles::WriteText(s_world->InstallPath() + "\\Documents\\Mine.txt", "mine"));
    };
    plant();
    TestSupport::CTestApp counting;
    std::string escaped;
    Fault::Arm({});
    ASSERT_TRUE(s_world->RunUninstall(counting, escaped)) << escaped;
    const uint64_t points = Fault::Disarm().total;
    ASSERT_TRUE(s_world->CheckUninstall(Fault::Changes()).empty());

    CFigures figures("uninstall, failed calls");
    for (uint64_t n : Points(points, 40))
    {
        plant();
        TestSupport::CTestApp app;
        Fault::Plan plan;
        plan.mode = Fault::Plan::Mode::Fail;
        plan.at = n;
        Fault::CWatchdog watchdog(120000,
                                  "an uninstall with call " + std::to_string(n) + " failing");
        Fault::Arm(plan);
        std::string left;
        s_world->RunUninstall(app, left);
        const Fault::Stats stats = Fault::Disarm();
        watchdog.Cancel();
        std::vector<std::string> broken = s_world->CheckUninstall(Fault::Changes());
        if (!left.empty())
        {
            broken.push_back("an exception left the uninstall: " + left);
        }
        figures.Add(stats, broken.empty());
        for (const std::string& fault : broken)
        {
            ADD_FAILURE() << "call " << n << " (" << Fault::Name(stats.firedApi) << "): " << fault;
        }
    }
    figures.Print(points);
}
} // namespace
