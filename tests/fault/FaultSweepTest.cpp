// Every call of the install and of the uninstall made to fail in turn (and the install
// cut short), in worlds that hold what real machines hold: files of the user's own, other
// programs' boot-time requests, a folder typed with a trailing backslash, a crashed earlier
// run, questions answered No or never shown. The rules no failure may break are checked
// after each run, the clean ones included. KELVARIN_FAULT_SWEEP=full tries every point;
// otherwise each function's own first and last calls and a few between, so that the
// tree's tests stay quick.
#include "Fault.h"
#include "SweepWorld.h"
#include "framework/SystemError.h"
#include "install/PackageTable.h"

#include <gtest/gtest.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <string>

namespace
{
const char kCrashSwitch[] = "--crash-at=";

// The point being tried, for the last words of a run that ends the process: an exception
// that crosses the system's frames (a window procedure's) cannot be caught on this side.
std::string g_trying;

[[noreturn]] void ReportTermination()
{
    std::printf("%s: the process ended, an exception left where nothing could catch it\n",
                g_trying.c_str());
    std::fflush(stdout);
    std::abort();
}

using Variants = std::vector<CSweepWorld::Variant>;

bool WindowsNT()
{
    return std::string(KELVARIN_EXPECT_FAMILY) == "nt";
}

bool FullSweep()
{
    const char* sweep = std::getenv("KELVARIN_FAULT_SWEEP");
    return sweep && std::string(sweep) == "full";
}

// How many of each function's calls a world tries: in the tree's run, and in a full sweep.
constexpr uint64_t kEvery = UINT64_MAX;
struct Budget
{
    uint64_t spread;
    uint64_t full;
};

// One injection point: the at-th call of one function, failing with one error.
struct Point
{
    Fault::Api api;
    uint64_t at;
    uint32_t error;
};

// `count` calls, `budget` of them: the first, the last and evenly between.
std::vector<uint64_t> Spread(uint64_t count, uint64_t budget)
{
    std::vector<uint64_t> calls;
    if (count <= budget)
    {
        for (uint64_t n = 1; n <= count; ++n)
        {
            calls.push_back(n);
        }
        return calls;
    }
    if (budget <= 1)
    {
        return budget == 0 ? calls : std::vector<uint64_t>{count};
    }
    for (uint64_t i = 0; i < budget; ++i)
    {
        const uint64_t n = 1 + (i * (count - 1) + (budget - 1) / 2) / (budget - 1);
        if (calls.empty() || calls.back() != n)
        {
            calls.push_back(n);
        }
    }
    return calls;
}

// Each function's own points, each of its realistic errors in turn; `world` shifts where
// the turn starts, so that worlds with few points still try every error between them.
std::vector<Point> Sample(const uint64_t (&counts)[static_cast<int>(Fault::Api::Count)],
                          Fault::ApiSet apis, Budget budget, size_t world)
{
    std::vector<Point> points;
    for (int index = 0; index < static_cast<int>(Fault::Api::Count); ++index)
    {
        const Fault::Api api = static_cast<Fault::Api>(index);
        if (!apis.Has(api) || counts[index] == 0)
        {
            continue;
        }
        const std::vector<uint32_t> errors = Fault::RealisticErrors(api);
        const std::vector<uint64_t> calls =
            Spread(counts[index], FullSweep() ? budget.full : budget.spread);
        for (size_t i = 0; i < calls.size(); ++i)
        {
            points.push_back({api, calls[i], errors[(i + world) % errors.size()]});
        }
    }
    return points;
}

// What the code did right after a failure (the calls the harness logged), each function's
// calls in it sampled as Sample does.
std::vector<Point> SampleAftermath(const Fault::Stats& stats, Budget budget, size_t world)
{
    uint64_t counts[static_cast<int>(Fault::Api::Count)] = {};
    for (unsigned i = 0; i < stats.aftermathCalls; ++i)
    {
        ++counts[static_cast<int>(stats.aftermath[i].api)];
    }
    // Within the log a function's calls are its first ones since the failure.
    return Sample(counts, Fault::kAllApis, budget, world);
}

// A Win32 code in decimal, an HRESULT in hexadecimal, as each is usually written.
std::string ErrorName(uint32_t error)
{
    char text[16];
    std::snprintf(text, sizeof(text), error & 0x80000000u ? "0x%08X" : "%u", error);
    return text;
}

std::string Describe(const std::string& world, const Point& point)
{
    return "world \"" + world + "\", call " + std::to_string(point.at) + " of " +
           Fault::Name(point.api) + " failing with " + ErrorName(point.error);
}

// How many injection points of each kind were tried and how many held every rule; a point
// whose failure never fired is the harness's error, never a rule that held.
class CFigures
{
public:
    explicit CFigures(const char* sequence) : m_sequence(sequence), m_start(GetTickCount()) {}

