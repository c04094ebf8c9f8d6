// Users' histories: from each world, every sequence of user actions up to a length, with the
// rules checked after every step. Prefixes that leave the machine as one already walked are
// continued once (the tree's run walks four steps; KELVARIN_FAULT_SWEEP=full walks five, over
// every action in every world).
#include "ExplorerMachine.h"
#include "Fault.h"

#include <gtest/gtest.h>
#include <ole2.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace
{
using World = CExplorerMachine::World;
using Action = CExplorerMachine::Action;
using History = std::vector<Action>;

bool WindowsNT()
{
    return std::string(KELVARIN_EXPECT_FAMILY) == "nt";
}

unsigned Depth()
{
    const char* sweep = std::getenv("KELVARIN_FAULT_SWEEP");
    return sweep && std::string(sweep) == "full" ? 5 : 4;
}

std::string Describe(World world, const History& history)
{
    std::string text = CExplorerMachine::Name(world);
    for (Action action : history)
    {
        text += std::string(" > ") + CExplorerMachine::Name(action);
    }
    return text;
}

struct Figures
{
    unsigned sequences = 0, steps = 0, broken = 0;
};

// The actions the tree's run tries in a world: those of the plain machine in it, and in the
// others those that meet what the world changes. A full walk tries every action everywhere.
bool Tried(World world, Action action)
{
    if (Depth() > 4)
    {
        return true;
    }
    // Tarpan LT's program and the read-only medium meet the same code on both families: the
    // tree's run walks them on 9x, whose installs are the quicker.
    if ((world == World::TarpanLeft || world == World::ReadOnlyMedium) && WindowsNT())
    {
        return false;
    }
    const bool everywhere = action == Action::InstallPreset || action == Action::MenuUninstallYes ||
                            action == Action::CopyUninstallYes || action == Action::Restart;
    switch (world)
    {
    case World::Plain:
        return action != Action::InstallTypedNew && action != Action::TarpanUpgrade &&
               action != Action::DisconnectShare && action != Action::TarpanPutBack &&
               action != Action::InstallTypedExistingYes;
    case World::Installed:
        return everywhere || action == Action::MenuUninstallNo || action == Action::CopyExit;
    case World::TarpanLeft:
        return everywhere || action == Action::TarpanUpgrade || action == Action::DeleteFolder ||
               action == Action::CopyExit || action == Action::TarpanPutBack;
    case World::ReadOnlyMedium:
        return everywhere;
    default:
        return everywhere || action == Action::InstallTypedNew;
    }
}

// Walks one world breadth first, so that a broken rule is first met in its shortest history;
// each rule's first breach is kept with that history. A machine already walked is not walked
// again, and each step starts from the machine its history left, put back as it was saved.
void Walk(CExplorerMachine& machine, World world, Figures& figures,
          std::map<std::string, std::string>& firstBreach)
{
    struct Node
    {
        History history;
        std::shared_ptr<const CExplorerMachine::Saved> saved;
        std::string state;
    };
    if (!machine.Reset(world))
    {
        firstBreach["world " + std::string(CExplorerMachine::Name(world))] = "could not be made";
        return;
    }
    std::vector<Node> frontier{{History(), machine.Save(), machine.Fingerprint()}};
    std::set<std::string> seen{frontier.front().state};
    const bool trace = std::getenv("KELVARIN_EXPLORER_TRACE") != nullptr;
    for (unsigned length = 1; length <= Depth() && !frontier.empty(); ++length)
    {
        std::vector<Node> next;
        for (const Node& node : frontier)
        {
            bool atNode = false;
            for (int a = 0; a < static_cast<int>(Action::Count); ++a)
            {
                const Action action = static_cast<Action>(a);
                if (!Tried(world, action))
                {
                    continue;
                }
                if (!atNode)
                {
                    machine.Restore(*node.saved);
                    if (machine.Fingerprint() != node.state)
                    {
                        std::string why;
                        for (const std::string& breach : machine.Check())
                        {
                            why += "\n    " + breach;
                        }
                        firstBreach["harness"] =
                            Describe(world, node.history) + " could not be put back:\n    " +
                            machine.Fingerprint() + "\n    " + node.state + why;
                        return;
                    }
                }
                History history = node.history;
                history.push_back(action);
                const DWORD start = GetTickCount();
                const bool offered = machine.Apply(action);
                ++figures.steps;
                if (trace)
                {
                    std::printf("%s: %s, %lu ms\n", Describe(world, history).c_str(),
                                offered ? "done" : "not offered", GetTickCount() - start);
                    std::fflush(stdout);
                }
                const std::vector<std::string> broken = machine.Check();
                figures.sequences += offered ? 1 : 0;
                for (const std::string& breach : broken)
                {
                    ++figures.broken;
                    const std::string rule =
                        breach.substr(0, breach.find(':')) + ", " + CExplorerMachine::Name(world);
                    if (!firstBreach.count(rule))
                    {
                        // Said as it is met, so that a long walk shows it before it ends.
                        firstBreach[rule] = Describe(world, history) + "\n    " + breach;
                        std::printf("broken: %s\n    %s\n", Describe(world, history).c_str(),
                                    breach.c_str());
                        std::fflush(stdout);
                    }
                }
                const std::string state = machine.Fingerprint();
                atNode = state == node.state;
                if (offered && seen.insert(state).second)
                {
                    next.push_back({history, machine.Save(), state});
                }
            }
        }
        frontier.swap(next);
    }
}
} // namespace

TEST(Explorer, EveryHistoryKeepsTheRules)
{
    ASSERT_TRUE(Fault::Install());
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    std::map<std::string, std::string> firstBreach;
    Figures total;
    unsigned rules = 0;
    {
        CExplorerMachine machine(WindowsNT());
        for (int w = 0; w < static_cast<int>(World::Count); ++w)
        {
            const World world = static_cast<World>(w);
            // KELVARIN_EXPLORER_WORLD=n walks the n-th world alone.
            const char* only = std::getenv("KELVARIN_EXPLORER_WORLD");
            if (!CExplorerMachine::Fits(world, WindowsNT()) ||
                !Tried(world, Action::InstallPreset) || (only && std::atoi(only) != w))
            {
                continue;
            }
            Figures figures;
            const DWORD start = GetTickCount();
            Walk(machine, world, figures, firstBreach);
            std::printf("%-48s %5u sequences %6u steps %5u broken  %5.1f s\n",
                        CExplorerMachine::Name(world), figures.sequences, figures.steps,
                        figures.broken, (GetTickCount() - start) / 1000.0);
            std::fflush(stdout);
            total.sequences += figures.sequences;
            total.steps += figures.steps;
            total.broken += figures.broken;
        }
        rules = machine.RulesChecked();
    }
    OleUninitialize();
    std::printf("up to %u steps: %u sequences, %u steps, %u rules checked, %u broken\n", Depth(),
                total.sequences, total.steps, rules, total.broken);
    for (const auto& breach : firstBreach)
    {
        ADD_FAILURE() << breach.first << ", first broken in: " << breach.second;
    }
}
