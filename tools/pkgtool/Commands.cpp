#include "Commands.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "Platform.h"
#include "Report.h"
#include "package/EntryName.h"
#include "package/EntryText.h"
#include "package/PackageFile.h"
#include "package/PeVersionInfo.h"
#include "package/UniqueHandle.h"

namespace Commands
{

namespace
{

using namespace Reporting;

struct Item
{
    std::u16string name;
    std::string path;
    Platform::FileInfo info;
};

bool CheckName(const std::u16string& name, const std::string& path)
{
    if (name.size() > EntryName::kMaxLength)
    {
        return ReportPlain(path, "name is longer than 1023 characters inside the package");
    }
    if (!EntryName::IsSafeRelativePath(name.c_str(), name.size()))
    {
        return ReportPlain(path, "name cannot be stored: it must be a relative path of plain "
                                 "file names that Windows accepts");
    }
    return true;
}

// Every file and folder below `folder`, depth first, each folder before its
// members, members ordered by their UTF-16 names so the order is the same on
// every system.
bool Collect(const std::string& folder, const std::u16string& prefix, std::vector<Item>* items)
{
    std::vector<std::string> names;
    std::string bad;
    if (!Platform::ListFolder(folder, &names, &bad))
    {
        return ReportListFailure(folder, bad);
    }
    std::vector<std::pair<std::u16string, std::string>> members;
    for (const std::string& name : names)
    {
        // Inside a package a backslash separates folders, so a POSIX name
        // holding one would come back as a different path.
        if (Platform::kSeparator != '\\' && name.find('\\') != std::string::npos)
        {
            return ReportPlain(Platform::JoinPath(folder, name),
                               "name holds a backslash, which a package cannot store");
        }
        std::u16string wide;
        if (!Platform::ToUtf16(name, &wide))
        {
            return ReportPlain(Platform::JoinPath(folder, name), "name is not valid text");
        }
        members.emplace_back(wide, name);
    }
    std::sort(members.begin(), members.end());
    for (const auto& member : members)
    {
        Item item;
        item.name = prefix.empty() ? member.first : prefix + u"\\" + member.first;
        item.path = Platform::JoinPath(folder, member.second);
        if (!CheckName(item.name, item.path))
        {
            return false;
        }
        if (!Platform::Stat(item.path, &item.info))
        {
            return Report(item.path);
        }
        items->push_back(item);
        if (item.info.isDirectory && !Collect(item.path, item.name, items))
        {
            return false;
        }
    }
    return true;
}

// The file version the package records for a file, 0 without one. A version
// the setup's reader will not see is recorded all the same, with a warning.
uint64_t RecordedVersion(const std::string& path)
{
    PeVersionInfo::Info version;
    if (!PeVersionInfo::ReadFromFile(path, &version) || !version.hasFixedInfo)
    {
        return 0;
    }
    if (version.VersionSeenBySetup() != version.FileVersion())
    {
        Note(path, "warning: its version resource has no translation table, so the setup reads "
                   "it as a file without a version");
    }
    return version.FileVersion();
}

bool AddFileItem(CPackageFile& package, const Item& item)
{
    if (item.info.size > CPackageFile::kMaxPackageSize)
    {
        return ReportPlain(item.path, "too large for a package (2 GiB at most)");
    }
    const uint64_t version = RecordedVersion(item.path);
    CPackageCatalogEntry entry;
    entry.SetFile(item.name.c_str(), item.info.creationTime, item.info.lastWriteTime,
                  static_cast<uint32_t>(version), static_cast<uint32_t>(version >> 32));
    CFileHandle source(FileIo::OpenExisting(item.path, false));
    if (!source.IsValid())
    {
        return Report(item.path);
    }
    if (!package.AddFile(entry, source.Get(), static_cast<uint32_t>(item.info.size)))
    {
        return Report(item.path, "cannot add it to the package");
    }
    return true;
}

bool AddItems(CPackageFile& package, const std::vector<Item>& items)
{
    Progress progress;
    for (size_t i = 0; i < items.size(); ++i)
    {
        const Item& item = items[i];
        progress.Show(i + 1, items.size(), item.path);
        if (!item.info.isDirectory)
        {
            if (!AddFileItem(package, item))
            {
                return false;
            }
            continue;
        }
        CPackageCatalogEntry entry;
        entry.SetDirectory(item.name.c_str());
        if (!package.AddData(entry, nullptr, 0))
        {
            return Report(item.path);
        }
    }
    return true;
}

std::string FormatTime(uint64_t fileTime)
{
    const EntryText::CivilTime time = EntryText::UtcFromFileTime(fileTime);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02u:%02u:%02u",
                  static_cast<long long>(time.year), time.month, time.day, time.hour, time.minute,
                  time.second);
    return text;
}

std::string FormatVersion(uint64_t version)
{
    return EntryText::Version(version);
}

// The entry's path below `folder` in the system's form.
bool TargetPath(const std::string& folder, const CPackageCatalogEntry& entry, std::string* path)
{
    std::u16string name(entry.GetName(), entry.GetNameLength());
    *path = folder;
    size_t start = 0;
    while (start <= name.size())
    {
        size_t end = name.find_first_of(u"\\/", start);
        if (end == std::u16string::npos)
        {
            end = name.size();
        }
        std::string segment;
        if (!Platform::FromUtf16(name.substr(start, end - start), &segment))
        {
            return false;
        }
        *path = Platform::JoinPath(*path, segment);
        start = end + 1;
    }
    return true;
}

bool HasContent(const CPackageCatalogEntry& entry)
{
    return entry.GetDataOffset() != 0 && entry.GetStoredSize() != 0;
}

// The name under which an argument of `add` goes into the package: the path
// as given, relative, with backslashes.
bool NameOfArgument(const std::string& argument, std::u16string* name)
{
    std::string path = argument;
    for (char& c : path)
    {
        if (c == '/' || (Platform::kSeparator == '\\' && c == '\\'))
        {
            c = '\\';
        }
    }
    while (path.compare(0, 2, ".\\") == 0)
    {
        path.erase(0, 2);
    }
    while (path.size() > 1 && path.back() == '\\')
    {
        path.pop_back();
    }
    if (!Platform::ToUtf16(path, name))
    {
        return ReportPlain(argument, "name is not valid text");
    }
    return CheckName(*name, argument);
}

std::string DisplayName(const CPackageCatalogEntry& entry)
{
    return Platform::ToDisplay(std::u16string(entry.GetName(), entry.GetNameLength()));
}

// "PACKAGE: entry N 'NAME'", how messages name an entry.
std::string EntryWhere(const std::string& packagePath, int index, const CPackageCatalogEntry& entry)
{
    return packagePath + ": entry " + std::to_string(index) + " '" + DisplayName(entry) + "'";
}

// Writes the entry's content and times to the open file `out`.
bool WriteEntryTo(CPackageFile& package, int index, const CPackageCatalogEntry& entry,
                  FileIo::Handle out, const std::string& where, const std::string& target)
{
    if (HasContent(entry) && !package.ExtractToFile(index, out))
    {
        return Report(where, "cannot extract it");
    }
    if (!Platform::SetTimes(out, entry.GetCreationTime(), entry.GetLastWriteTime()))
    {
        return Report(target, "cannot set its times");
    }
    return true;
}

// Writes a file entry beside `target` and renames it over the target once complete.
bool ExtractFile(CPackageFile& package, int index, const CPackageCatalogEntry& entry,
                 const std::string& target, const std::string& where)
{
    if (!HasContent(entry) && entry.GetUnpackedSize() != 0)
    {
        return ReportPlain(where, "the package holds no content for it");
    }
    const std::string parent = Platform::ParentOf(target);
    if (!Platform::MakeFolders(parent))
    {
        return Report(parent);
    }
    const std::string temporary = Platform::TemporaryNameBeside(target);
    CFileHandle out(FileIo::CreateNew(temporary));
    if (!out.IsValid())
    {
        return Report(temporary);
    }
    bool ok = WriteEntryTo(package, index, entry, out.Get(), where, target);
    out.Reset();
    if (ok && !Platform::RenameReplace(temporary, target))
    {
        ok = Report(target);
    }
    if (!ok)
    {
        FileIo::Delete(temporary);
    }
    return ok;
}

// Extracts one entry below `folder`; false after saying why it was not.
bool ExtractEntry(CPackageFile& package, int index, const CPackageCatalogEntry& entry,
                  const std::string& folder, const std::string& where)
{
    if (!EntryName::IsSafeRelativePath(entry.GetName(), entry.GetNameLength()))
    {
        return ReportPlain(where, "unsafe name (it could leave the target folder); not extracted");
    }
    std::string target;
    if (!TargetPath(folder, entry, &target))
    {
        return ReportPlain(where, "name cannot be written on this system; not extracted");
    }
    switch (entry.GetKind())
    {
    case CPackageCatalogEntry::kKindDirectory:
        return Platform::MakeFolders(target) || Report(target);
    case CPackageCatalogEntry::kKindFile:
        return ExtractFile(package, index, entry, target, where);
    default:
        Note(where, entry.GetKindName() + " entry skipped");
        return true;
    }
}

// Inflates every entry into `sink` and checks names and lengths.
bool VerifyPackage(const std::string& packagePath, FileIo::Handle sink)
{
    CPackageFile package(false);
    if (!package.Open(packagePath, false))
    {
        return Report(packagePath);
    }
    bool sound = true;
    if (package.GetBuildNumber() != CPackageFile::kBuildNumber)
    {
        sound = ReportPlain(packagePath, "build " + std::to_string(package.GetBuildNumber()) +
                                             ", expected " +
                                             std::to_string(CPackageFile::kBuildNumber));
    }
    const CPackageCatalog catalog = package.GetCatalog();
    Progress progress;
    for (int i = 0; i < catalog.GetCount(); ++i)
    {
        const CPackageCatalogEntry entry = catalog.GetEntry(i);
        const std::string where = EntryWhere(packagePath, i, entry);
        progress.Show(static_cast<size_t>(i + 1), static_cast<size_t>(catalog.GetCount()),
                      DisplayName(entry));
        if (!EntryName::IsSafeRelativePath(entry.GetName(), entry.GetNameLength()))
        {
            sound = ReportPlain(where, "unsafe name (it could leave the target folder)");
        }
        if (HasContent(entry))
        {
            if (!package.ExtractToFile(i, sink))
            {
                sound = Report(where, "content does not check out");
            }
        }
        else if (entry.GetUnpackedSize() != 0)
        {
            sound = ReportPlain(where, "records " + std::to_string(entry.GetUnpackedSize()) +
                                           " bytes but the package holds no content for it");
        }
    }
    progress.Clear();
    if (sound)
    {
        std::printf("%s: OK, %d entries\n", packagePath.c_str(), catalog.GetCount());
    }
    return sound;
}

} // namespace

