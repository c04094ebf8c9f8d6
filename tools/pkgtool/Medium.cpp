#include "Medium.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "Commands.h"
#include "Platform.h"
#include "Report.h"
#include "SetupRecord.h"
#include "install/PackageTable.h"
#include "package/UniqueHandle.h"

namespace Medium
{

const char kSetupName[] = "Setup.exe";

char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

namespace
{
using namespace Reporting;

// A manifest is a few lines; anything larger is not one.
constexpr uint32_t kMaxManifestSize = 64 * 1024;
const char kPackageExtension[] = ".PKG";

struct StagedPackage
{
    std::string name;   // as the table spells it
    std::string folder; // its staging folder
    std::string title;
};

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
    {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string WithoutTrailingSeparators(std::string path)
{
    while (path.size() > 1 &&
           (path.back() == '/' || (Platform::kSeparator == '\\' && path.back() == '\\')))
    {
        path.pop_back();
    }
    return path;
}

// The package folders of `staging` and the manifest's path (empty when there
// is none). Reports every member that is neither.
bool ScanStaging(const std::string& staging, std::vector<StagedPackage>* packages,
                 std::string* manifest)
{
    std::vector<std::string> names;
    std::string bad;
    if (!Platform::ListFolder(staging, &names, &bad))
    {
        return Report(bad.empty() ? staging : Platform::JoinPath(staging, bad));
    }
    bool ok = true;
    for (const std::string& name : names)
    {
        const std::string path = Platform::JoinPath(staging, name);
        Platform::FileInfo info;
        if (!Platform::Stat(path, &info))
        {
            ok = Report(path);
        }
        else if (!info.isDirectory && SameFileName(name, PKGTOOL_MEDIUM_MANIFEST))
        {
            *manifest = path;
        }
        else if (!info.isDirectory)
        {
            ok = ReportPlain(path,
                             "neither a package folder nor the manifest " PKGTOOL_MEDIUM_MANIFEST);
        }
        else if (TableSpelling(name + kPackageExtension).empty())
        {
            ok = ReportPlain(path, "not a package of the setup: a folder is named after its "
                                   "package, as PRAPPNT for PRAPPNT.PKG");
        }
        else
        {
            packages->push_back({TableSpelling(name + kPackageExtension), path, std::string()});
        }
    }
    for (size_t i = 0; i < packages->size(); ++i)
    {
        for (size_t j = i + 1; j < packages->size(); ++j)
        {
            if ((*packages)[i].name == (*packages)[j].name)
            {
                ok = ReportPlain((*packages)[j].folder,
                                 "a second folder for " + (*packages)[j].name);
            }
        }
    }
    return ok;
}

bool ReadSmallFile(const std::string& path, std::string* text)
{
    CFileHandle file(FileIo::OpenExisting(path, false));
    uint64_t size = 0;
    if (!file.IsValid() || !FileIo::GetSize(file.Get(), &size))
    {
        return Report(path);
    }
    if (size > kMaxManifestSize)
    {
        return ReportPlain(path, "too large for a manifest of titles");
    }
    text->resize(static_cast<size_t>(size));
    return size == 0 || FileIo::ReadExact(file.Get(), &(*text)[0], static_cast<uint32_t>(size)) ||
           Report(path);
}

StagedPackage* FindStaged(std::vector<StagedPackage>& packages, const std::string& name)
{
    for (StagedPackage& package : packages)
    {
        if (package.name == name)
        {
            return &package;
        }
    }
    return nullptr;
}

// Gives the staged packages their titles from the manifest's "NAME.PKG = TITLE" lines.
bool ReadTitles(const std::string& manifest, std::vector<StagedPackage>* packages)
{
    std::string text;
    if (!ReadSmallFile(manifest, &text))
    {
        return false;
    }
    bool ok = true;
    std::map<std::string, int> seen;
    size_t start = 0;
    for (int line = 1; start < text.size(); ++line)
    {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
        {
            end = text.size();
        }
        const std::string content = Trim(text.substr(start, end - start));
        start = end + 1;
        if (content.empty() || content[0] == '#')
        {
            continue;
        }
        const std::string where = manifest + ":" + std::to_string(line);
        const size_t equals = content.find('=');
        if (equals == std::string::npos)
        {
            ok = ReportPlain(where, "expected 'PACKAGE.PKG = TITLE'");
            continue;
        }
        const std::string name = TableSpelling(Trim(content.substr(0, equals)));
        const std::string title = Trim(content.substr(equals + 1));
        StagedPackage* package = FindStaged(*packages, name);
        if (name.empty())
        {
            ok = ReportPlain(where, "not a package of the setup");
        }
        else if (package == nullptr)
        {
            ok = ReportPlain(where, name + " has no folder in the staging tree");
        }
        else if (seen.count(name) != 0)
        {
            ok = ReportPlain(where,
                             name + " has a title already, on line " + std::to_string(seen[name]));
        }
        else if (title.size() > Commands::kMaxTitleLength)
        {
            ok = ReportPlain(where, "the title is longer than 63 characters");
        }
        else
        {
            package->title = title;
            seen[name] = line;
        }
    }
    return ok;
}

// OUT may be missing (its parents are made) or an empty folder.
bool PrepareOut(const std::string& out)
{
    Platform::FileInfo info;
    if (!Platform::Stat(out, &info))
    {
        const std::string parent = Platform::ParentOf(out);
        return parent == "." || Platform::MakeFolders(parent) || Report(parent);
    }
    if (!info.isDirectory)
    {
        return ReportPlain(out, "exists and is not a folder");
    }
    std::vector<std::string> names;
    std::string bad;
    if (!Platform::ListFolder(out, &names, &bad) && bad.empty())
    {
        return Report(out);
    }
    if (!names.empty() || !bad.empty())
    {
        return ReportPlain(out, "already holds files; a medium is built into an empty folder");
    }
    return true;
}

// Removes a folder this run made and everything it wrote there.
void RemoveWorkFolder(const std::string& folder)
{
    std::vector<std::string> names;
    std::string bad;
    Platform::ListFolder(folder, &names, &bad);
    for (const std::string& name : names)
    {
        FileIo::Delete(Platform::JoinPath(folder, name));
    }
    Platform::RemoveEmptyFolder(folder);
}

// Fills `work` with the packages and the setup, which records them.
bool FillMedium(const std::string& work, const std::vector<StagedPackage>& packages,
                const std::string& setup, std::vector<std::string>* lines)
{
    std::vector<SetupRecord::Package> made;
    for (const StagedPackage& package : packages)
    {
        size_t entries = 0;
        const std::string path = Platform::JoinPath(work, package.name);
        if (!Commands::MakePackage(path, package.folder, false, package.title, &entries))
        {
            return false;
        }
        lines->push_back(package.name + ": " + std::to_string(entries) + " entries");
        made.emplace_back(package.name, path);
    }
    const std::string copy = Platform::JoinPath(work, kSetupName);
    bool recorded = false;
    if (!Commands::CopyToNewFile(setup, copy) || !SetupRecord::Fill(copy, setup, made, &recorded))
    {
        return false;
    }
    if (recorded)
    {
        lines->push_back(std::string(kSetupName) + ": a record of " + std::to_string(made.size()) +
                         " packages");
    }
    return true;
}

// Says which table packages the staging tree does not hold.
void NoteMissing(const std::string& staging, const std::vector<StagedPackage>& packages)
{
    for (const std::string& name : TablePackages())
    {
        if (std::none_of(packages.begin(), packages.end(),
                         [&](const StagedPackage& package) { return package.name == name; }))
        {
            Note(staging, "warning: no folder for " + name + "; the medium goes without it");
        }
    }
}

bool IsFile(const std::string& path)
{
    Platform::FileInfo info;
    if (!Platform::Stat(path, &info))
    {
        return Report(path);
    }
    return !info.isDirectory || ReportPlain(path, "not a file");
}

// The packages of the staging tree with their titles, in table order, so the
// medium does not depend on how the system lists a folder.
bool ReadStaging(const std::string& staging, std::vector<StagedPackage>* ordered)
{
    Platform::FileInfo info;
    if (!Platform::Stat(staging, &info))
    {
        return Report(staging);
    }
    if (!info.isDirectory)
    {
        return ReportPlain(staging, "not a folder");
    }
    std::vector<StagedPackage> packages;
    std::string manifest;
    if (!ScanStaging(staging, &packages, &manifest) ||
        (!manifest.empty() && !ReadTitles(manifest, &packages)))
    {
        return false;
    }
    for (const std::string& name : TablePackages())
    {
        if (const StagedPackage* package = FindStaged(packages, name))
        {
            ordered->push_back(*package);
        }
    }
    return true;
}

// Makes the medium beside OUT and renames it into place when complete, so OUT
// never holds half a medium.
bool MakeMedium(const std::string& out, const std::vector<StagedPackage>& packages,
                const std::string& setup, std::vector<std::string>* lines)
{
    const std::string work = Platform::TemporaryNameBeside(out);
    if (!Platform::MakeFolders(work))
    {
        return Report(work);
    }
    if (!FillMedium(work, packages, setup, lines))
    {
        RemoveWorkFolder(work);
        return false;
    }
    const bool hadOut = Platform::Exists(out);
    if ((hadOut && !Platform::RemoveEmptyFolder(out)) || !Platform::RenameFolder(work, out))
    {
        Report(out);
        RemoveWorkFolder(work);
        if (hadOut)
        {
            Platform::MakeFolders(out);
        }
        return false;
    }
    return true;
}

} // namespace

std::vector<std::string> TablePackages()
{
    std::vector<std::string> names;
    for (bool windowsNT : {false, true})
    {
        for (const PackageTable::Placement& placement :
             PackageTable::Placements(windowsNT, std::string(), std::string()))
        {
            bool known = false;
            for (const std::string& name : names)
            {
                known = known || name == placement.package;
            }
            if (!known)
            {
                names.push_back(placement.package);
            }
        }
    }
    return names;
}

std::string TableSpelling(const std::string& name)
{
    for (const std::string& package : TablePackages())
    {
        if (SameFileName(package, name))
        {
            return package;
        }
    }
    return std::string();
}

int Build(const std::string& staging, const std::string& outPath, const std::string& setup)
{
    const std::string out = WithoutTrailingSeparators(outPath);
    std::vector<StagedPackage> packages;
    if (!ReadStaging(staging, &packages) || !IsFile(setup) || !PrepareOut(out))
    {
        return Commands::kExitFailure;
    }
    NoteMissing(staging, packages);
    std::vector<std::string> lines;
    if (!MakeMedium(out, packages, setup, &lines))
    {
        return Commands::kExitFailure;
    }
    for (const std::string& line : lines)
    {
        std::printf("%s\n", Platform::JoinPath(out, line).c_str());
    }
    std::printf("%s: %zu packages and %s\n", out.c_str(), packages.size(), kSetupName);
    return Commands::kExitOk;
}

} // namespace Medium
