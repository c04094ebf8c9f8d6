// A machine as users have it, driven through the setup's own code the way a user drives the
// setup: the main menu of the medium or of the setup's copy that the programs-list entry
// starts, the path dialog's judgement of a typed folder, the install and the uninstall, and
// the restart that carries out what waits for the boot. The machine keeps its own account of
// what the user did, and the rules compare what the setup left with that account.
#pragma once

#include "TestApp.h"
#include "app/KelvarinApp.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

class CExplorerMachine
{
public:
    // How the machine differs from a plain one before the setup first runs.
    enum class World
    {
        Plain,
        Installed,              // the product installed in the preset folder
        DocumentsOffline,       // Documents and Desktop redirected to a share not reachable
        ProfileOutsideCodePage, // another account's profile named in another script (NT)
        TarpanLeft,             // Tarpan LT's program left (or put back) in its fixed place
        LinkOnTypedPath,        // the folder the user types is a link to another (NT)
        ZeroFileIndexes,        // a redirector that gives every file index 0
        ReadOnlyMedium,         // every file of the medium read-only, as on a disc
        Count
    };
    enum class Action
    {
        InstallPreset,           // menu Install, the path dialog's preset taken
        InstallTypedNew,         // a new folder typed in the path dialog
        InstallTypedExistingYes, // a folder of the user's typed, "install there?" Yes
        InstallTypedExistingNo,  // the same answered No, then the dialog left
        Upgrade,                 // an older build recorded, menu Install upgrades in place
        TarpanUpgrade,           // menu Install over Tarpan LT's program
        MenuUninstallYes,        // the medium's menu, Uninstall, the question answered Yes
        MenuUninstallNo,
        CopyUninstallYes, // the copy the entry starts, Uninstall, Yes
        CopyUninstallNo,
        CopyExit,        // the copy's menu opened and left
        Restart,         // the boot carries out what waits for it
        DeleteFolder,    // the product folder deleted by hand
        DisconnectShare, // Documents moves to a share that is then not reachable
        TarpanPutBack,   // Tarpan LT's program put back in its fixed place (a backup)
        Count
    };
    static const char* Name(World world);
    static const char* Name(Action action);
    // Whether a world means anything on this family.
    static bool Fits(World world, bool windowsNT);

    explicit CExplorerMachine(bool windowsNT);
    ~CExplorerMachine();

    // The machine as it was before the setup ever ran, with the world's additions.
    bool Reset(World world);

    // Everything of the machine an action can change or a rule looks at, and the account of
    // what the user did: taken after a step and put back before the next from there, so that
    // a walk never repeats the steps that led to a machine.
    struct Saved;
    std::shared_ptr<const Saved> Save() const;
    void Restore(const Saved& saved);
    // One user action; false when the menu did not offer it (the user left the menu).
    bool Apply(Action action);
    // The rules that broke after the last action, each "rule: what".
    std::vector<std::string> Check();
    // What tells two machines apart for the rest of a walk.
    std::string Fingerprint() const;
    // The rules checked so far.
    unsigned RulesChecked() const { return m_rulesChecked; }

private:
    struct Sentinel
    {
        std::string path;
        std::string text;
    };
    struct Model
    {
        bool installed = false;
        std::string folder; // canonical, where the last install put the product
        bool folderGone = false;
        bool bootSinceUninstall = false;
        bool offline = false;
        std::vector<std::string> handedOver; // folders the user gave to the product
        std::vector<Sentinel> sentinels;     // what is not the product's, as it must stay
    };
    // What a No or an Exit must leave as it was.
    struct ProductState
    {
        std::string record, entry, copy, tree;
        bool operator==(const ProductState& other) const
        {
            return record == other.record && entry == other.entry && copy == other.copy &&
                   tree == other.tree;
        }
    };

    std::vector<std::string> TemporaryFolders() const;
    // Deletes what any step may have made, leaving the world's own things.
    void Clean();
    bool Install(Action action);
    bool UninstallFromMenu(bool yes);
    // The uninstall the menu offered, with every file and registry call it makes logged.
    void Uninstall(CKelvarinApp& app, const std::string& folder);
    bool UninstallFromCopy(Action action);
    // Runs the install sequence as the setup does after the menu and the dialogs.
    bool RunInstall(TestSupport::CTestApp& app);
    void Answer(TestSupport::CTestApp& app, int yesNo);
    void Redirect(const wchar_t* share);
    ProductState Product() const;
    std::string EntryValue(const char* name) const;
    std::string CopyOfEntry() const;
    std::vector<std::string> PendingOps() const;
    void Broke(const char* rule, const std::string& what);

    bool m_nt;
    World m_world = World::Plain;
    std::string m_medium;
    std::string m_windows;
    std::string m_system;
    std::vector<std::string> m_systemFiles;
    std::vector<std::string> m_copies; // both families' names, canonical
    std::string m_copyFolder;
    Model m_model;
    std::vector<TestSupport::Shown> m_shown; // the last action's boxes
    ProductState m_before;
    bool m_changesNothing = false; // the last action was a No or an Exit
    bool m_bareWriteAllowed = false;
    std::string m_typedNewJudged;              // why a new folder typed was not taken, or took long
    std::vector<std::string> m_removedOutside; // what the last uninstall removed not the product's
    std::vector<std::string> m_broken;
    unsigned m_rulesChecked = 0;
};