bool MakePackage(const std::string& packagePath, const std::string& folder, bool stored,
                 const std::string& title, size_t* entries)
{
    Platform::FileInfo info;
    if (!Platform::Stat(folder, &info))
    {
        return Report(folder);
    }
    if (!info.isDirectory)
    {
        return ReportPlain(folder, "not a folder");
    }
    if (Platform::Exists(packagePath))
    {
        return ReportPlain(packagePath, "already exists; remove it first or use 'pkgtool add'");
    }
    std::vector<Item> items;
    if (!Collect(folder, std::u16string(), &items))
    {
        return false;
    }

    // Built under a temporary name and renamed when complete, so a failure
    // or an interruption never leaves a partial package under the real name.
    const std::string temporary = Platform::TemporaryNameBeside(packagePath);
    CPackageFile package(false);
    if (!package.Create(temporary, !stored))
    {
        return Report(temporary);
    }
    if (!AddItems(package, items))
    {
        package.Discard();
        return false;
    }
    package.SetCatalogTitle(title.c_str());
    if (!package.Commit())
    {
        Report(temporary, "cannot write the catalog");
        package.Discard();
        return false;
    }
    if (!Platform::RenameNoReplace(temporary, packagePath))
    {
        Report(packagePath);
        FileIo::Delete(temporary);
        return false;
    }
    *entries = items.size();
    return true;
}

