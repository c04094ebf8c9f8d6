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
// with what stands at its target now. A package that cannot be read counts nothing: the
// install itself tells about it.
std::vector<SpaceEstimate::File>
PackageFiles(const std::vector<PackageTable::Placement>& placements,
             const std::string& sourceFolder);

// The drives the files need more room on than is free to the user. A drive whose free
// space cannot be read is not among them.
std::vector<Shortage> Shortages(const std::vector<SpaceEstimate::File>& files);

// Both for an install of this family into `installFolder`, the setup's copy included.
// Nothing when the estimate cannot be made (memory ran out).
std::vector<Shortage> ForInstall(const CSetupState& state, const std::string& installFolder);
} // namespace SpaceCheck
