// Writes one package entry to its target so that the target is never half-written:
// through a temporary file in the target's folder, renamed into place, or, when the
// old file is in use, replaced at the next boot.
#pragma once

#include "package/UniqueHandle.h"

#include <string>
#include <vector>

struct CSetupState;
class CPackageFile;
class CPackageCatalogEntry;

class CFileReplacer
{
public:
    // Reads the Windows folder; writes the rename list and the restart-needed flag.
    explicit CFileReplacer(CSetupState& state);

    // True when the target holds the new file or its replacement at boot is arranged.
    bool ReplaceFile(CPackageFile& package, const CPackageCatalogEntry& entry, int index,
                     const std::string& targetPath);

    // The first free "$tmpNNNN.tmp" beside the target, created exclusively; an invalid
    // handle (after telling the user) when it cannot be made.
    CFileHandle CreateTempFile(const std::string& targetPath, std::string& tempPath);

    // Moves the temporary file onto the target at the next restart and marks the
    // restart as needed: at once on NT, through the rename list on 9x.
    void ScheduleBootReplace(const std::string& tempPath, const std::string& targetPath);

    // Removes the temporary files that a run cut short left behind, except those the
    // system moves at the next boot.
    void RemoveLeftovers();

    // Merges the rename list into WININIT.INI's [rename] section and empties it. When
    // the file cannot be read whole or written, it stays as it was, and the files the
    // list would have moved are deleted.
    void WriteWininit();

private:
    // False when the file stayed as it was (after telling the user and deleting the files).
    bool WriteWininitNow(const std::vector<std::string>& queued);
    // The target is gone: the temporary file is moved onto it at the next boot.
    void ScheduleBootMove(const std::string& tempPath, const std::string& targetPath);
    // Takes back the request to delete `targetPath` at boot, when it is the last one.
    static void WithdrawBootDelete(const std::string& targetPath);

    CSetupState& m_state;
    // 9x: the temporary files of the pairs waiting in the rename list.
    std::vector<std::string> m_queued;
};