    void Add(const std::string& world, const Point& point, bool held)
    {
        for (Row* row : {&m_all, &m_byWorld[world], &m_byApi[Fault::Name(point.api)],
                         &m_byError[ErrorName(point.error)]})
        {
            ++row->tried;
            row->held += held ? 1 : 0;
        }
    }
    void AddHarnessError() { ++m_harnessErrors; }
    void AddWorld(uint64_t points)
    {
        m_points += points;
        ++m_worlds;
    }

    void Print() const
    {
        std::printf("%s: %llu injection points in %u worlds, %u tried, %u held, %u harness errors "
                    "(%lu s)\n",
                    m_sequence, static_cast<unsigned long long>(m_points), m_worlds, m_all.tried,
                    m_all.held, m_harnessErrors, (GetTickCount() - m_start) / 1000);
        for (const auto* table : {&m_byWorld, &m_byApi, &m_byError})
        {
            const char* label = table == &m_byWorld   ? "world "
                                : table == &m_byError ? "error "
                                                      : "";
            for (const auto& row : *table)
            {
                const std::string name = label + row.first;
                std::printf("  %-50s %5u tried %5u held\n", name.c_str(), row.second.tried,
                            row.second.held);
            }
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
    DWORD m_start;
    uint64_t m_points = 0;
    unsigned m_worlds = 0;
    unsigned m_harnessErrors = 0;
    Row m_all;
    std::map<std::string, Row> m_byWorld;
    std::map<std::string, Row> m_byApi;
    std::map<std::string, Row> m_byError;
};

Fault::Plan PlanFor(const Point& point, Fault::Plan::Mode mode)
{
    return Fault::Plan(mode, point.at, point.error, Fault::Bit(point.api));
}

// Where a failure leaves something to protect, read from a clean run's changes: a move onto
// a target the run had just deleted (failing, it leaves the new file the only copy) and
// each boot-time request.
std::vector<Point> Firsts(const std::vector<Fault::Change>& changes)
{
    std::vector<Point> firsts;
    std::string deleted;
    for (size_t i = 0; i < changes.size(); ++i)
    {
        const Fault::Change& change = changes[i];
        const bool known =
            !firsts.empty() && firsts.back().api == change.api && firsts.back().at == change.call;
        // A move's change names its source, then its target.
        const bool ontoDeleted = change.api == Fault::Api::MoveFileA && i + 1 < changes.size() &&
                                 changes[i + 1].call == change.call &&
                                 CSweepWorld::Canonical(changes[i + 1].path) == deleted;
        if (change.api == Fault::Api::DeleteFileA)
        {
            deleted = CSweepWorld::Canonical(change.path);
        }
        else if (!known && change.call != 0 &&
                 (ontoDeleted || change.api == Fault::Api::MoveFileExA))
        {
            firsts.push_back({change.api, change.call, Fault::RealisticErrors(change.api)[0]});
        }
    }
    return firsts;
}

// WININIT.INI's opening for the merge, its writing and whatever else changes it, read from a
// clean run's changes: a run cut short there must leave the old text or the new one whole.
std::vector<Point> WininitWrites(const std::vector<Fault::Change>& changes,
                                 const std::string& wininit)
{
    std::vector<Point> points;
    for (const Fault::Change& change : changes)
    {
        const bool writes =
            change.api == Fault::Api::CreateFileA || change.api == Fault::Api::WriteFile ||
            change.api == Fault::Api::SetEndOfFile || change.api == Fault::Api::FlushFileBuffers;
        if (writes && change.call != 0 &&
            CSweepWorld::Canonical(change.path) == CSweepWorld::Canonical(wininit))
        {
            points.push_back({change.api, change.call, 0});
        }
    }
    return points;
}

// The calls whose moment a cut-short run ends at: those that change the machine.
constexpr Fault::ApiSet kChanging =
    Fault::Bit(Fault::Api::CreateFileA) | Fault::Bit(Fault::Api::WriteFile) |
    Fault::Bit(Fault::Api::FlushFileBuffers) | Fault::Bit(Fault::Api::SetEndOfFile) |
    Fault::Bit(Fault::Api::SetFileTime) | Fault::Bit(Fault::Api::SetFileAttributesA) |
    Fault::Bit(Fault::Api::DeleteFileA) | Fault::Bit(Fault::Api::MoveFileA) |
    Fault::Bit(Fault::Api::MoveFileExA) | Fault::Bit(Fault::Api::CreateDirectoryA) |
    Fault::Bit(Fault::Api::RegCreateKeyExA) | Fault::Bit(Fault::Api::RegSetValueExA) |
    Fault::Bit(Fault::Api::RegDeleteValueA) | Fault::Bit(Fault::Api::PersistFileSave);

class FaultSweep : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(Fault::Install());
        OleInitialize(nullptr);
        s_world = new CSweepWorld(WindowsNT());
        std::set_terminate(&ReportTermination);
    }
    static void TearDownTestSuite()
    {
        delete s_world;
        s_world = nullptr;
        OleUninitialize();
    }

