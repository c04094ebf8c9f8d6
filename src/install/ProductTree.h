// The product's folder tree: made by the first step of the install, removed with
// everything below it by the first stage of the uninstall.
#pragma once

#include <cstdint>
#include <string>

class IProgressReport;

namespace ProductTree
{
// The folders below the install folder, parents first, so that each creation only
// has to make the last element. The same tree for both editions and families.
extern const char* const kSubFolders[];
extern const int kSubFolderCount;

// The install folder and every folder below it; stops at the first that cannot be
// made (after telling the user).
bool CreateFolderTree(const std::string& installPath, IProgressReport& progress);
// True when the folder exists afterwards; shows the path on the lower status line.
bool CreateFolder(const std::string& path, IProgressReport& progress);

// The bytes of every file below `folder`; links are not followed, and what cannot be
// listed counts nothing.
uint64_t TreeBytes(const std::string& folder);

// Each deletion tells the user what it could not remove and goes on. Links in the tree go
// as themselves, never emptied; a folder that cannot be told from a link is not emptied.
void DeleteFolderTree(const std::string& folder);
void EmptyFolder(const std::string& folder);
void DeleteOneFile(const std::string& path);
} // namespace ProductTree
