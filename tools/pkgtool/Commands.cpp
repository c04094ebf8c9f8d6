#include "Commands.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "Platform.h"
#include "package/EntryName.h"
#include "package/EntryText.h"
#include "package/PackageFile.h"
#include "package/PeVersionInfo.h"

namespace Commands
{

namespace
{

// Reports "pkgtool: FILE: REASON" with the text of the current last error.
bool Report(const std::string& file, const std::string& what = std::string())
{
    std::string reason = FileIo::ErrorText(FileIo::GetLastError());
    if (what.empty())
    {
        std::fprintf(stderr, "pkgtool: %s: %s\n", file.c_str(), reason.c_str());
    }
    else
    {
        std::fprintf(stderr, "pkgtool: %s: %s: %s\n", file.c_str(), what.c_str(), reason.c_str());
    }
    return false;
}

bool ReportPlain(const std::string& file, const std::string& message)
{
    std::fprintf(stderr, "pkgtool: %s: %s\n", file.c_str(), message.c_str());
    return false;
}

// One line on a terminal, rewritten in place; silent when output goes elsewhere.
class Progress
{
public:
    Progress() : m_enabled(Platform::StderrIsTerminal()) {}
    ~Progress() { Clear(); }

    void Show(size_t done, size_t total, const std::string& what)
    {
        if (!m_enabled)
        {
            return;
        }
        std::string line = "[" + std::to_string(done) + "/" + std::to_string(total) + "] " + what;
        if (line.size() > 78)
        {
            line = line.substr(0, 75) + "...";
        }
        std::fprintf(stderr, "\r%-*s", static_cast<int>(m_width), line.c_str());
        std::fflush(stderr);
        m_width = std::max(m_width, line.size());
    }

