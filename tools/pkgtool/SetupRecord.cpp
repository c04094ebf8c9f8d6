#include "SetupRecord.h"

#include <algorithm>

#include "Medium.h"
#include "Report.h"
#include "package/ByteOrder.h"
#include "package/PeResources.h"
#include "package/UniqueHandle.h"

namespace SetupRecord
{

namespace
{
using namespace Reporting;

constexpr uint32_t kResourceTypeData = 10; // RT_RCDATA
// A setup is a few MiB; anything far larger is not one.
constexpr uint64_t kMaxSetupSize = 256ull * 1024 * 1024;

bool ReadWhole(const std::string& path, std::vector<uint8_t>* bytes)
{
    CFileHandle file(FileIo::OpenExisting(path, false));
    uint64_t size = 0;
    if (!file.IsValid() || !FileIo::GetSize(file.Get(), &size))
    {
        return false;
    }
    if (size > kMaxSetupSize)
    {
        FileIo::SetLastError(FileIo::kErrorFileTooLarge);
        return false;
    }
    bytes->resize(static_cast<size_t>(size));
    return size == 0 || FileIo::ReadExact(file.Get(), bytes->data(), static_cast<uint32_t>(size));
}

bool IsNoRoom(uint32_t error)
{
    return error == FileIo::kErrorResourceDataNotFound ||
           error == FileIo::kErrorResourceTypeNotFound;
}

bool WriteAt(FileIo::Handle file, uint64_t offset, const uint8_t* bytes, size_t size)
{
    uint32_t position = 0;
    uint32_t put = 0;
    return FileIo::Seek(file, static_cast<uint32_t>(offset), &position) &&
           FileIo::Write(file, bytes, static_cast<uint32_t>(size), &put);
}
} // namespace

bool FiguresOf(const std::string& path, PackageDigest::Figures* figures)
{
    CSha256 sha256;
    if (sha256.Open() != CSha256::Availability::Offered)
    {
        if (FileIo::GetLastError() == FileIo::kErrorSuccess)
        {
            FileIo::SetLastError(FileIo::kErrorNotSupported);
        }
        return false;
    }
    CFileHandle file(FileIo::OpenExisting(path, false));
    return file.IsValid() &&
           PackageDigest::Read(file.Get(), &sha256, figures) == PackageDigest::Outcome::Done;
}

bool Fill(const std::string& setup, const std::string& shownAs,
          const std::vector<Package>& packages, bool* filled)
{
    *filled = false;
    std::vector<uint8_t> image;
    if (!ReadWhole(setup, &image))
    {
        return Report(setup);
    }
    PeResources::MemorySource source(image.data(), image.size());
    PeResources::Location room;
    PeResources::Fields fields;
    if (!PeResources::Find(source, kResourceTypeData, CPackageRecord::kResourceId,
                           PeResources::NameMatch::Exact, &room))
    {
        if (!IsNoRoom(FileIo::GetLastError()))
        {
            return Report(shownAs, "finding the room for the record of the packages");
        }
        Note(shownAs, "warning: no room for the record of the packages (a setup of an older "
                      "build): the medium goes without one, and the setup installs without "
                      "checking its packages first");
        return true;
    }
    if (!PeResources::ReadFields(source, &fields))
    {
        return Report(setup);
    }
    if (fields.certificateTable.size != 0)
    {
        return ReportPlain(shownAs, "is signed already, and the record of the packages would break "
                                    "its signature: build the medium from the unsigned setup and "
                                    "sign the medium (pkgtool medium sign)");
    }
    CPackageRecord record;
    for (const Package& package : packages)
    {
        PackageDigest::Figures figures;
        if (!FiguresOf(package.second, &figures))
        {
            return Report(package.second);
        }
        if (figures.size > UINT32_MAX)
        {
            FileIo::SetLastError(FileIo::kErrorFileTooLarge);
            return Report(package.second);
        }
        CPackageRecord::Row row;
        row.name = package.first;
        row.size = static_cast<uint32_t>(figures.size);
        row.crc32 = figures.crc32;
        std::copy(figures.sha256, figures.sha256 + CSha256::kSize, row.sha256);
        record.Add(row);
    }
    if (!record.Write(image.data() + room.offset, room.size))
    {
        return ReportPlain(shownAs, "its room for the record of the packages holds " +
                                        std::to_string(room.size) + " bytes, too few for " +
                                        std::to_string(packages.size()) + " packages");
    }
    uint8_t checksum[4];
    ByteOrder::PutLe32(checksum,
                       PeResources::Checksum(image.data(), image.size(), fields.checksumOffset));
    CFileHandle file(FileIo::OpenExisting(setup, true));
    if (!file.IsValid() ||
        !WriteAt(file.Get(), room.offset, image.data() + room.offset, room.size) ||
        !WriteAt(file.Get(), fields.checksumOffset, checksum, sizeof checksum) ||
        !FileIo::Flush(file.Get()))
    {
        return Report(setup);
    }
    *filled = true;
    return true;
}

Found Read(const std::string& setup, CPackageRecord* record, std::string* why)
{
    std::vector<uint8_t> image;
    PeResources::Location room;
    if (!ReadWhole(setup, &image))
    {
        *why = FileIo::ErrorText(FileIo::GetLastError());
        return Found::Unreadable;
    }
    PeResources::MemorySource source(image.data(), image.size());
    if (!PeResources::Find(source, kResourceTypeData, CPackageRecord::kResourceId,
                           PeResources::NameMatch::Exact, &room))
    {
        if (IsNoRoom(FileIo::GetLastError()))
        {
            return Found::NoRoom;
        }
        *why = FileIo::ErrorText(FileIo::GetLastError());
        return Found::Unreadable;
    }
    switch (record->Read(image.data() + room.offset, room.size))
    {
    case CPackageRecord::State::Empty:
        return Found::Empty;
    case CPackageRecord::State::Filled:
        return Found::Record;
    default:
        *why = "its record of the packages is not one this pkgtool can read";
        return Found::Unreadable;
    }
}

std::vector<Disagreement> Compare(const CPackageRecord& record,
                                  const std::vector<Package>& packages)
{
    std::vector<Disagreement> found;
    for (const Package& package : packages)
    {
        Disagreement one;
        one.package = package.first;
        PackageDigest::Figures figures;
        if (!FiguresOf(package.second, &figures))
        {
            one.why = FileIo::ErrorText(FileIo::GetLastError());
            found.push_back(one);
            continue;
        }
        const CPackageRecord::Row* row = record.Find(package.first);
        one.size = figures.size;
        one.recordedSize = row != nullptr ? row->size : 0;
        switch (CPackageRecord::BySize(row, figures.size))
        {
        case CPackageRecord::Verdict::NotRecorded:
            one.kind = Disagreement::Kind::NotRecorded;
            break;
        case CPackageRecord::Verdict::Shorter:
            one.kind = Disagreement::Kind::Shorter;
            break;
        case CPackageRecord::Verdict::Longer:
            one.kind = Disagreement::Kind::Longer;
            break;
        default:
            one.kind = Disagreement::Kind::OtherContent;
            one.sha256Differs = CPackageRecord::ByContent(*row, figures.crc32, figures.sha256) !=
                                CPackageRecord::Verdict::Same;
            one.crc32Differs = CPackageRecord::ByContent(*row, figures.crc32, nullptr) !=
                               CPackageRecord::Verdict::Same;
        }
        if (one.kind != Disagreement::Kind::OtherContent || one.sha256Differs || one.crc32Differs)
        {
            found.push_back(one);
        }
    }
    for (const CPackageRecord::Row& row : record.Rows())
    {
        const auto answers = [&row](const Package& package)
        { return FileIo::SameFileName(package.first, row.name); };
        if (std::none_of(packages.begin(), packages.end(), answers))
        {
            Disagreement one;
            one.kind = Disagreement::Kind::NotOnMedium;
            one.package = row.name;
            found.push_back(one);
        }
    }
    return found;
}

std::string Describe(const Disagreement& disagreement)
{
    using Kind = Disagreement::Kind;
    switch (disagreement.kind)
    {
    case Kind::Unreadable:
        return "cannot be read to compare it with the record in Setup.exe (" + disagreement.why +
               ")";
    case Kind::NotRecorded:
        return "not in the record of the packages in Setup.exe";
    case Kind::Shorter:
    case Kind::Longer:
        return std::to_string(disagreement.size) + " bytes, the record in Setup.exe says " +
               std::to_string(disagreement.recordedSize) + " bytes";
    case Kind::OtherContent:
        return std::string("its content is not the one recorded in Setup.exe (") +
               (!disagreement.sha256Differs ? "CRC-32, which systems without SHA-256 compare"
                : disagreement.crc32Differs ? "SHA-256 and CRC-32"
                                            : "SHA-256") +
               ")";
    default:
        return "recorded in Setup.exe, but not a package on the medium";
    }
}

} // namespace SetupRecord
