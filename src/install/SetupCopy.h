// The setup's copy of itself that the product's entry in the system's list of installed
// programs starts. It lives beside nothing of the user's and outside the product tree,
// which its uninstall must be free to delete: on the NT family in a folder of its own
// below the Windows folder; on the 9x family, whose boot-time list can delete files but
// no folder, in the Windows folder itself under an 8.3 name.
#pragma once

#include <string>

struct CSetupState;
class IProgressReport;

namespace SetupCopy
{
// Where the copy lives on this family; `Folder` is its folder of its own (NT only, empty
// on 9x, whose copy has none).
std::string Path(bool windowsNT, const std::string& windowsFolder);
std::string Folder(bool windowsNT, const std::string& windowsFolder);

// Whether this run is the copy itself, under either family's name (98 upgraded in place to
// NT keeps the entry that starts the 9x copy).
bool IsRunning(const CSetupState& state);

// Writes the running setup there like any installed file: through a temporary file, or,
// when the copy is in use, at the next boot. False after telling the user.
bool Write(CSetupState& state, IProgressReport& progress);

// Deletes the copy and its folder (on NT also a copy under the 9x name). What cannot go now
// (the copy is running), or would come back at the next boot (a move onto the copy waits),
// goes at that boot, after everything already waiting; what stays even so is named to the
// user.
void Remove(CSetupState& state);
} // namespace SetupCopy
