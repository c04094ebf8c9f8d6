// What the uninstall may delete, decided without touching the disk.
#pragma once

#include <string>

namespace UninstallRules
{
// Whether `folder`, as recorded in the registry, names a folder below a root that
// the uninstall may empty and remove. Refused: an empty text, a drive root ("C:",
// "C:\"), the root of the current drive ("\"), the current folder ("."), a share
// root ("\\server\share"), device and volume roots ("\\?\C:\"), a relative path
// ("Nimbus", "C:Nimbus", "\Nimbus": they name a folder below wherever the uninstall
// runs), and any path whose
// "." and ".." parts lead back to one of these or above it. Names are read the way
// the system reads them: both slash kinds separate, runs of them count once, and a
// part made only of dots and spaces names no folder of its own.
bool IsDeletableInstallFolder(const std::string& folder);
} // namespace UninstallRules
