// Where the edition's shortcuts lie and what they point at.
#pragma once

#include <string>

namespace ShortcutPaths
{
// "<folder>\<edition>.lnk"; empty when the folder is unknown (its lookup failed), so that
// no link is ever made or deleted at the root of the current drive.
std::string LinkFile(const std::string& folder, const std::string& edition);

// The prompter executable of the platform family under the install folder.
std::string Target(const std::string& installPath, bool windowsNT);
} // namespace ShortcutPaths
