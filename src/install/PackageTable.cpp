#include "install/PackageTable.h"

namespace PackageTable
{
namespace
{
struct Row
{
    const char* package9x;
    const char* packageNT;
    const char* subfolder; // below the install folder; null for the system folder
};

const Row kRows[] = {
    {"SYSDLL95.PKG", "SYSDLLNT.PKG", nullptr},
    {"PRAPP95.PKG", "PRAPPNT.PKG", "\\Programs"},
    {"PRCFG.PKG", "PRCFG.PKG", "\\Configuration"},
    {"PRLEX.PKG", "PRLEX.PKG", "\\Lexicography"},
    {"PRL_ENGL.PKG", "PRL_ENGL.PKG", "\\Language\\English"},
    {"PRSCRIPT.PKG", "PRSCRIPT.PKG", "\\Documents"},
    {"PRUSB.PKG", "PRUSB.PKG", "\\Drivers"},
    {"IO8DRV.PKG", "IO8DRV.PKG", "\\Drivers\\RERER8"},
    {"DRVX64.PKG", "DRVX64.PKG", "\\Drivers\\RERER8\\amd64"},
    {"DRVX86.PKG", "DRVX86.PKG", "\\Drivers\\RERER8\\i386"},
};
} // namespace

std::vector<Placement> Placements(bool windowsNT, const std::string& installPath,
                                  const std::string& systemFolder)
{
    std::vector<Placement> placements;
    for (const Row& row : kRows)
    {
        Placement placement;
        placement.package = windowsNT ? row.packageNT : row.package9x;
        placement.target = row.subfolder ? installPath + row.subfolder : systemFolder;
        placements.push_back(placement);
    }
    return placements;
}
} // namespace PackageTable
