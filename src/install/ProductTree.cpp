#include "install/ProductTree.h"

#include "framework/Messages.h"
#include "framework/ProgressReport.h"
#include "framework/SystemError.h"
#include "framework/Win32Handles.h"
#include "framework/resource.h"

namespace ProductTree
{
const char* const kSubFolders[] = {
    "\\Programs",
    "\\Configuration",
    "\\Configuration\\Machine",
    "\\Drivers",
    "\\Drivers\\RERER8",
    "\\Drivers\\RERER8\\amd64",
    "\\Drivers\\RERER8\\i386",
    "\\Lexicography",
    "\\Logs",
    "\\Documents",
    "\\Language",
    "\\Language\\English",
};
const int kSubFolderCount = static_cast<int>(sizeof(kSubFolders) / sizeof(kSubFolders[0]));

bool CreateFolderTree(const std::string& installPath, IProgressReport& progress)
{
    if (!CreateFolder(installPath, progress))
    {
        return false;
    }
    for (int i = 0; i < kSubFolderCount; ++i)
    {
        if (!CreateFolder(installPath + kSubFolders[i], progress))
        {
            return false;
        }
    }
    return true;
}

bool CreateFolder(const std::string& path, IProgressReport& progress)
{
    progress.SetLine2Text(path);
    if (CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
    {
        return true;
    }
    Messages::Show(IDS_CREATE_FOLDER_FAILED, {path, SystemError::LastErrorText()});
    return false;
}

uint64_t TreeBytes(const std::string& folder)
{
    uint64_t bytes = 0;
    WIN32_FIND_DATAA found;
    CFindHandle search(FindFirstFileA((folder + "\\*.*").c_str(), &found));
    bool more = search.IsValid();
    while (more)
    {
        const std::string name = found.cFileName;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        {
            bytes += (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        }
        else if (name != "." && name != ".." &&
                 !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        {
            bytes += TreeBytes(folder + "\\" + name);
        }
        more = FindNextFileA(search.Get(), &found) != FALSE;
    }
    return bytes;
}

namespace
{
void RemoveFolder(const std::string& folder)
{
    if (!RemoveDirectoryA(folder.c_str()))
    {
        Messages::Show(IDS_DELETE_FOLDER_FAILED, {folder, SystemError::LastErrorText()});
    }
}
} // namespace

void DeleteFolderTree(const std::string& folder)
{
    // A junction or symbolic link leads out of the tree: only the link itself goes, never
    // what it points to. A folder that cannot be told from a link is not emptied either;
    // its removal then fails and says so.
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    const DWORD error = GetLastError();
    if (attributes != INVALID_FILE_ATTRIBUTES
            ? !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            : error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
    {
        EmptyFolder(folder);
    }
    RemoveFolder(folder);
}

void EmptyFolder(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    CFindHandle search(FindFirstFileA((folder + "\\*.*").c_str(), &found));
    if (!search.IsValid())
    {
        return;
    }
    std::string parent = folder;
    while (!parent.empty() && (parent.back() == '\\' || parent.back() == '/'))
    {
        parent.pop_back();
    }
    bool more = true;
    while (more)
    {
        // The next entry is fetched before this one goes, so the deletion cannot
        // disturb the search.
        const WIN32_FIND_DATAA entry = found;
        more = FindNextFileA(search.Get(), &found) != FALSE;
        const std::string name = entry.cFileName;
        if (name == "." || name == "..")
        {
            continue;
        }
        const std::string path = parent + "\\" + name;
        // The listing says what each entry is: a link in the tree is removed as itself and
        // never emptied, whatever a second look at it would say.
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        {
            DeleteOneFile(path);
            continue;
        }
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        {
            EmptyFolder(path);
        }
        RemoveFolder(path);
    }
}

void DeleteOneFile(const std::string& path)
{
    if (DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND)
    {
        return;
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
    {
        SetFileAttributesA(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
    if (DeleteFileA(path.c_str()))
    {
        return;
    }
    Messages::Show(IDS_DELETE_FILE_FAILED, {path, SystemError::LastErrorText()});
}
} // namespace ProductTree