bool CopyToNewFile(const std::string& from, const std::string& to)
{
    CFileHandle in(FileIo::OpenExisting(from, false));
    if (!in.IsValid())
    {
        return Report(from);
    }
    CFileHandle out(FileIo::CreateNew(to));
    if (!out.IsValid())
    {
        return Report(to);
    }
    std::vector<uint8_t> buffer(CPackageFile::kChunkSize);
    bool ok = true;
    for (;;)
    {
        uint32_t got = 0;
        uint32_t put = 0;
        if (!FileIo::Read(in.Get(), buffer.data(), CPackageFile::kChunkSize, &got))
        {
            ok = Report(from);
            break;
        }
        if (got == 0)
        {
            break;
        }
        if (!FileIo::Write(out.Get(), buffer.data(), got, &put))
        {
            ok = Report(to);
            break;
        }
    }
    out.Reset();
    if (!ok)
    {
        FileIo::Delete(to);
    }
    return ok;
}

int Create(const std::string& packagePath, const std::string& folder, bool stored,
           const std::string& title)
{
    size_t entries = 0;
    if (!MakePackage(packagePath, folder, stored, title, &entries))
    {
        return kExitFailure;
    }
    std::printf("%s: %zu entries\n", packagePath.c_str(), entries);
    return kExitOk;
}

