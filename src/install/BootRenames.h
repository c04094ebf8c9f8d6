// The renames the system carries out at the next boot, as this setup reads them: on the
// NT family the list of string pairs the system keeps (source, then target; an empty
// target deletes the source), on the 9x family the [rename] section of WININIT.INI
// ("target=source", "NUL=file"). Paths are compared with PathNames, never as text.
#pragma once

#include <string>
#include <vector>

namespace BootRenames
{
// The sources of the moves in the NT list; a pair that deletes moves nothing.
std::vector<std::u16string> NtMoveSources(const std::vector<std::u16string>& list);

// The sources of the moves in WININIT.INI's [rename] section.
std::vector<std::string> WininitMoveSources(const std::vector<std::string>& lines);
} // namespace BootRenames
