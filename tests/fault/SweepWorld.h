// The machine the fault sweep runs the setup on: the sample medium, an install folder
// with files of the user's own planted in it (an unversioned file at a target, a
// read-only one, one held open, an older product file), other programs' boot-time
// requests, and the checks that a run, whatever failed in it, cost nobody's data and
// that a run which says it succeeded left a whole install.
#pragma once

#include "Fault.h"
#include "TestApp.h"
#include "TestFiles.h"
#include "framework/Win32Handles.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The recording application of the sweep: its message boxes are the test's stand-in for
// the system's, so that recording one is no call of the setup's.
class CSweepApp : public TestSupport::CTestApp
{
public:
    int DoMessageBox(const char* text, UINT type, HWND owner) override;
};

class CSweepWorld
{
public:
    // How a machine differs from the plain one.
    struct Variant
    {
        enum class Answer
        {
            Yes,
            No,
            NotShown // the question dialog could not be created
        };
        // An earlier run, typed as this one, was cut short after it registered a boot-time
        // move: its temporary file is recorded and waits.
        enum class Crashed
        {
            No,
            HeldFileWaits, // for the held file, which it could not delete
            OnlyCopyWaits  // as the only copy: it deleted the old file, and the move failed
        };
        const char* name;
        bool trailingBackslash; // the folder typed as "C:\FaultSweep\Nimbus\"
        Crashed crashed;
        Answer answer;  // to every "replace the file?" question
        bool holdsFile; // a product file is open in another program
        // 9x only: WININIT.INI holds blank lines in [rename] and, after a Ctrl-Z, text no
        // reader sees, so that the merged file is shorter than the old one.
        bool wininitShrinks;
        bool holdsTemp = false; // the typed or recorded folder holds the user's temporary
                                // folder: the uninstall may delete nothing in it, and the
                                // install (an upgrade's) changes no folder's rights
        bool copyInUse = false; // the uninstall runs from the setup's copy, as the entry starts it
        // An older copy waits to be deleted at boot (on NT its folder too), as the entry's
        // uninstall leaves it: the install's copy must outlive that boot.
        bool copyDeletionWaits = false;
        bool holdsLink = false; // the installed tree holds a link to the folder beside it
    };
    // Whether a world means anything to this family (the 9x family has no links).
    bool Fits(const Variant& variant) const
    {
        return (!variant.wininitShrinks || !m_nt) && (!variant.holdsLink || m_nt);
    }
    // The worlds an install is swept in; the first is the plain one.
    static const std::vector<Variant>& InstallVariants();
    // The worlds an uninstall is swept in (the install before it is not swept).
    static const std::vector<Variant>& UninstallVariants();

    explicit CSweepWorld(bool windowsNT);
    ~CSweepWorld();

    bool WindowsNT() const { return m_nt; }
    const std::string& WininitPath() const { return m_wininit; }
    void Use(const Variant& variant) { m_variant = variant; }
    const Variant& Current() const { return m_variant; }
    // The install folder as the user typed it.
    std::string TypedPath() const;

    // Puts the machine back as it was before the setup ever ran: planted files, other
    // programs' boot-time requests, and what the variant adds.
    void Plant();
    // Plant(), then an install that nothing disturbed: what an uninstall starts from.
    bool PlantInstalled();

    // Points the application at the medium and the typed folder and answers its questions
    // as the variant says. Done before a run is armed, so that none of it counts.
    void Prepare(CSweepApp& app);
    // The check of the medium's packages and the install sequence in this process, as the
    // setup runs them; false when either failed or an exception left it.
    bool RunInstall(CSweepApp& app, std::string& escaped);
    // The uninstall sequence in this process (with the variant's temporary folder).
    bool RunUninstall(CSweepApp& app, std::string& escaped);

    // What broke after an install run; empty when every rule held.
    std::vector<std::string> CheckInstall(bool succeeded, const CSweepApp& app,
                                          const std::vector<Fault::Change>& changes) const;
    // What broke after an uninstall run.
    std::vector<std::string> CheckUninstall(const CSweepApp& app,
                                            const std::vector<Fault::Change>& changes) const;

