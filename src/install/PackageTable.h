// Which package goes where, in the order the install unpacks them.
#pragma once

#include <string>
#include <vector>

namespace PackageTable
{
struct Placement
{
    std::string package; // file name in the setup's folder
    std::string target;  // folder the entries are unpacked into
};

// The ten packages of this platform family with their target folders. The first
// goes to the system folder; the others below the install folder.
std::vector<Placement> Placements(bool windowsNT, const std::string& installPath,
                                  const std::string& systemFolder);
} // namespace PackageTable
