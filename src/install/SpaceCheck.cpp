#include "install/SpaceCheck.h"

#include "framework/AnsiText.h"
#include "framework/Platform.h"
#include "framework/SetupState.h"
#include "framework/SystemLibraries.h"
#include "framework/Win32Handles.h"
#include "install/ReplaceRules.h"
#include "install/SetupCopy.h"
#include "install/VersionData.h"
#include "package/EntryName.h"
#include "package/PackageFile.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace SpaceCheck
{
namespace
{
// What a drive whose cluster cannot be read is taken to have: the NTFS default.
const uint64_t kUnknownCluster = 4096;

uint64_t Size(const WIN32_FIND_DATAA& found)
{
    return (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
}

bool SameLetters(const std::string& a, const std::string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y)
                      {
                          return std::toupper(static_cast<unsigned char>(x)) ==
                                 std::toupper(static_cast<unsigned char>(y));
                      });
}

// The root of the volume that files written into `folder` land on. A volume mounted on a
// folder of the drive is a drive of its own; the 2000 and later kernels say where one is
// mounted, and elsewhere a drive letter is the only volume there is.
std::string VolumeOf(const std::string& folder)
{
    const std::string drive = SpaceEstimate::DriveOf(folder);
    using VolumePathFn = BOOL(WINAPI*)(LPCSTR, LPSTR, DWORD);
    const auto volumePath = CSystemLibraries::Bind<VolumePathFn>(GetModuleHandleA("kernel32.dll"),
                                                                 "GetVolumePathNameA");
    if (drive.empty() || volumePath == nullptr)
    {
        return drive;
    }
    // A folder still to be made lies on the volume of the deepest one that exists.
    std::string existing = ReplaceRules::WithTrailingBackslash(folder);
    while (existing.size() > drive.size() &&
           GetFileAttributesA(existing.c_str()) == INVALID_FILE_ATTRIBUTES)
    {
        const std::string::size_type cut = existing.find_last_of("\\/", existing.size() - 2);
        existing = cut == std::string::npos || cut + 1 < drive.size() ? drive
                                                                      : existing.substr(0, cut + 1);
    }
    char root[MAX_PATH + 1] = "";
    if (!volumePath(existing.c_str(), root, MAX_PATH))
    {
        return drive;
    }
    const std::string volume = ReplaceRules::WithTrailingBackslash(root);
    // Only a volume below the drive's root is another one; a share or a SUBST drive that the
    // system names otherwise stays the drive the user typed.
    return volume.size() > drive.size() && SameLetters(volume.substr(0, drive.size()), drive)
               ? volume
               : drive;
}

// `file` with what stands at `target` on `volume`; a folder there counts as nothing. One
// version reader serves every target, so that version.dll is loaded once.
SpaceEstimate::File At(const std::string& target, const std::string& volume, uint64_t size,
                       uint64_t newVersion, CVersionData& data)
{
    SpaceEstimate::File file;
    file.drive = volume;
    file.size = size;
    WIN32_FIND_DATAA found;
    const CFindHandle search(FindFirstFileA(target.c_str(), &found));
    if (search.IsValid() && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    {
        file.targetExists = true;
        file.targetSize = Size(found);
        // Only a versioned file of the package is compared by version. An unversioned one is
        // counted as written over the old file, which it is unless that file has a version:
        // reading every data file's version would cost an upgrade far more than it tells.
        uint64_t oldVersion = 0;
        if (newVersion != 0 && (!data.Load(target) || !data.GetFileVersion(oldVersion)))
        {
            oldVersion = 0;
        }
        file.kept = ReplaceRules::Decide(true, oldVersion, newVersion, target, true) ==
                    ReplaceRules::Action::Keep;
    }
    return file;
}

// The drive's cluster and the bytes free to the user: GetDiskFreeSpaceExA knows quotas
// and drives beyond 2 GB, where kernel32 has it (95 OSR2, NT 4.0 and later).
bool DriveSpace(const std::string& root, uint64_t& freeBytes, uint64_t& cluster)
{
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    const bool classic = GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector,
                                           &freeClusters, &clusters) != FALSE;
    cluster = classic && sectorsPerCluster * bytesPerSector != 0
                  ? static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector
                  : kUnknownCluster;
    using FreeSpaceExFn = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    const auto freeSpaceEx = CSystemLibraries::Bind<FreeSpaceExFn>(GetModuleHandleA("kernel32.dll"),
                                                                   "GetDiskFreeSpaceExA");
    ULARGE_INTEGER available, total, totalFree;
    if (freeSpaceEx && freeSpaceEx(root.c_str(), &available, &total, &totalFree))
    {
        freeBytes = available.QuadPart;
        return true;
    }
    freeBytes = static_cast<uint64_t>(freeClusters) * cluster;
    return classic;
}
} // namespace

