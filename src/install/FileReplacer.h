// Writes one package entry to its target so that the target is never half-written:
// through a temporary file in the target's folder, renamed into place, or, when the
// old file is in use, replaced at the next boot.
#pragma once

#include "package/UniqueHandle.h"

#include <windows.h>

#include <cstdint>
#include <functional>
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

    // Fills the open temporary file with the new content; false with the last error set.
    using Filler = std::function<bool(HANDLE file)>;

    // True when the target holds the new file or its replacement at boot is arranged.
    bool ReplaceFile(CPackageFile& package, const CPackageCatalogEntry& entry, int index,
                     const std::string& targetPath);
    // The same for a file's whole content, with the file's own times. `atBoot`: the target,
    // which must exist, stays as it is and the new file replaces it at the next boot, after
    // every request already waiting; true when that is arranged.
    bool ReplaceFileFrom(const std::string& sourcePath, const std::string& targetPath,
                         bool atBoot = false);
    // The same for what `fill` writes; its failure is told as `fillFailure` with `fillArgs`
    // and the system's reason.
    bool PlaceFile(const std::string& targetPath, uint64_t creationTime, uint64_t lastWriteTime,
                   const Filler& fill, UINT fillFailure, const std::vector<std::string>& fillArgs,
                   bool atBoot = false);

    // Whether a request to delete `path` (by its long or 8.3 form) waits for the next boot;
    // also true when the boot-time lists cannot be read.
    bool DeletionMayBePending(const std::string& path) const;
    // Whether the last boot-time request that touches `path` moves a file onto it, so that it
    // is there after the next boot; also true when the boot-time lists cannot be read.
    bool MoveOntoMayBePending(const std::string& path) const;

    // The file goes at the next boot, after every request already waiting (it may be gone now,
    // with a move onto it waiting): one deleting request on NT, a line written to WININIT.INI
    // at once on 9x (which tells its own failure). False when it is not arranged.
    bool ScheduleBootDelete(const std::string& path);

    // The first free "$tmpNNNN.tmp" beside the target, created exclusively; an invalid
    // handle (after telling the user) when it cannot be made.
    CFileHandle CreateTempFile(const std::string& targetPath, std::string& tempPath);

    // The target is in use: the temporary file replaces it at the next restart, which is
    // marked as needed. On NT one replacing request is made at once; when the system
    // refuses it the temporary file goes and the old file stays. On 9x the pair joins
    // the rename list. False (after telling) when it is not arranged.
    bool ScheduleBootReplace(const std::string& tempPath, const std::string& targetPath);

    // Removes the temporary files that a run cut short left behind. Only what can be
    // proved stray goes: nothing when the boot-time lists cannot be read, and never a
    // file that a boot-time move waits for.
    void RemoveLeftovers();

    // Merges the rename list into WININIT.INI's [rename] section and empties it. When
    // the file cannot be read whole or written, it stays as it was; the temporary files
    // of in-use targets then go, and a file whose target is already gone stays. False then.
    bool WriteWininit();

private:
    // A temporary file that the rename list moves at boot.
    struct Queued
    {
        std::string temporary;
        std::string target;
        bool onlyCopy; // the old target is gone: this file is all there is
    };

    enum class WininitOutcome
    {
        Written,
        Unchanged, // the file is as it was
        Damaged    // neither the new text nor the old one could be written whole
    };
    // Writes the merged file and says how it went, telling nothing; `error` is why it failed.
    WininitOutcome WriteWininitNow(DWORD& error);
    // The rename list could not be written: the temporary files of in-use targets go
    // (unless the file may hold part of the list), then the user is told why, and the only
    // copies stay where they are and are named.
    void DropQueued(const std::vector<Queued>& queued, bool keepAll, DWORD error);
    // The old target is gone and the temporary file is its only copy: its move at the next
    // boot is arranged, telling nothing. False when it cannot be (`refused`: the system's
    // reason, if it gave one); the file then is only kept.
    bool ScheduleBootMove(const std::string& tempPath, const std::string& targetPath,
                          DWORD& refused);

    CSetupState& m_state;
    // 9x: the temporary files of the pairs waiting in the rename list.
    std::vector<Queued> m_queued;
};