    // The product files, registry record and links a finished install leaves.
    struct Snapshot
    {
        std::map<std::string, std::vector<uint8_t>> files; // canonical path; no $tmp files
        std::string recordedPath;
        uint32_t recordedBuild = 0;
        bool links = false;
        std::string entryCommand; // the entry's UninstallString
    };
    Snapshot Take() const;
    // What differs between two snapshots; empty when they are the same.
    static std::vector<std::string> Compare(const Snapshot& expected, const Snapshot& actual);
    // The boot-time requests: others' kept, ours never deleting, every source there, and
    // no temporary file left that nothing will move. Given the run's changes, one may stay
    // that is recorded for the next run: the only copy of its file, told, or one whose
    // deletion the system refused.
    std::vector<std::string> CheckBootRequests(bool told,
                                               const std::vector<Fault::Change>* changes) const;

    // The path as Windows compares it: no "\??\" prefix, "\" for "/", no doubled or
    // trailing separator, long names, one letter case.
    static std::string Canonical(const std::string& path);

private:
    struct Planted
    {
        std::string path; // canonical
        std::vector<uint8_t> bytes;
        bool readOnly;
        bool versioned;
    };
    // One boot-time request as the system holds it.
    struct BootOp
    {
        std::string raw;    // its bytes: the two UTF-16 strings (NT), the line (9x)
        std::string source; // canonical
        std::string target; // canonical; empty: delete
        bool replaces;      // may replace an existing target
    };
    struct Question
    {
        std::string path;
        bool replace;
    };

    std::vector<BootOp> BootOps() const;
    // The requests that are no other program's and were not there before the run.
    std::vector<BootOp> OurOps(const std::vector<BootOp>& ops,
                               std::vector<std::string>& broken) const;
    struct FileState
    {
        bool exists = false;
        std::vector<uint8_t> bytes;
    };
    // The files the boot-time requests touch, as the restart leaves them (canonical paths).
    using AfterBoot = std::map<std::string, FileState>;
    FileState Now(const std::string& path) const;
    AfterBoot Boot(const std::vector<BootOp>& ops) const;
    // A file after the restart: as the requests leave it, or as it is when none touches it.
    FileState Lookup(const AfterBoot& after, const std::string& path) const;
    // Other programs' WININIT.INI, with `ours` (an earlier run's line) in its [rename].
    std::string OthersWininit(const std::string& ours) const;
    void PlantBootRequests();
    void PlantCrashedRun();
    void PlantCopyDeletion();
    std::vector<std::string> RecordedTemporaries() const;
    // A recorded temporary file beside `target` holds its new content.
    bool KeptAsOnlyCopy(const std::string& target, const std::vector<uint8_t>& bytes) const;
    bool IsAllowedFileChange(const std::string& path) const;
    bool WasAsked(const std::string& path, bool& replace) const;
    std::vector<std::string> CheckComplete(const CSweepApp& app) const;
    std::vector<std::string> TargetFolders() const;
    // Removes the setup's copy, its temporary files and its folder, and the entry.
    void RemoveCopyAndEntry();
    std::string LinkTarget(const std::string& link) const;

    bool m_nt;
    Variant m_variant;
    std::string m_medium;
    std::string m_install; // canonical, as the system names it
    std::string m_temp;    // the user's temporary folder where a variant puts it there
    std::string m_link;    // the link in the tree where a variant puts one there
    std::string m_system;
    std::string m_wininit;
    std::string m_windows;    // as the system names it
    std::string m_copy;       // the setup's copy for the entry, canonical
    std::string m_copyFolder; // its folder of its own (NT), canonical; empty on 9x
    std::string m_linkFolders[2];
    std::string m_heldPath;
    std::map<std::string, std::vector<uint8_t>> m_expected; // canonical target -> new bytes
    std::vector<Planted> m_planted;
    std::vector<BootOp> m_baseline; // the requests before the run, others' and earlier runs'
    std::string m_wininitBefore;    // 9x: the file before the run
    std::vector<Question> m_questions;
    std::unique_ptr<TestFiles::CFileHolder> m_holder;
    std::unique_ptr<TestFiles::CFileHolder> m_copyHolder; // stands in for the running copy
    // The medium's Setup.exe, whose record of the packages the install checks them against.
    CModuleHandle m_setupImage;
};
