#include "install/PackageCheck.h"

#include "framework/Messages.h"
#include "framework/Platform.h"
#include "framework/ProgressReport.h"
#include "framework/SetupState.h"
#include "framework/SystemError.h"
#include "framework/resource.h"
#include "install/PackageTable.h"
#include "package/PackageDigest.h"
#include "package/UniqueHandle.h"

static_assert(IDR_PACKAGE_RECORD == CPackageRecord::kResourceId,
              "the record's room is found by the id pkgtool fills");

namespace
{
UINT MessageFor(CPackageRecord::Verdict verdict)
{
    switch (verdict)
    {
    case CPackageRecord::Verdict::NotRecorded:
        return IDS_PACKAGE_UNRECORDED;
    case CPackageRecord::Verdict::Shorter:
        return IDS_PACKAGE_SHORTER;
    case CPackageRecord::Verdict::Longer:
        return IDS_PACKAGE_LONGER;
    default:
        return IDS_PACKAGE_DIFFERS;
    }
}

bool Refuse(CPackageRecord::Verdict verdict, const std::string& name)
{
    Messages::Show(MessageFor(verdict), {name});
    return false;
}

// The room of the record in the module's resources; Empty when it has none.
CPackageRecord::State ReadRecord(HMODULE module, CPackageRecord& record)
{
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDR_PACKAGE_RECORD), RT_RCDATA);
    if (found == nullptr)
    {
        return CPackageRecord::State::Empty;
    }
    const DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const void* room = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (room == nullptr)
    {
        return CPackageRecord::State::Malformed;
    }
    return record.Read(static_cast<const uint8_t*>(room), size);
}
} // namespace

CPackageCheck::CPackageCheck(const CSetupState& state) : m_state(state) {}

bool CPackageCheck::Check(IProgressReport& progress, HMODULE recordModule)
{
    switch (ReadRecord(recordModule, m_record))
    {
    case CPackageRecord::State::Empty:
        return true;
    case CPackageRecord::State::Malformed:
        Messages::Show(IDS_RECORD_DAMAGED);
        return false;
    default:
        break;
    }
    progress.SetStatus(IDS_CHECKING_PACKAGES, 0);
    for (const PackageTable::Placement& placement : PackageTable::Placements(
             Platform::IsWindowsNT(), m_state.m_strInstallPath, m_state.m_strSystemFolder))
    {
        if (!CheckPackage(progress, placement.package))
        {
            return false;
        }
    }
    return true;
}

bool CPackageCheck::CheckPackage(IProgressReport& progress, const std::string& name)
{
    progress.SetLine2Text(name);
    CFileHandle file(FileIo::OpenExisting(m_state.m_strSourceFolder + name, false));
    if (!file.IsValid())
    {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        {
            Messages::Show(IDS_PACKAGE_MISSING, {name});
        }
        else
        {
            Messages::Show(IDS_PACKAGE_UNREADABLE, {name, SystemError::Text(error)});
        }
        return false;
    }
    const CPackageRecord::Row* row = m_record.Find(name);
    uint64_t size = 0;
    if (!FileIo::GetSize(file.Get(), &size))
    {
        Messages::Show(IDS_PACKAGE_UNREADABLE, {name, SystemError::LastErrorText()});
        return false;
    }
    CPackageRecord::Verdict verdict = CPackageRecord::BySize(row, size);
    if (verdict != CPackageRecord::Verdict::Same)
    {
        return Refuse(verdict, name);
    }
    if (!ChooseDigest(name))
    {
        return false;
    }
    PackageDigest::Figures figures;
    switch (PackageDigest::Read(file.Get(), UsesSha256() ? &m_sha256 : nullptr, &figures))
    {
    case PackageDigest::Outcome::ReadFailed:
        Messages::Show(IDS_PACKAGE_UNREADABLE, {name, SystemError::LastErrorText()});
        return false;
    case PackageDigest::Outcome::HashFailed:
        Messages::Show(IDS_PACKAGE_CHECK_FAILED, {name, SystemError::LastErrorText()});
        return false;
    default:
        break;
    }
    // A file that changed its length while it was read is judged by what was read.
    verdict = CPackageRecord::BySize(row, figures.size);
    if (verdict == CPackageRecord::Verdict::Same)
    {
        verdict = CPackageRecord::ByContent(*row, figures.crc32,
                                            figures.hasSha256 ? figures.sha256 : nullptr);
    }
    if (verdict != CPackageRecord::Verdict::Same)
    {
        return Refuse(verdict, name);
    }
    m_checked.push_back(std::move(file));
    return true;
}

bool CPackageCheck::ChooseDigest(const std::string& name)
{
    if (m_digest != Digest::Unknown)
    {
        return true;
    }
    switch (m_sha256.Open())
    {
    case CSha256::Availability::Offered:
        m_digest = Digest::Sha256;
        return true;
    case CSha256::Availability::NotOffered:
        m_digest = Digest::Crc32;
        return true;
    default:
        // A system that should give SHA-256 and fails to is no medium to pass unchecked.
        Messages::Show(IDS_PACKAGE_CHECK_FAILED, {name, SystemError::LastErrorText()});
        return false;
    }
}
