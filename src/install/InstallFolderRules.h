// Which folders the setup may install into, and so later remove with everything in them,
// decided without touching the disk: the path dialog refuses the others, and the
// uninstall leaves such a recorded folder in place.
#pragma once

#include <string>
#include <vector>

namespace InstallFolderRules
{
enum class Verdict
{
    Accepted,     // a folder of its own below a drive root or a network share
    NotFullPath,  // empty, blank, relative, a root, or a device name
    GuardedFolder // is or holds a folder of Windows or of a user
};

// `folder` as typed or recorded. Accepted are only full paths below a root
// ("C:\Studio", "\\server\share\Studio"); names are resolved the way the system reads
// them, so "C:\Studio\.." is the root. `guarded` are the folders of Windows and of its
// users; a folder that is one of them or holds one is refused, and `which` (when given)
// is set to the index of the first it meets.
Verdict Judge(const std::u16string& folder, const std::vector<std::u16string>& guarded,
              size_t* which = nullptr);
} // namespace InstallFolderRules
