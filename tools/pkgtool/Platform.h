#pragma once

// What pkgtool needs from the system beyond the package library's file
// layer: folders, file times, renames, text conversion and the terminal.
// Failures return false with the Win32-style last-error code set.

#include <cstdint>
#include <string>
#include <vector>

#include "package/FileIo.h"

namespace Platform
{

extern const char kSeparator;

struct FileInfo
{
    bool isDirectory = false;
    uint64_t size = 0;
    // Windows file times. Where the system keeps no creation time, it is the
    // last-write time.
    uint64_t creationTime = 0;
    uint64_t lastWriteTime = 0;
};

bool Stat(const std::string& path, FileInfo* info);
bool Exists(const std::string& path);
// Names of the folder's members, without "." and "..", in no particular order.
// Members that are neither files nor folders (links to folders, devices)
// fail the listing with kErrorNotSupported and their name in `*bad`.
bool ListFolder(const std::string& path, std::vector<std::string>* names, std::string* bad);
// Creates the folder and any missing parents; an existing folder is fine.
bool MakeFolders(const std::string& path);
bool RemoveEmptyFolder(const std::string& path);
// Renames a folder to a path that does not exist.
bool RenameFolder(const std::string& from, const std::string& to);
bool RenameNoReplace(const std::string& from, const std::string& to);
bool RenameReplace(const std::string& from, const std::string& to);
bool SetTimes(FileIo::Handle file, uint64_t creationTime, uint64_t lastWriteTime);
std::string JoinPath(const std::string& folder, const std::string& name);
std::string ParentOf(const std::string& path);
// A name no other process of this tool will pick in the same folder.
std::string TemporaryNameBeside(const std::string& path);
// Whether a file name is one that TemporaryNameBeside gives.
bool IsTemporaryName(const std::string& name);
std::string NullDevice();

// Names on disk are UTF-8 on POSIX and the ANSI code page on Windows.
bool ToUtf16(const std::string& text, std::u16string* out);
bool FromUtf16(const std::u16string& text, std::string* out);
// For display only: characters that cannot be shown become '?'.
std::string ToDisplay(const std::u16string& text);

bool StderrIsTerminal();

} // namespace Platform
