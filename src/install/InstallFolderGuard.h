// The install folder rules applied on this machine: the folders of Windows and of its
// users that no install folder may be or hold, as the system names them now.
#pragma once

#include "install/InstallFolderRules.h"

#include <string>

namespace InstallFolderGuard
{
// The verdict on `folder` as the disk sees it; for a guarded one `guarded` is set to the
// folder it is or holds. Unknown, with the last error saying why, when its name or a
// guarded folder's cannot be compared or the disk will not say which folder it is.
InstallFolderRules::Verdict Check(const std::string& folder, std::string& guarded);

enum class Contents
{
    Empty,     // not there, or nothing in it
    Something, // a file or a folder
    Unknown    // it could not be listed (the last error says why): it may hold anything
};
Contents LookInside(const std::string& folder);
} // namespace InstallFolderGuard
