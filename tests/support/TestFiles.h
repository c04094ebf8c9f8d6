// Files and folders of the Wine prefix, handled straight through the platform so
// that a test never depends on the code it checks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace TestFiles
{
// A Unix path as Wine's Z: drive sees it.
std::string FromUnixPath(const std::string& unixPath);
// The Unix path behind a Windows path, through Wine's own export; empty elsewhere.
std::string UnixPath(const std::string& path);
// Runs a Unix program of Wine's Z: drive ("Z:\bin\ln") to its end, at most thirty
// seconds; true when it ended with status 0.
bool RunUnix(const char* program, const std::string& commandLine);

// Wine's own API makes no links (CreateSymbolicLinkA pretends), but it shows a Unix
// symbolic link as a folder with the reparse-point attribute, leading where a junction
// would: `link` (not there yet) is made to lead to the folder `target`. False, with the
// reason, where that cannot be done.
bool MakeFolderLink(const std::string& target, const std::string& link, std::string& why);
// Removes such a link, never what it leads to.
void RemoveFolderLink(const std::string& link);

bool Exists(const std::string& path);
bool IsFolder(const std::string& path);
// Deletes a folder tree, or a file; silent when it does not exist. Links inside the
// tree are removed, never followed, so a test cannot reach past its own folder.
void RemoveTree(const std::string& path);

bool WriteText(const std::string& path, const std::string& text);
std::vector<uint8_t> ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);
// Names in `folder` matching `pattern` ("$tmp*.tmp"), sorted.
std::vector<std::string> List(const std::string& folder, const std::string& pattern);

// The running test executable's folder, no trailing backslash.
std::string ExeFolder();
// A file built beside the test executable (versioned DLLs, the holder program).
std::string Fixture(const std::string& name);
// A fresh, empty folder below the prefix's temporary folder.
std::string TempFolder(const std::string& name);

// The system's text for an error code, as the setup shows it: without the line break the
// system ends it with (its full stop ends the setup's sentence too).
std::string SystemText(DWORD code);

// A link file's fields as the shell reads them; `loaded` is false when it cannot be
// read. `rawPath`: the target as stored, not resolved.
struct Link
{
    bool loaded = false;
    std::string path;
    std::string arguments;
    std::string folder;
    std::string description;
    std::string icon;
    int iconIndex = 0;
};
Link ReadLink(const std::string& file, bool rawPath);

// Runs Wine's restart processing (boot-time renames, WININIT.INI); false on failure.
bool RunBootProcessing();

// A fresh folder below C:\insttest, removed with its content.
class CScratch
{
public:
    explicit CScratch(const std::string& name);
    ~CScratch();
    CScratch(const CScratch&) = delete;
    CScratch& operator=(const CScratch&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

// Keeps a file open without any sharing in a separate process until destroyed.
class CFileHolder
{
public:
    explicit CFileHolder(const std::string& path);
    ~CFileHolder();
    CFileHolder(const CFileHolder&) = delete;
    CFileHolder& operator=(const CFileHolder&) = delete;

    bool IsHolding() const { return m_holding; }
    void Release();

private:
    PROCESS_INFORMATION m_process;
    bool m_holding;
};
} // namespace TestFiles