int Add(const std::string& packagePath, const std::vector<std::string>& files)
{
    std::vector<Item> items;
    for (const std::string& file : files)
    {
        Item item;
        item.path = file;
        if (!NameOfArgument(file, &item.name))
        {
            return kExitFailure;
        }
        if (!Platform::Stat(file, &item.info))
        {
            Report(file);
            return kExitFailure;
        }
        items.push_back(item);
        if (item.info.isDirectory && !Collect(file, item.name, &items))
        {
            return kExitFailure;
        }
    }
    {
        CPackageFile check(false);
        if (!check.Open(packagePath, false))
        {
            Report(packagePath);
            return kExitFailure;
        }
    }

    // Appending overwrites the old catalog in place, so it is done on a copy
    // that replaces the package only once committed.
    std::string temporary = Platform::TemporaryNameBeside(packagePath);
    if (!CopyToNewFile(packagePath, temporary))
    {
        return kExitFailure;
    }
    CPackageFile package(false);
    auto fail = [&]
    {
        package.Close();
        FileIo::Delete(temporary);
        return kExitFailure;
    };
    if (!package.Open(temporary, true))
    {
        Report(temporary);
        return fail();
    }
    if (!AddItems(package, items))
    {
        return fail();
    }
    int count = package.GetCatalog().GetCount();
    if (!package.Commit())
    {
        Report(temporary, "cannot write the catalog");
        return fail();
    }
    if (!Platform::RenameReplace(temporary, packagePath))
    {
        Report(packagePath);
        return fail();
    }
    std::printf("%s: %zu entries added, %d in all\n", packagePath.c_str(), items.size(), count);
    return kExitOk;
}

int List(const std::string& packagePath)
{
    CPackageFile package(false);
    if (!package.Open(packagePath, false))
    {
        Report(packagePath);
        return kExitFailure;
    }
    CPackageCatalog catalog = package.GetCatalog();
    std::printf("Package: %s\n", packagePath.c_str());
    std::printf("Title: %s\n", catalog.GetTitle());
    std::printf("Build: %" PRIu32 "\n", package.GetBuildNumber());
    std::printf("Compressed: %s\n", package.IsCompressed() ? "yes" : "no");
    std::printf("Entries: %d\n\n", catalog.GetCount());
    std::printf("%-13s %10s %10s  %-15s  %-19s  %-19s  %s\n", "Kind", "Stored", "Unpacked",
                "Version", "Created (UTC)", "Written (UTC)", "Name");
    for (int i = 0; i < catalog.GetCount(); ++i)
    {
        CPackageCatalogEntry entry = catalog.GetEntry(i);
        bool isFile = entry.GetKind() == CPackageCatalogEntry::kKindFile;
        std::string name =
            Platform::ToDisplay(std::u16string(entry.GetName(), entry.GetNameLength()));
        std::printf("%-13s %10" PRIu32 " %10" PRIu32 "  %-15s  %-19s  %-19s  %s\n",
                    entry.GetKindName().c_str(), HasContent(entry) ? entry.GetStoredSize() : 0,
                    entry.GetUnpackedSize(),
                    isFile ? FormatVersion(entry.GetFileVersion()).c_str() : "-",
                    isFile ? FormatTime(entry.GetCreationTime()).c_str() : "-",
                    isFile ? FormatTime(entry.GetLastWriteTime()).c_str() : "-", name.c_str());
    }
    return kExitOk;
}

int Extract(const std::string& packagePath, const std::string& folder)
{
    CPackageFile package(false);
    if (!package.Open(packagePath, false))
    {
        Report(packagePath);
        return kExitFailure;
    }
    if (package.GetBuildNumber() != CPackageFile::kBuildNumber)
    {
        Note(packagePath, "warning: build " + std::to_string(package.GetBuildNumber()) +
                              ", the setup accepts only " +
                              std::to_string(CPackageFile::kBuildNumber));
    }
    if (!Platform::MakeFolders(folder))
    {
        Report(folder);
        return kExitFailure;
    }
    const CPackageCatalog catalog = package.GetCatalog();
    bool allDone = true;
    Progress progress;
    for (int i = 0; i < catalog.GetCount(); ++i)
    {
        const CPackageCatalogEntry entry = catalog.GetEntry(i);
        const std::string shown = DisplayName(entry);
        progress.Show(static_cast<size_t>(i + 1), static_cast<size_t>(catalog.GetCount()), shown);
        if (!ExtractEntry(package, i, entry, folder, EntryWhere(packagePath, i, entry)))
        {
            allDone = false;
        }
    }
    return allDone ? kExitOk : kExitFailure;
}

int Verify(const std::vector<std::string>& packages)
{
    CFileHandle sink(FileIo::OpenExisting(Platform::NullDevice(), true));
    if (!sink.IsValid())
    {
        Report(Platform::NullDevice());
        return kExitFailure;
    }
    bool allSound = true;
    for (const std::string& packagePath : packages)
    {
        if (!VerifyPackage(packagePath, sink.Get()))
        {
            allSound = false;
        }
    }
    return allSound ? kExitOk : kExitFailure;
}

} // namespace Commands