    void Clear()
    {
        if (m_enabled && m_width != 0)
        {
            std::fprintf(stderr, "\r%*s\r", static_cast<int>(m_width), "");
            std::fflush(stderr);
            m_width = 0;
        }
    }

private:
    bool m_enabled;
    size_t m_width = 0;
};

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
        if (!bad.empty())
        {
            if (FileIo::GetLastError() == FileIo::kErrorNotSupported)
            {
                return ReportPlain(Platform::JoinPath(folder, bad),
                                   "not a file or folder (links to folders are not followed)");
            }
            return Report(Platform::JoinPath(folder, bad));
        }
        return Report(folder);
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

bool AddItems(CPackageFile& package, const std::vector<Item>& items)
{
    Progress progress;
    for (size_t i = 0; i < items.size(); ++i)
    {
        const Item& item = items[i];
        progress.Show(i + 1, items.size(), item.path);
        CPackageCatalogEntry entry;
        if (item.info.isDirectory)
        {
            entry.SetDirectory(item.name.c_str());
            if (!package.AddData(entry, nullptr, 0))
            {
                progress.Clear();
                return Report(item.path);
            }
            continue;
        }
        if (item.info.size > CPackageFile::kMaxPackageSize)
        {
            progress.Clear();
            return ReportPlain(item.path, "too large for a package (2 GiB at most)");
        }
        uint32_t versionMs = 0;
        uint32_t versionLs = 0;
        PeVersionInfo::Info version;
        if (PeVersionInfo::ReadFromFile(item.path, &version) && version.hasFixedInfo)
        {
            versionMs = version.fileVersionMs;
            versionLs = version.fileVersionLs;
        }
        entry.SetFile(item.name.c_str(), item.info.creationTime, item.info.lastWriteTime, versionLs,
                      versionMs);
        FileIo::Handle source = FileIo::OpenExisting(item.path, false);
        if (source == FileIo::InvalidHandle())
        {
            progress.Clear();
            return Report(item.path);
        }
        bool ok = package.AddFile(entry, source, static_cast<uint32_t>(item.info.size));
        FileIo::Close(source);
        if (!ok)
        {
            progress.Clear();
            return Report(item.path, "cannot add it to the package");
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

bool CopyFile(const std::string& from, const std::string& to)
{
    FileIo::Handle in = FileIo::OpenExisting(from, false);
    if (in == FileIo::InvalidHandle())
    {
        return Report(from);
    }
    FileIo::Handle out = FileIo::CreateNew(to);
    if (out == FileIo::InvalidHandle())
    {
        FileIo::Close(in);
        return Report(to);
    }
    std::vector<uint8_t> buffer(CPackageFile::kChunkSize);
    bool ok = true;
    for (;;)
    {
        uint32_t got = 0;
        uint32_t put = 0;
        if (!FileIo::Read(in, buffer.data(), CPackageFile::kChunkSize, &got))
        {
            ok = Report(from);
            break;
        }
        if (got == 0)
        {
            break;
        }
        if (!FileIo::Write(out, buffer.data(), got, &put))
        {
            ok = Report(to);
            break;
        }
    }
    FileIo::Close(in);
    FileIo::Close(out);
    if (!ok)
    {
        FileIo::Delete(to);
    }
    return ok;
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

} // namespace

int Create(const std::string& packagePath, const std::string& folder, bool stored,
           const std::string& title)
{
    Platform::FileInfo info;
    if (!Platform::Stat(folder, &info))
    {
        Report(folder);
        return kExitFailure;
    }
    if (!info.isDirectory)
    {
        ReportPlain(folder, "not a folder");
        return kExitFailure;
    }
    if (Platform::Exists(packagePath))
    {
        ReportPlain(packagePath, "already exists; remove it first or use 'pkgtool add'");
        return kExitFailure;
    }
    std::vector<Item> items;
    if (!Collect(folder, std::u16string(), &items))
    {
        return kExitFailure;
    }

    // Built under a temporary name and renamed when complete, so a failure
    // or an interruption never leaves a partial package under the real name.
    std::string temporary = Platform::TemporaryNameBeside(packagePath);
    CPackageFile package(false);
    if (!package.Create(temporary, !stored))
    {
        Report(temporary);
        return kExitFailure;
    }
    if (!AddItems(package, items))
    {
        package.Discard();
        return kExitFailure;
    }
    package.SetCatalogTitle(title.c_str());
    if (!package.Commit())
    {
        Report(temporary, "cannot write the catalog");
        package.Discard();
        return kExitFailure;
    }
    if (!Platform::RenameNoReplace(temporary, packagePath))
    {
        Report(packagePath);
        FileIo::Delete(temporary);
        return kExitFailure;
    }
    std::printf("%s: %zu entries\n", packagePath.c_str(), items.size());
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
    if (!CopyFile(packagePath, temporary))
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
        std::fprintf(
            stderr, "pkgtool: %s: warning: build %" PRIu32 ", the setup accepts only %" PRIu32 "\n",
            packagePath.c_str(), package.GetBuildNumber(), CPackageFile::kBuildNumber);
    }
    if (!Platform::MakeFolders(folder))
    {
        Report(folder);
        return kExitFailure;
    }
    CPackageCatalog catalog = package.GetCatalog();
    bool allDone = true;
    Progress progress;
    for (int i = 0; i < catalog.GetCount(); ++i)
    {
        CPackageCatalogEntry entry = catalog.GetEntry(i);
        std::u16string name(entry.GetName(), entry.GetNameLength());
        std::string shown = Platform::ToDisplay(name);
        std::string where = packagePath + ": entry " + std::to_string(i) + " '" + shown + "'";
        progress.Show(static_cast<size_t>(i + 1), static_cast<size_t>(catalog.GetCount()), shown);
        if (!EntryName::IsSafeRelativePath(name.c_str(), name.size()))
        {
            progress.Clear();
            allDone =
                ReportPlain(where, "unsafe name (it could leave the target folder); not extracted");
            continue;
        }
        std::string target;
        if (!TargetPath(folder, entry, &target))
        {
            progress.Clear();
            allDone = ReportPlain(where, "name cannot be written on this system; not extracted");
            continue;
        }
        if (entry.GetKind() == CPackageCatalogEntry::kKindDirectory)
        {
            if (!Platform::MakeFolders(target))
            {
                progress.Clear();
                allDone = Report(target);
            }
            continue;
        }
        if (entry.GetKind() != CPackageCatalogEntry::kKindFile)
        {
            progress.Clear();
            std::fprintf(stderr, "pkgtool: %s: %s entry skipped\n", where.c_str(),
                         entry.GetKindName().c_str());
            continue;
        }
        if (!HasContent(entry) && entry.GetUnpackedSize() != 0)
        {
            progress.Clear();
            allDone = ReportPlain(where, "the package holds no content for it");
            continue;
        }
        std::string parent = Platform::ParentOf(target);
        if (!Platform::MakeFolders(parent))
        {
            progress.Clear();
            allDone = Report(parent);
            continue;
        }
        // Written beside the target and renamed over it once complete.
        std::string temporary = Platform::TemporaryNameBeside(target);
        FileIo::Handle out = FileIo::CreateNew(temporary);
        if (out == FileIo::InvalidHandle())
        {
            progress.Clear();
            allDone = Report(temporary);
            continue;
        }
        bool ok = !HasContent(entry) || package.ExtractToFile(i, out);
        if (!ok)
        {
            progress.Clear();
            allDone = Report(where, "cannot extract it");
        }
        else if (!Platform::SetTimes(out, entry.GetCreationTime(), entry.GetLastWriteTime()))
        {
            progress.Clear();
            ok = allDone = Report(target, "cannot set its times");
        }
        FileIo::Close(out);
        if (ok && !Platform::RenameReplace(temporary, target))
        {
            progress.Clear();
            ok = allDone = Report(target);
        }
        if (!ok)
        {
            FileIo::Delete(temporary);
        }
    }
    return allDone ? kExitOk : kExitFailure;
}

int Verify(const std::vector<std::string>& packages)
{
    bool allSound = true;
    for (const std::string& packagePath : packages)
    {
        CPackageFile package(false);
        if (!package.Open(packagePath, false))
        {
            allSound = Report(packagePath);
            continue;
        }
        bool sound = true;
        if (package.GetBuildNumber() != CPackageFile::kBuildNumber)
        {
            sound = ReportPlain(packagePath, "build " + std::to_string(package.GetBuildNumber()) +
                                                 ", expected " +
                                                 std::to_string(CPackageFile::kBuildNumber));
        }
        FileIo::Handle sink = FileIo::OpenExisting(Platform::NullDevice(), true);
        if (sink == FileIo::InvalidHandle())
        {
            Report(Platform::NullDevice());
            return kExitFailure;
        }
        CPackageCatalog catalog = package.GetCatalog();
        Progress progress;
        for (int i = 0; i < catalog.GetCount(); ++i)
        {
            CPackageCatalogEntry entry = catalog.GetEntry(i);
            std::u16string name(entry.GetName(), entry.GetNameLength());
            std::string where = packagePath + ": entry " + std::to_string(i) + " '" +
                                Platform::ToDisplay(name) + "'";
            progress.Show(static_cast<size_t>(i + 1), static_cast<size_t>(catalog.GetCount()),
                          Platform::ToDisplay(name));
            if (!EntryName::IsSafeRelativePath(name.c_str(), name.size()))
            {
                progress.Clear();
                sound = ReportPlain(where, "unsafe name (it could leave the target folder)");
            }
            if (HasContent(entry))
            {
                if (!package.ExtractToFile(i, sink))
                {
                    progress.Clear();
                    sound = Report(where, "content does not check out");
                }
            }
            else if (entry.GetUnpackedSize() != 0)
            {
                progress.Clear();
                sound = ReportPlain(where, "records " + std::to_string(entry.GetUnpackedSize()) +
                                               " bytes but the package holds no content for it");
            }
        }
        progress.Clear();
        FileIo::Close(sink);
        if (sound)
        {
            std::printf("%s: OK, %d entries\n", packagePath.c_str(), catalog.GetCount());
        }
        allSound = allSound && sound;
    }
    return allSound ? kExitOk : kExitFailure;
}

} // namespace Commands
