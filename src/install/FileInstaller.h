// Decides, for one file entry, whether the package's file goes to its target: a
// missing target is written, versions decide between two versioned files, and the
// user is asked before an unversioned file is overwritten.
#pragma once

#include "install/ReplaceRules.h"

#include <cstdint>
#include <functional>
#include <string>

struct CSetupState;
class CFileReplacer;
class CPackageFile;
class CPackageCatalogEntry;

// Puts the replace question to the user and returns the answer.
using ReplaceQuestion = std::function<ReplaceRules::Answer(const std::string& question)>;

class CFileInstaller
{
public:
    // Reads and writes the ask-before-replace and cancel flags.
    CFileInstaller(CSetupState& state, CFileReplacer& replacer, ReplaceQuestion ask);

    // False when writing failed (the user has been told) or the user cancelled.
    bool InstallFile(CPackageFile& package, const CPackageCatalogEntry& entry, int index,
                     const std::string& targetPath);

    // True: replace. Clears the ask flag on Yes To All, sets the cancel flag on Cancel.
    bool QueryReplace(const CPackageCatalogEntry& entry, const std::string& targetPath);

    static std::string FormatFileTime(uint64_t fileTime);

private:
    CSetupState& m_state;
    CFileReplacer& m_replacer;
    ReplaceQuestion m_ask;
};
