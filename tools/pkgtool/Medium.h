#pragma once

// A medium: Setup.exe and the packages of the setup's table in one folder, as
// a vendor ships it. `build` makes one from a staging tree, `check` meets one
// (or its disc image) as the installs of both platform families would, `image`
// makes its disc image.

#include "package/FileIo.h"

#include <string>
#include <vector>

// The staging tree's manifest of titles; a macro so that the help can name it.
#define PKGTOOL_MEDIUM_MANIFEST "titles.txt"

namespace Medium
{

// The setup's file name on a medium.
extern const char kSetupName[];

int Build(const std::string& staging, const std::string& out, const std::string& setup);

struct CheckOptions
{
    bool json = false;
    // The certificates a signature of Setup.exe is verified against; empty: this
    // system's authorities.
    std::string ca;
    // An unsigned Setup.exe, or one whose signature does not verify, is a finding.
    bool requireSignature = false;
};
int Check(const std::string& path, const CheckOptions& options);
// Only in builds that carry the disc image library (PKGTOOL_DISC_IMAGES).
int Image(const std::string& medium, const std::string& out, const std::string& label, bool force);

enum class Verdict
{
    Clean,
    Findings,       // it would fail at a customer's
    Unreadable,     // reported
    NotInThisBuild, // a disc image, in a build without the library; reported
};
// Checks a medium folder or its disc image and prints what `check` prints.
Verdict CheckMedium(const std::string& path, const CheckOptions& options);

// The package file names of the setup's table, both families', each once, in
// the table's order.
std::vector<std::string> TablePackages();
// The table's spelling of a package file name given in any letter case; empty
// when the table has no such package.
std::string TableSpelling(const std::string& name);
// A letter of the ASCII range in upper case; any other character as it is.
char AsciiUpper(char c);
using FileIo::SameFileName;

} // namespace Medium
