// Times the install step over a medium of packages against the package tool's own
// extraction of the same packages, both under the same Wine session, and the check of the
// packages against their record that comes before it.
//   install_bench MEDIUM_FOLDER WORK_FOLDER PKGTOOL_EXE
#include "app/KelvarinApp.h"
#include "install/PackageCheck.h"
#include "install/PackageInstaller.h"
#include "install/SpaceCheck.h"
#include "package/PackageDigest.h"
#include "package/PackageFile.h"
#include "package/UniqueHandle.h"
#include "ui/DLG_Installing.h"
#include "TestFiles.h"
#include "ui/DLG_QueryReplace.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace
{
class CBenchApp : public CKelvarinApp
{
public:
    CBenchApp() : CKelvarinApp(true) {}
    int DoMessageBox(const char* text, UINT /*type*/, HWND /*owner*/) override
    {
        std::fprintf(stderr, "message: %s\n", text);
        ++m_messages;
        return IDOK;
    }
    int m_messages = 0;
};

double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

using TestFiles::RemoveTree;

std::vector<std::string> Packages(const std::string& medium)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((medium + "\\*.PKG").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE)
    {
        do
        {
            names.push_back(found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return names;
}

// The figures of one package, as medium build records them; `sha256` null: CRC-32 alone.
bool Figures(const std::string& path, CSha256* sha256, PackageDigest::Figures* figures)
{
    CFileHandle file(FileIo::OpenExisting(path, false));
    return file.IsValid() &&
           PackageDigest::Read(file.Get(), sha256, figures) == PackageDigest::Outcome::Done;
}

bool Run(const std::string& command)
{
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    std::string line = command;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
    {
        return false;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return code == 0;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 4)
    {
        std::fprintf(stderr, "usage: install_bench MEDIUM WORK PKGTOOL_EXE\n");
        return 2;
    }
    const std::string medium = argv[1], work = argv[2], pkgtool = argv[3];
    const std::vector<std::string> packages = Packages(medium);
    int files = 0;
    for (const std::string& name : packages)
    {
        CPackageFile package(false);
        if (package.Open(medium + "\\" + name, false))
        {
            files += package.GetCatalog().GetCount();
        }
    }

    // The record medium build would write into Setup.exe for these packages.
    CPackageRecord record;
    CSha256 sha256;
    if (sha256.Open() != CSha256::Availability::Offered)
    {
        std::fprintf(stderr, "no SHA-256 to record the packages with\n");
        return 1;
    }
    for (const std::string& name : packages)
    {
        PackageDigest::Figures figures;
        if (!Figures(medium + "\\" + name, &sha256, &figures))
        {
            std::fprintf(stderr, "cannot read %s\n", name.c_str());
            return 1;
        }
        CPackageRecord::Row row;
        row.name = name;
        row.size = static_cast<uint32_t>(figures.size);
        row.crc32 = figures.crc32;
        std::copy(figures.sha256, figures.sha256 + CSha256::kSize, row.sha256);
        record.Add(row);
    }

    CBenchApp app;
    app.State().m_strSourceFolder = medium + "\\";
    DLG_Installing dlg;
    dlg.Create();
    app.SetMainWnd(dlg.GetSafeHwnd());

    // The space check reads every catalog and looks at every target before the install.
    std::vector<PackageTable::Placement> placements;
    for (const std::string& name : packages)
    {
        placements.push_back({name, work + "\\" + name + ".i"});
    }
    auto estimate = [&]
    {
        const double start = Now();
        std::vector<SpaceEstimate::File> files;
        if (!SpaceCheck::PackageFiles(placements, medium + "\\", files))
        {
            std::fprintf(stderr, "the space check could not read the packages\n");
        }
        SpaceCheck::Shortages(files);
        return Now() - start;
    };

    const int rounds = 3;
    double bestInstall = 1e9, bestExtract = 1e9, bestFresh = 1e9, bestOver = 1e9;
    double bestCheck = 1e9, bestCrc = 1e9;
    bool bySha256 = false;
    for (int round = 0; round < rounds; ++round)
    {
        // The package tool first, then the installer, each into an empty folder.
        RemoveTree(work);
        CreateDirectoryA(work.c_str(), nullptr);
        double start = Now();
        for (const std::string& name : packages)
        {
            const std::string target = work + "\\" + name + ".x";
            if (!Run("\"" + pkgtool + "\" extract \"" + medium + "\\" + name + "\" \"" + target +
                     "\""))
            {
                std::fprintf(stderr, "pkgtool extract failed for %s\n", name.c_str());
                return 1;
            }
        }
        const double extract = Now() - start;

        // The check the setup makes before it changes anything, then what it costs by CRC-32
        // alone, as systems without SHA-256 make it.
        CPackageCheck check(app.State());
        check.UseRecord(record);
        start = Now();
        for (const std::string& name : packages)
        {
            if (!check.CheckPackage(dlg, name))
            {
                std::fprintf(stderr, "check failed for %s\n", name.c_str());
                return 1;
            }
        }
        const double checked = Now() - start;
        bySha256 = check.UsesSha256();
        start = Now();
        for (const std::string& name : packages)
        {
            PackageDigest::Figures figures;
            Figures(medium + "\\" + name, nullptr, &figures);
        }
        const double crcOnly = Now() - start;

        RemoveTree(work);
        CreateDirectoryA(work.c_str(), nullptr);
        CPackageInstaller installer(app.State(), &DLG_QueryReplace::Ask);
        const double fresh = estimate();
        start = Now();
        for (const std::string& name : packages)
        {
            const std::string target = work + "\\" + name + ".i";
            CreateDirectoryA(target.c_str(), nullptr);
            // The setup's folder-tree step makes the folders before the packages come.
            CPackageFile package(false);
            package.Open(medium + "\\" + name, false);
            const CPackageCatalog catalog = package.GetCatalog();
            for (int i = 0; i < catalog.GetCount(); ++i)
            {
                const CPackageCatalogEntry entry = catalog.GetEntry(i);
                if (entry.GetKind() == CPackageCatalogEntry::kKindDirectory)
                {
                    const std::u16string folder(entry.GetName(), entry.GetNameLength());
                    CreateDirectoryA(
                        (target + "\\" + std::string(folder.begin(), folder.end())).c_str(),
                        nullptr);
                }
            }
            if (!installer.InstallPackage(dlg, name, target))
            {
                std::fprintf(stderr, "install failed for %s\n", name.c_str());
                return 1;
            }
        }
        const double install = Now() - start;
        const double over = estimate();
        std::printf("round %d: pkgtool extract %.3f s, check %.3f s, install %.3f s, space check "
                    "%.3f s (%.3f s over the installed files)\n",
                    round + 1, extract, checked, install, fresh, over);
        bestFresh = fresh < bestFresh ? fresh : bestFresh;
        bestOver = over < bestOver ? over : bestOver;
        bestExtract = extract < bestExtract ? extract : bestExtract;
        bestInstall = install < bestInstall ? install : bestInstall;
        bestCheck = checked < bestCheck ? checked : bestCheck;
        bestCrc = crcOnly < bestCrc ? crcOnly : bestCrc;
    }
    RemoveTree(work);
    dlg.DestroyWindow();

    std::printf("packages: %u, files: %d\n", static_cast<unsigned>(packages.size()), files);
    std::printf("best pkgtool extract: %.3f s\n", bestExtract);
    std::printf("best install:         %.3f s\n", bestInstall);
    std::printf("per-file overhead over extract: %.3f ms\n",
                files ? (bestInstall - bestExtract) * 1000.0 / files : 0.0);
    std::printf("ratio install / extract: %.2f (target at most 1.50)\n",
                bestExtract > 0 ? bestInstall / bestExtract : 0.0);
    std::printf("ratio space check / install: %.3f fresh, %.3f over an install (target at most "
                "0.05)\n",
                bestInstall > 0 ? bestFresh / bestInstall : 0.0,
                bestInstall > 0 ? bestOver / bestInstall : 0.0);
    std::printf("best check of the packages (%s): %.3f s\n", bySha256 ? "SHA-256" : "CRC-32",
                bestCheck);
    std::printf("ratio check / install: %.2f (SHA-256 where offered); by CRC-32 alone: %.2f\n",
                bestInstall > 0 ? bestCheck / bestInstall : 0.0,
                bestInstall > 0 ? bestCrc / bestInstall : 0.0);
    return app.m_messages == 0 ? 0 : 1;
}
