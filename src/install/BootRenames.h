// The renames the system carries out at the next boot on the NT family, as this setup
// reads them: the list of string pairs the system keeps (source, then target; an empty
// target deletes the source). Paths are compared with PathNames, never as text.
#pragma once

#include <string>
#include <vector>

namespace BootRenames
{
// The sources of the moves in the NT list; a pair that deletes moves nothing.
std::vector<std::u16string> NtMoveSources(const std::vector<std::u16string>& list);
// The files the NT list deletes (a pair with an empty target).
std::vector<std::u16string> NtDeletions(const std::vector<std::u16string>& list);
} // namespace BootRenames