    // A point whose failure never fired proves nothing: a harness error, never "held".
    static bool Fired(bool fired, const std::string& what, CFigures& figures)
    {
        if (!fired)
        {
            figures.AddHarnessError();
            ADD_FAILURE() << what << ": harness error, the failure never fired";
        }
        return fired;
    }

    static void Judge(std::vector<std::string> broken, const char* run, const std::string& escaped,
                      const std::string& what, const Point& point, CFigures& figures)
    {
        if (!escaped.empty())
        {
            broken.push_back(std::string("an exception left the ") + run + ": " + escaped);
        }
        figures.Add(s_world->Current().name, point, broken.empty());
        for (const std::string& fault : broken)
        {
            ADD_FAILURE() << what << ": " << fault;
        }
    }

    // A clean install counted, and checked like any other run: its calls by function.
    static Fault::Stats CountInstall(Fault::ApiSet apis,
                                     std::vector<Fault::Change>* changes = nullptr)
    {
        // Once, unarmed: whatever the code binds or caches on its first run is not a point.
        static bool warmedUp = false;
        if (!warmedUp)
        {
            warmedUp = true;
            s_world->PlantInstalled();
        }
        s_world->Plant();
        CSweepApp app;
        s_world->Prepare(app);
        std::string escaped;
        Fault::Arm(Fault::Plan(Fault::Plan::Mode::Count, 0, 0, apis));
        const bool installed = s_world->RunInstall(app, escaped);
        const Fault::Stats counted = Fault::Disarm();
        EXPECT_TRUE(installed && escaped.empty())
            << escaped << " " << ::testing::PrintToString(app.Texts());
        // The medium's record was read and its packages compared: by SHA-256 on NT, by CRC-32
        // as 98 has no SHA-256 to give (asked for under both of the provider's names).
        if (apis.Has(Fault::Api::CryptAcquireContextA))
        {
            EXPECT_EQ(counted.perApi[static_cast<int>(Fault::Api::CryptAcquireContextA)],
                      s_world->WindowsNT() ? 1u : 2u);
            EXPECT_EQ(counted.perApi[static_cast<int>(Fault::Api::CryptHashData)] != 0,
                      s_world->WindowsNT());
        }
        for (const std::string& fault : s_world->CheckInstall(installed, app, Fault::Changes()))
        {
            ADD_FAILURE() << "world \"" << s_world->Current().name
                          << "\", nothing failing: " << fault;
        }
        if (changes)
        {
            *changes = Fault::Changes();
        }
        return counted;
    }

