// The install folder rules applied on this machine: the folders of Windows and of its
// users that no install folder may be or hold, as the system names them now.
#pragma once

#include "install/InstallFolderRules.h"

#include <string>

namespace InstallFolderGuard
{
// The verdict on `folder`; for a guarded one `guarded` is set to the folder it is or holds.
InstallFolderRules::Verdict Check(const std::string& folder, std::string& guarded);

// Whether `folder` is a folder that holds any file or folder.
bool HoldsAnything(const std::string& folder);
} // namespace InstallFolderGuard
