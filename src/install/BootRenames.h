// The renames the system carries out at the next boot on the NT family, as this setup
// reads them: the list of string pairs the system keeps (source, then target; an empty
// target deletes the source). Paths are compared with PathNames, never as text.
#pragma once

#include <string>
#include <vector>

namespace BootRenames
{
// One request of a boot list: `source` moved onto `target`, or deleted when `target` is
// empty. The requests are carried out in their order.
struct Op
{
    std::u16string source;
    std::u16string target;
};

// The NT list's requests; a target's leading "!" (the move may replace) is dropped.
std::vector<Op> NtOps(const std::vector<std::u16string>& list);
// The sources of the moves in the NT list; a pair that deletes moves nothing.
std::vector<std::u16string> NtMoveSources(const std::vector<std::u16string>& list);
// The files the NT list deletes (a pair with an empty target).
std::vector<std::u16string> NtDeletions(const std::vector<std::u16string>& list);

// Whether the last request that touches the file (named by any of `names`, its long and 8.3
// forms) moves another file onto it: once the boot is done, that file is there.
bool EndsMovedOnto(const std::vector<Op>& ops, const std::vector<std::u16string>& names);
} // namespace BootRenames
