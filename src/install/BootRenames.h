// The renames the system carries out at the next boot, as this setup adds to them and
// reads them back: on the NT family the list of string pairs the system keeps
// (source, then target; an empty target deletes the source), on the 9x family the
// [rename] section of WININIT.INI ("target=source", "NUL=file").
#pragma once

#include <string>
#include <vector>

namespace BootRenames
{
// A path in the form the NT list holds it: "\??\C:\Folder\File".
std::string NtForm(const std::string& path);

// Removes the list's last pair when it deletes `target`; false (list unchanged) when
// the last pair is anything else, so that nobody else's request is ever taken away.
bool WithdrawDelete(std::vector<std::string>& list, const std::string& target);

// Whether a pair of the NT list moves `source` (any letter case).
bool NtListMoves(const std::vector<std::string>& list, const std::string& source);

// Whether WININIT.INI's [rename] section moves `source` (given in its short form).
bool WininitMoves(const std::vector<std::string>& lines, const std::string& shortSource);
} // namespace BootRenames