bool PackageFiles(const std::vector<PackageTable::Placement>& placements,
                  const std::string& sourceFolder, std::vector<SpaceEstimate::File>& files)
{
    CVersionData versions;
    for (const PackageTable::Placement& placement : placements)
    {
        const std::string path = sourceFolder + placement.package;
        CPackageFile package(false);
        WIN32_FIND_DATAA found;
        const CFindHandle search(FindFirstFileA(path.c_str(), &found));
        if (!search.IsValid() || !package.Open(path, false))
        {
            return false;
        }
        const CPackageCatalog catalog = package.GetCatalog();
        package.Close();
        uint64_t unpacked = 0;
        for (int index = 0; index < catalog.GetCount(); ++index)
        {
            unpacked += catalog.GetEntry(index).GetUnpackedSize();
        }
        if (!SpaceEstimate::IsPossible(Size(found), unpacked))
        {
            return false;
        }
        const std::string folder = ReplaceRules::WithTrailingBackslash(placement.target);
        const std::string volume = VolumeOf(folder);
        for (int index = 0; index < catalog.GetCount(); ++index)
        {
            const CPackageCatalogEntry entry = catalog.GetEntry(index);
            std::string name;
            if (entry.GetKind() != CPackageCatalogEntry::kKindFile ||
                !EntryName::IsAcceptedFileName(entry.GetName(), entry.GetNameLength(),
                                               EntryName::SystemCodePageRoundTrip) ||
                !AnsiText::Narrow(entry.GetName(), entry.GetNameLength(), name))
            {
                continue;
            }
            files.push_back(At(folder + name, volume, entry.GetUnpackedSize(),
                               entry.GetFileVersion(), versions));
        }
    }
    return true;
}

std::vector<Shortage> Shortages(const std::vector<SpaceEstimate::File>& files)
{
    std::map<std::string, uint64_t> clusters, freeBytes;
    for (const SpaceEstimate::File& file : files)
    {
        uint64_t free = 0, cluster = 0;
        if (!file.drive.empty() && !clusters.count(file.drive) &&
            DriveSpace(file.drive, free, cluster))
        {
            clusters[file.drive] = cluster;
            freeBytes[file.drive] = free;
        }
    }
    std::vector<Shortage> shortages;
    for (const SpaceEstimate::Need& need : SpaceEstimate::Needs(files, clusters))
    {
        const auto free = freeBytes.find(need.drive);
        if (free != freeBytes.end() && need.bytes > free->second)
        {
            shortages.push_back(
                {need.drive.substr(0, need.drive.size() - 1), need.bytes, free->second});
        }
    }
    return shortages;
}

std::vector<Shortage> ForInstall(const CSetupState& state, const std::string& installFolder)
{
    try
    {
        const bool windowsNT = Platform::IsWindowsNT();
        std::vector<SpaceEstimate::File> files;
        if (!PackageFiles(
                PackageTable::Placements(windowsNT, installFolder, state.m_strSystemFolder),
                state.m_strSourceFolder, files))
        {
            return {};
        }
        WIN32_FIND_DATAA setup;
        const CFindHandle search(
            FindFirstFileA((state.m_strSourceFolder + state.m_strSetupFile).c_str(), &setup));
        if (search.IsValid() && !SetupCopy::IsRunning(state))
        {
            // The copy is always written, whatever version stands there.
            CVersionData versions;
            const std::string copy = SetupCopy::Path(windowsNT, state.m_strWindowsFolder);
            files.push_back(At(copy, VolumeOf(copy.substr(0, copy.find_last_of('\\') + 1)),
                               Size(setup), 0, versions));
            files.back().kept = false;
        }
        return Shortages(files);
    }
    catch (...)
    {
        // Memory ran out: no drive can be judged, so none is asked about.
        return {};
    }
}
} // namespace SpaceCheck