    // One install with the point's failure (after `first`'s, when given); what broke goes to
    // the test's report. Its stats count every call that followed the first failure.
    // What a run told: whether it reported success, and its messages.
    struct Told
    {
        bool installed = false;
        std::vector<std::string> texts;
    };
    static Fault::Stats FailInstallAt(const Point& point, CFigures& figures,
                                      const Point* first = nullptr, Told* told = nullptr)
    {
        s_world->Plant();
        CSweepApp app;
        s_world->Prepare(app);
        std::string escaped;
        std::string what = Describe(s_world->Current().name, first ? *first : point);
        Fault::Plan plan = PlanFor(first ? *first : point, Fault::Plan::Mode::Fail);
        plan.after = Fault::kAllApis;
        if (first)
        {
            plan.thenApi = point.api;
            plan.thenAt = point.at;
            plan.thenError = point.error;
            what += ", then call " + std::to_string(point.at) + " of " + Fault::Name(point.api) +
                    " after it failing with " + ErrorName(point.error);
        }
        Fault::CWatchdog watchdog(120000, "an install with " + what);
        g_trying = what;
        Fault::Arm(plan);
        const bool installed = s_world->RunInstall(app, escaped);
        const Fault::Stats stats = Fault::Disarm();
        watchdog.Cancel();
        if (Fired(stats.fired && (!first || stats.thenFired), what, figures))
        {
            Judge(s_world->CheckInstall(installed, app, Fault::Changes()), "install", escaped, what,
                  point, figures);
        }
        if (told)
        {
            *told = {installed, app.Texts()};
        }
        return stats;
    }

    static void SweepInstall(const char* title, Fault::ApiSet apis, const Variants& variants,
                             const std::vector<Budget>& budgets)
    {
        CFigures figures(title);
        for (size_t world = 0; world < variants.size(); ++world)
        {
            if (!s_world->Fits(variants[world]))
            {
                continue;
            }
            s_world->Use(variants[world]);
            const Fault::Stats counted = CountInstall(apis);
            figures.AddWorld(counted.total);
            for (const Point& point : Sample(counted.perApi, apis, budgets[world], world))
            {
                FailInstallAt(point, figures);
            }
        }
        figures.Print();
    }

    // The uninstall of an undisturbed install, with each point's failure.
    static void SweepUninstall(const char* title, Fault::ApiSet apis,
                               const std::vector<Budget>& budgets)
    {
        CFigures figures(title);
        const Variants& variants = CSweepWorld::UninstallVariants();
        for (size_t world = 0; world < variants.size(); ++world)
        {
            if (!s_world->Fits(variants[world]))
            {
                continue;
            }
            s_world->Use(variants[world]);
            ASSERT_TRUE(s_world->PlantInstalled()) << variants[world].name;
            CSweepApp counting;
            std::string escaped;
            Fault::Arm(Fault::Plan(Fault::Plan::Mode::Count, 0, 0, apis));
            EXPECT_TRUE(s_world->RunUninstall(counting, escaped)) << escaped;
            const Fault::Stats counted = Fault::Disarm();
            for (const std::string& fault : s_world->CheckUninstall(counting, Fault::Changes()))
            {
                ADD_FAILURE() << "world \"" << variants[world].name
                              << "\", nothing failing: " << fault;
            }
            figures.AddWorld(counted.total);
            for (const Point& point : Sample(counted.perApi, apis, budgets[world], world))
            {
                ASSERT_TRUE(s_world->PlantInstalled());
                CSweepApp app;
                const std::string what = Describe(variants[world].name, point);
                Fault::CWatchdog watchdog(120000, "an uninstall with " + what);
                g_trying = what;
                Fault::Arm(PlanFor(point, Fault::Plan::Mode::Fail));
                std::string left;
                s_world->RunUninstall(app, left);
                const Fault::Stats stats = Fault::Disarm();
                watchdog.Cancel();
                if (Fired(stats.fired, what, figures))
                {
                    Judge(s_world->CheckUninstall(app, Fault::Changes()), "uninstall", left, what,
                          point, figures);
                }
            }
        }
        figures.Print();
    }

