// The product's entry in Windows' list of installed programs (Add or Remove Programs,
// Programs and Features, Settings' Apps): the product's own key below
// HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall, rewritten by
// every install and upgrade and removed by the uninstall. Both families read the same
// values; the 9x family only the name and the command.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct CSetupState;

namespace UninstallEntry
{
// The key's name is the product's own and the same in every build and edition, so that an
// upgrade, Tarpan LT's to Ardent included, leaves one entry.
extern const char* const kParentKey; // "Software\Microsoft\Windows\CurrentVersion\Uninstall"
extern const char* const kName;      // "Pellmor Kelvarin"

struct Values
{
    std::string displayName;
    std::string displayVersion;
    std::string publisher;
    std::string installLocation;
    std::string displayIcon;
    std::string uninstallString;
    DWORD estimatedSizeKb = 0;
    std::string installDate; // yyyymmdd
};

// What the entry of the install in `state` holds, its setup's copy at `setupCopy` and its
// tree of `treeBytes`, installed on `today`.
Values For(const CSetupState& state, bool windowsNT, const std::string& setupCopy,
           uint64_t treeBytes, const SYSTEMTIME& today);

// Writes every value (NoModify and NoRepair besides); false after telling the user, as a
// failed registry record is told.
bool Write(const Values& values);

// Deletes the entry; one that stays is named to the user.
void Remove();

// The install folder the entry names; empty when there is no entry or it names none.
std::string InstallLocation();
} // namespace UninstallEntry
