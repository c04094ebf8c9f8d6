// The install folder rules applied on this machine: the folders of Windows and of its
// users that no install folder may be or hold, as the system names them now.
#pragma once

#include "install/InstallFolderRules.h"

#include <windows.h>

#include <string>

namespace InstallFolderGuard
{
// The verdict on `folder` as the disk sees it; for a guarded one `named` is set to the
// folder it is or holds. Unknown, with the last error saying why and `named` set to the
// folder that could not be read (empty when a folder of Windows or of a user could not even
// be named), when its name or a guarded folder's cannot be compared or the disk will not say
// which folder it is. On the NT family the folders are read as the system stores them, names
// outside the code page included; a folder on a local disk costs no look on the network.
InstallFolderRules::Verdict Check(const std::string& folder, std::string& named);

// Why Check could not tell (Unknown), as a sentence of the messages: the folder `named` that
// could not be read, or that a folder of Windows or of a user could not be named, and the
// system's reason for `error`.
std::string WhyUnknown(const std::string& named, DWORD error);

enum class Contents
{
    Empty,     // not there, or nothing in it
    Something, // a file or a folder
    Unknown    // it could not be listed (the last error says why): it may hold anything
};
Contents LookInside(const std::string& folder);
} // namespace InstallFolderGuard