    static CSweepWorld* s_world;
};
CSweepWorld* FaultSweep::s_world = nullptr;

TEST_F(FaultSweep, NoFailedCallOfTheInstallCostsAnybodysData)
{
    // The crashed run's only copy: the first calls too, where the clean-up reads the boot-time
    // list. The shorter WININIT.INI: its clean run, in the tree's run.
    SweepInstall("install, failed calls", Fault::kAllButAllocations, CSweepWorld::InstallVariants(),
                 {{3, kEvery}, {2, 10}, {1, 6}, {1, 6}, {2, 6}, {0, 6}, {1, 6}, {0, 6}});
}

TEST_F(FaultSweep, NoFailedAllocationOfTheInstallCostsAnybodysData)
{
    // Allocations are many and alike: even the full sweep takes a spread of them.
    const Variants& all = CSweepWorld::InstallVariants();
    SweepInstall("install, failed allocations", Fault::kAllocations, {all[0], all[1]},
                 {{40, 2000}, {10, 200}});
}

// The review's losses took two failures: a move that failed after the old file was gone
// (or a boot-time request that was refused), then one in what the setup did about it.
// Any failure opens a path the setup takes only then (the reason's text, a folder's
// listing asked instead of a file's attributes): in the plain world one point of each
// function leads to the same sampling of what follows it.
TEST_F(FaultSweep, NoSecondFailureAfterAFailedCallLosesTheOnlyCopyOrGoesUntold)
{
    const Variants& variants = CSweepWorld::InstallVariants();
    const std::vector<Budget> budgets = {{3, kEvery}, {0, kEvery}, {0, 4}, {0, 4},
                                         {0, 4},      {0, 4},      {0, 4}};
    const Budget anyCall = {1, 3};
    CFigures figures("install, a second failure after a failed call");
    for (size_t world = 0; world < variants.size(); ++world)
    {
        if ((FullSweep() ? budgets[world].full : budgets[world].spread) == 0 ||
            !s_world->Fits(variants[world]))
        {
            continue;
        }
        s_world->Use(variants[world]);
        std::vector<Fault::Change> changes;
        const Fault::Stats counted = CountInstall(Fault::kAllButAllocations, &changes);
        figures.AddWorld(counted.total);
        std::vector<Point> firsts = Firsts(changes);
        const size_t moves = firsts.size();
        if (world == 0)
        {
            for (const Point& point :
                 Sample(counted.perApi, Fault::kAllButAllocations, anyCall, world))
            {
                firsts.push_back(point);
            }
        }
        for (size_t i = 0; i < firsts.size(); ++i)
        {
            const Fault::Stats alone = FailInstallAt(firsts[i], figures);
            std::vector<Point> seconds =
                SampleAftermath(alone, i < moves ? budgets[world] : Budget{1, 1}, world);
            if (i >= moves && !FullSweep() && !seconds.empty())
            {
                // The spread takes one of them in turn, so that make test stays short.
                seconds = {seconds[i % seconds.size()]};
            }
            for (const Point& second : seconds)
            {
                FailInstallAt(second, figures, &firsts[i]);
            }
        }
    }
    figures.Print();
}

TEST_F(FaultSweep, AnInstallCutShortIsFinishedByTheNextOne)
{
    const Variants& variants = CSweepWorld::InstallVariants();
    const char* child = std::strstr(GetCommandLineA(), kCrashSwitch);
    if (child)
    {
        // The cut-short run, "--crash-at=world:function:call": it ends at the planned
        // call, as if the process were killed.
        char* next = nullptr;
        const size_t world = std::strtoul(child + std::strlen(kCrashSwitch), &next, 10);
        const int api = static_cast<int>(std::strtol(next + 1, &next, 10));
        const uint64_t at = std::strtoull(next + 1, nullptr, 10);
        s_world->Use(variants.at(world));
        CSweepApp app;
        s_world->Prepare(app);
        std::string escaped;
        Fault::Arm(PlanFor({static_cast<Fault::Api>(api), at, 0}, Fault::Plan::Mode::Crash));
        s_world->RunInstall(app, escaped);
        ExitProcess(0);
    }

    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof(self));
    // The plain world and the crashed run's, and WININIT.INI's writing where the merged text is
    // shorter than the old: cut there, a text cut to its new length would keep the old tail.
    std::map<size_t, Budget> budgets = {{0, {1, 20}}, {1, {0, 3}}};
    for (size_t world = 0; world < variants.size(); ++world)
    {
        if (variants[world].wininitShrinks)
        {
            budgets[world] = {0, 3};
        }
    }
    unsigned tried = 0, held = 0;
    uint64_t points = 0;
    for (const auto& [world, budget] : budgets)
    {
        if (!s_world->Fits(variants[world]))
        {
            continue;
        }
        s_world->Use(variants[world]);
        std::vector<Fault::Change> changes;
        const Fault::Stats counted = CountInstall(kChanging, &changes);
        points += counted.total;
        const CSweepWorld::Snapshot clean = s_world->Take();
        ASSERT_FALSE(clean.files.empty());
        std::vector<Point> cuts = Sample(counted.perApi, kChanging, budget, world);
        for (const Point& point : WininitWrites(changes, s_world->WininitPath()))
        {
            if (std::none_of(cuts.begin(), cuts.end(),
                             [&](const Point& cut)
                             { return cut.api == point.api && cut.at == point.at; }))
            {
                cuts.push_back(point);
            }
        }
        for (const Point& point : cuts)
        {
            s_world->Plant();
            std::string command =
                std::string("\"") + self +
                "\" --gtest_filter=FaultSweep.AnInstallCutShortIsFinishedByTheNextOne " +
                kCrashSwitch + std::to_string(world) + ":" +
                std::to_string(static_cast<int>(point.api)) + ":" + std::to_string(point.at);
            STARTUPINFOA startup = {};
            startup.cb = sizeof(startup);
            PROCESS_INFORMATION process = {};
            ASSERT_TRUE(CreateProcessA(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                       nullptr, &startup, &process));
            WaitForSingleObject(process.hProcess, 120000);
            DWORD code = 0;
            GetExitCodeProcess(process.hProcess, &code);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
            const std::string what = "world \"" + std::string(variants[world].name) +
                                     "\", cut short at call " + std::to_string(point.at) + " of " +
                                     Fault::Name(point.api);
            if (code != Fault::kCrashExitCode)
            {
                ADD_FAILURE() << what << ": harness error, the run was not cut short (exit code "
                              << code << ")";
                continue;
            }

            CSweepApp app;
            s_world->Prepare(app);
            std::string escaped;
            const bool installed = s_world->RunInstall(app, escaped);
            std::vector<std::string> broken = CSweepWorld::Compare(clean, s_world->Take());
            for (const std::string& fault : s_world->CheckBootRequests(!app.shown.empty(), nullptr))
            {
                broken.push_back(fault);
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
                ADD_FAILURE() << what << ": " << fault;
            }
        }
    }
    std::printf("install cut short: %llu points, %u tried, %u finished by the next run\n",
                static_cast<unsigned long long>(points), tried, held);
}

