// Whether the drives an install writes to have the room it needs, asked before anything
// changes: the packages' catalogs and what stands at their targets give the estimate, the
// system the free space it grants the user.
#pragma once

#include "install/PackageTable.h"
#include "install/SpaceEstimate.h"

#include <cstdint>
#include <string>
#include <vector>

struct CSetupState;

namespace SpaceCheck
{
struct Shortage
{
    std::string drive; // "C:" or "\\server\share"
    uint64_t needed = 0;
    uint64_t free = 0;
};

// The files the packages of `placements` (read from `sourceFolder`) would write, each
// with what stands at its target now. False when a package or its catalog cannot be read,
// or its catalog claims more than the package could hold: a damaged medium gives no
// estimate, and the check of the packages that follows names the package.
bool PackageFiles(const std::vector<PackageTable::Placement>& placements,
                  const std::string& sourceFolder, std::vector<SpaceEstimate::File>& files);

// The drives the files need more room on than is free to the user. A drive whose free
// space cannot be read is not among them.
std::vector<Shortage> Shortages(const std::vector<SpaceEstimate::File>& files);

// Both for an install of this family into `installFolder`, the setup's copy included.
// Nothing when the estimate cannot be made (a package damaged, memory ran out).
std::vector<Shortage> ForInstall(const CSetupState& state, const std::string& installFolder);
} // namespace SpaceCheck
