// The check before the install changes anything: every package of this platform
// family's table read once and compared with the record of the medium's packages
// that Setup.exe carries. A package that is missing, shorter, longer or other than
// recorded stops the setup with a message that names it; so does a package that
// cannot be read, or a digest the system should give and does not.
#pragma once

#include "package/PackageRecord.h"
#include "package/Sha256.h"
#include "package/UniqueHandle.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

struct CSetupState;
class IProgressReport;

class CPackageCheck
{
public:
    // Reads the source folder and the install and system folders.
    explicit CPackageCheck(const CSetupState& state);

    // The record in `recordModule`'s resources, then every package of the family
    // against it. True when all are as recorded, and when the module carries no
    // record (a setup of an older build, or one whose room was never filled): such a
    // medium installs unchecked, as before. False after telling the user.
    bool Check(IProgressReport& progress, HMODULE recordModule);

    // The record to check against, when it comes from elsewhere than a module.
    void UseRecord(const CPackageRecord& record) { m_record = record; }
    // One package, by file name in the source folder, against the record; false after
    // telling the user.
    bool CheckPackage(IProgressReport& progress, const std::string& name);

    // Whether packages are compared by SHA-256 (the system offers it) rather than by
    // CRC-32; known once a package has been checked.
    bool UsesSha256() const { return m_digest == Digest::Sha256; }

    // The packages checked, still open and shared for reading only: while the caller
    // holds them, nobody can replace a package between its check and its install.
    std::vector<CFileHandle> TakeCheckedPackages() { return std::move(m_checked); }

private:
    enum class Digest
    {
        Unknown,
        Sha256,
        Crc32,
    };
    // Asks the system once for SHA-256; false after telling the user that it should
    // have given one and did not.
    bool ChooseDigest(const std::string& name);

    const CSetupState& m_state;
    CPackageRecord m_record;
    CSha256 m_sha256;
    Digest m_digest = Digest::Unknown;
    std::vector<CFileHandle> m_checked;
};