// The check asks the system for SHA-256. An answer that it has none (2000: no AES provider by
// either name; NT 4.0: no provider of that type; XP before SP3: a provider without SHA-256)
// compares by CRC-32 and installs; any other failure stops the setup, with the system's reason,
// before the first folder is made.
TEST_F(FaultSweep, OnlyASystemWithoutSha256IsCheckedByCrc32)
{
    using Fault::Api;
    const Point none = {Api::Count, 0, 0};
    const auto noProvider = static_cast<uint32_t>(NTE_KEYSET_NOT_DEF);
    const auto noType = static_cast<uint32_t>(NTE_PROV_TYPE_NOT_DEF);
    const struct
    {
        const char* what;
        Point first;
        Point then; // a second failure after it
        bool installs;
    } rows[] = {
        {"no AES provider",
         {Api::CryptAcquireContextA, 1, noProvider},
         {Api::CryptAcquireContextA, 1, noProvider},
         true},
        {"no AES provider type",
         {Api::CryptAcquireContextA, 1, noType},
         {Api::CryptAcquireContextA, 1, noType},
         true},
        {"no SHA-256 in the provider",
         {Api::CryptCreateHash, 1, static_cast<uint32_t>(NTE_BAD_ALGID)},
         none,
         true},
        {"memory runs out",
         {Api::CryptAcquireContextA, 1, static_cast<uint32_t>(NTE_NO_MEMORY)},
         none,
         false},
        // No key container is opened: no system without SHA-256 answers so.
        {"a missing key container",
         {Api::CryptAcquireContextA, 1, static_cast<uint32_t>(NTE_BAD_KEYSET)},
         none,
         false},
    };
    const std::string first =
        PackageTable::Placements(WindowsNT(), std::string(), std::string())[0].package;
    s_world->Use(CSweepWorld::InstallVariants()[0]);
    CFigures figures("the check without SHA-256");
    for (const auto& row : rows)
    {
        // 98's CryptoAPI has no AES provider type: it never asks for the hash.
        if (row.first.api == Api::CryptCreateHash && !WindowsNT())
        {
            continue;
        }
        SCOPED_TRACE(row.what);
        Told told;
        const Fault::Stats stats = row.then.api == Api::Count
                                       ? FailInstallAt(row.first, figures, nullptr, &told)
                                       : FailInstallAt(row.then, figures, &row.first, &told);
        EXPECT_EQ(told.installed, row.installs);
        EXPECT_EQ(stats.after[static_cast<int>(Api::CryptHashData)], 0u);
        if (row.installs)
        {
            continue;
        }
        EXPECT_EQ(stats.after[static_cast<int>(Api::CreateDirectoryA)], 0u);
        // The system's reason stands in the message without its line break.
        std::string reason = SystemError::Text(row.first.error);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r'))
        {
            reason.pop_back();
        }
        EXPECT_EQ(told.texts,
                  std::vector<std::string>{"Setup could not check the package file \"" + first +
                                           "\", so nothing was installed - " + reason});
    }
}

TEST_F(FaultSweep, NoFailedCallOfTheUninstallDeletesOutsideItOrGoesUntold)
{
    SweepUninstall("uninstall, failed calls", Fault::kAllButAllocations,
                   {{2, kEvery}, {1, kEvery}, {1, 20}, {2, kEvery}, {1, kEvery}});
}

TEST_F(FaultSweep, NoFailedAllocationOfTheUninstallDeletesOutsideItOrGoesUntold)
{
    // As for the install, the allocations are many and alike: the full sweep takes a spread.
    SweepUninstall("uninstall, failed allocations", Fault::kAllocations,
                   {{20, 600}, {5, 100}, {5, 100}, {5, 100}, {0, 20}});
}
} // namespace
