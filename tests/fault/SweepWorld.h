// The machine the fault sweep runs the setup on: the sample medium, an install folder
// with files of the user's own planted in it (an unversioned file at a target, a
// read-only one, one held open, an older product file), another program's boot-time
// renames, and the checks that a run, whatever failed in it, cost nobody's data.
#pragma once

#include "Fault.h"
#include "TestApp.h"
#include "TestFiles.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CSweepWorld
{
public:
    explicit CSweepWorld(bool windowsNT);

    bool WindowsNT() const { return m_nt; }
    const std::string& InstallPath() const { return m_install; }

    // Puts the machine back as it was before the setup ever ran, planted files included.
    void Plant();
    // Plant(), then an install that nothing disturbed: what an uninstall starts from.
    bool PlantInstalled();

    // Points the application at the medium and the install folder; the question is
    // answered Yes. Done before a run is armed, so that none of it counts.
    void Prepare(TestSupport::CTestApp& app) const;
    // The install sequence in this process; false when it failed or an exception left it.
    bool RunInstall(TestSupport::CTestApp& app, std::string& escaped);
    // The uninstall sequence in this process.
    bool RunUninstall(TestSupport::CTestApp& app, std::string& escaped);

    // What broke after an install run; empty when every rule held.
    std::vector<std::string> CheckInstall(bool succeeded, const TestSupport::CTestApp& app,
                                          const std::vector<Fault::Change>& changes) const;
    // What broke after an uninstall run: it deletes nothing outside the install folder.
    std::vector<std::string> CheckUninstall(const std::vector<Fault::Change>& changes) const;

    // The product files, registry record and links a finished install leaves.
    struct Snapshot
    {
        std::map<std::string, std::vector<uint8_t>> files; // lower-case path; no $tmp files
        std::string recordedPath;
        uint32_t recordedBuild = 0;
        bool links = false;
    };
    Snapshot Take() const;
    // What differs between two snapshots; empty when they are the same.
    static std::vector<std::string> Compare(const Snapshot& expected, const Snapshot& actual);
    // Temporary files no boot-time move waits for, or that one waits for incomplete.
    std::vector<std::string> CheckTemporaries() const;

private:
    struct Planted
    {
        std::string path;
        std::vector<uint8_t> bytes;
        bool readOnly;
    };

    // The boot-time moves now registered: target by temporary file (lower case).
    std::map<std::string, std::string> RegisteredMoves() const;
    // A file's content once the registered boot-time renames have run; false when missing.
    bool ContentAfterBoot(const std::string& path, std::vector<uint8_t>& bytes) const;
    bool IsAllowedFileChange(const std::string& path) const;
    std::vector<std::string> TargetFolders() const;

    bool m_nt;
    std::string m_medium;
    std::string m_install;
    std::string m_system;
    std::string m_wininit;
    std::string m_linkFolders[2];
    std::string m_heldPath;
    std::map<std::string, std::vector<uint8_t>> m_expected; // lower-case target -> new bytes
    std::vector<Planted> m_planted;
    std::unique_ptr<TestFiles::CFileHolder> m_holder;
};
