#include "Signing.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/bio.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include "ChildProcess.h"
#include "Commands.h"
#include "Medium.h"
#include "Platform.h"
#include "Report.h"
#include "SetupRecord.h"
#include "StopSignals.h"
#include "package/ByteOrder.h"
#include "package/PeResources.h"
#include "package/UniqueHandle.h"

namespace Signing
{

const char kDefaultPasswordVariable[] = "PKGTOOL_SIGN_PASSWORD";

namespace
{
using namespace Reporting;

const char kTool[] = "osslsigncode";
// What osslsigncode reads the password from: a pipe on this descriptor.
const char kPasswordPath[] = "/dev/fd/3";
constexpr int kPasswordDescriptor = 3;
// A file of a disc image, which this process holds in memory, is handed on as this one.
const char kOwnDescriptors[] = "/proc/self/fd/";
constexpr int kPassedDescriptor = 4;
// Written into the pipe before osslsigncode starts, so it must fit the pipe.
constexpr size_t kMaxPassword = 1024;
constexpr uint16_t kPkcsSignedData = 2; // WIN_CERT_TYPE_PKCS_SIGNED_DATA

struct Outcome
{
    int exitCode = -1;
    std::string output;   // standard output and standard error
    bool stopped = false; // a stop ended it
};

// Runs a program of PATH without `hidden` in its environment (CChildProcess); `secret`,
// when not empty, is what it reads from kPasswordPath, and `passOn`, when not -1, its
// kPassedDescriptor. A stop that `stops` hears ends it. False, with errno, when it cannot
// be started.
bool RunTool(const std::vector<std::string>& args, const std::string& hidden,
             const std::string& secret, int passOn, const CStopSignals* stops, Outcome* outcome)
{
    std::vector<CChildProcess::Passed> passed;
    CFileHandle password;
    if (!secret.empty())
    {
        int ends[2] = {-1, -1};
        if (pipe2(ends, O_CLOEXEC) != 0)
        {
            return false;
        }
        password.Reset(ends[0]);
        const ssize_t put = write(ends[1], secret.data(), secret.size());
        const int saved = put < 0 ? errno : EIO;
        close(ends[1]);
        if (put != static_cast<ssize_t>(secret.size()))
        {
            errno = saved;
            return false;
        }
        passed.push_back({kPasswordDescriptor, password.Get()});
    }
    if (passOn >= 0)
    {
        passed.push_back({kPassedDescriptor, passOn});
    }
    CChildProcess tool;
    if (!tool.Start(args, hidden, passed))
    {
        return false;
    }
    password.Reset();
    outcome->stopped =
        tool.Wait(stops, &outcome->output, &outcome->exitCode) == CChildProcess::Outcome::Stopped;
    return true;
}

bool ReportCannotRun()
{
    FileIo::SetLastErrorFromErrno(errno);
    return Report(kTool, "cannot be run (Debian's package osslsigncode; make deps installs it)");
}

std::string Trimmed(std::string text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
    {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// Whether osslsigncode's verify found the signed digest or checksum not matching the file.
bool ChangedAfterSigning(const std::string& output)
{
    return output.find("MISMATCH") != std::string::npos;
}

// Why osslsigncode's verify refused, from its report.
std::string WhyNot(const std::string& output)
{
    if (ChangedAfterSigning(output))
    {
        return "Setup.exe was changed after it was signed";
    }
    const std::string marker = "Verify error:";
    const size_t at = output.find(marker);
    if (at != std::string::npos)
    {
        return Trimmed(
            output.substr(at + marker.size(), output.find('\n', at) - at - marker.size()));
    }
    return "osslsigncode verify failed: " + Trimmed(output);
}

struct Pkcs7Free
{
    void operator()(PKCS7* p7) const { PKCS7_free(p7); }
};
struct BioFree
{
    void operator()(BIO* bio) const { BIO_free(bio); }
};

// The subject of the certificate that signed, from the certificate table.
std::string SignerOf(const std::vector<uint8_t>& image, const PeResources::Location& table)
{
    if (table.offset > image.size() || table.size > image.size() - table.offset || table.size < 8)
    {
        return std::string();
    }
    const uint8_t* entry = image.data() + table.offset;
    const uint32_t length = std::min<uint32_t>(ByteOrder::GetLe32(entry), table.size);
    if (length < 8 || ByteOrder::GetLe16(entry + 6) != kPkcsSignedData)
    {
        return std::string();
    }
    const unsigned char* der = entry + 8;
    std::unique_ptr<PKCS7, Pkcs7Free> p7(d2i_PKCS7(nullptr, &der, length - 8));
    if (!p7 || !PKCS7_type_is_signed(p7.get()))
    {
        return std::string();
    }
    STACK_OF(X509)* signers = PKCS7_get0_signers(p7.get(), nullptr, 0);
    std::string subject;
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (signers != nullptr && sk_X509_num(signers) > 0 && bio &&
        X509_NAME_print_ex(bio.get(), X509_get_subject_name(sk_X509_value(signers, 0)), 0,
                           XN_FLAG_ONELINE & ~XN_FLAG_SPC_EQ) >= 0)
    {
        char* text = nullptr;
        const long size = BIO_get_mem_data(bio.get(), &text);
        subject.assign(text, static_cast<size_t>(size));
    }
    sk_X509_free(signers);
    return subject;
}

bool ReadImage(const std::string& path, std::vector<uint8_t>* image)
{
    CFileHandle file(FileIo::OpenExisting(path, false));
    uint64_t size = 0;
    if (!file.IsValid() || !FileIo::GetSize(file.Get(), &size))
    {
        return false;
    }
    if (size > 0x7FFFFFFFu)
    {
        FileIo::SetLastError(FileIo::kErrorFileTooLarge);
        return false;
    }
    image->resize(static_cast<size_t>(size));
    return size == 0 || FileIo::ReadExact(file.Get(), image->data(), static_cast<uint32_t>(size));
}

// The medium's setup, in whatever letter case the folder spells it, and the packages of
// the setup's table that lie beside it.
bool ReadMedium(const std::string& medium, std::string* setup,
                std::vector<SetupRecord::Package>* packages)
{
    std::vector<std::string> names;
    std::string bad;
    if (!Platform::ListFolder(medium, &names, &bad))
    {
        return ReportListFailure(medium, bad);
    }
    for (const std::string& name : names)
    {
        if (Medium::SameFileName(name, Medium::kSetupName))
        {
            *setup = Platform::JoinPath(medium, name);
        }
        else if (!Medium::TableSpelling(name).empty())
        {
            packages->push_back({name, Platform::JoinPath(medium, name)});
        }
    }
    return !setup->empty() || ReportPlain(medium, std::string("holds no ") + Medium::kSetupName);
}

// A signature vouches for the packages through the record in Setup.exe alone: a setup
// without one, or with one of other packages, is not signed. Reported.
bool RecordFitsMedium(const std::string& setup, const std::vector<SetupRecord::Package>& packages)
{
    const char rebuild[] = "; make the medium with pkgtool medium build, then sign it";
    CPackageRecord record;
    std::string why;
    switch (SetupRecord::Read(setup, &record, &why))
    {
    case SetupRecord::Found::NoRoom:
        return ReportPlain(setup, std::string("has no room for a record of its packages (a setup "
                                              "of an older build), so its signature would vouch "
                                              "for none of them") +
                                      rebuild);
    case SetupRecord::Found::Empty:
        return ReportPlain(setup, std::string("its record of the packages is empty, so its "
                                              "signature would vouch for none of them") +
                                      rebuild);
    case SetupRecord::Found::Unreadable:
        return ReportPlain(setup, "its record of the packages cannot be read (" + why + ")");
    default:
        break;
    }
    std::string lines;
    for (const SetupRecord::Disagreement& disagreement : SetupRecord::Compare(record, packages))
    {
        lines += "\n  " + disagreement.package + ": " + SetupRecord::Describe(disagreement);
    }
    return lines.empty() ||
           ReportPlain(setup, "its record of the packages is not of this medium, and the medium "
                              "is as it was" +
                                  std::string(rebuild) + ":" + lines);
}

bool AllDigits(const char* text)
{
    if (*text == '\0')
    {
        return false;
    }
    for (; *text != '\0'; ++text)
    {
        if (*text < '0' || *text > '9')
        {
            return false;
        }
    }
    return true;
}
} // namespace

int Sign(const std::string& medium, const Credentials& credentials)
{
    std::string setup;
    std::vector<SetupRecord::Package> packages;
    if (!ReadMedium(medium, &setup, &packages) || !RecordFitsMedium(setup, packages))
    {
        return Commands::kExitFailure;
    }
    const char* password = std::getenv(credentials.passwordVariable.c_str());
    const std::string secret = password != nullptr ? password : "";
    if (secret.size() > kMaxPassword)
    {
        ReportPlain(credentials.passwordVariable, "holds a password longer than 1024 characters");
        return Commands::kExitFailure;
    }
    std::vector<std::string> args = {kTool, "sign", "-h", "sha256"};
    if (!credentials.pkcs12.empty())
    {
        args.insert(args.end(), {"-pkcs12", credentials.pkcs12});
    }
    else
    {
        args.insert(args.end(), {"-certs", credentials.certificate, "-key", credentials.key});
    }
    if (!secret.empty())
    {
        args.insert(args.end(), {"-readpass", kPasswordPath});
    }
    if (!credentials.timestampUrl.empty())
    {
        args.insert(args.end(), {"-ts", credentials.timestampUrl});
    }
    // The same medium, key and time give the same bytes.
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (epoch != nullptr && *epoch != '\0')
    {
        if (!AllDigits(epoch))
        {
            ReportPlain("SOURCE_DATE_EPOCH",
                        std::string("'") + epoch + "' is not a number of seconds since 1970");
            return Commands::kExitFailure;
        }
        args.insert(args.end(), {"-time", epoch});
    }
    const std::string signedCopy = Platform::TemporaryNameBeside(setup);
    args.insert(args.end(), {"-in", setup, "-out", signedCopy});

    // A stop, even while osslsigncode waits on a time-stamp server that never answers,
    // ends osslsigncode and the signing, and leaves the medium as it was.
    const CStopSignals stops;
    Outcome outcome;
    if (!RunTool(args, credentials.passwordVariable, secret, -1, &stops, &outcome))
    {
        ReportCannotRun();
        return Commands::kExitFailure;
    }
    if (outcome.stopped || stops.Arrived() != 0)
    {
        FileIo::Delete(signedCopy);
        ReportPlain(setup, "signing was stopped, and the medium is as it was");
        stops.EndAsStopped();
    }
    // The signed setup keeps the permissions the vendor gave the file.
    struct stat given;
    if (stat(setup.c_str(), &given) == 0)
    {
        chmod(signedCopy.c_str(), given.st_mode & 07777);
    }
    if (outcome.exitCode != 0 || !Platform::Exists(signedCopy))
    {
        FileIo::Delete(signedCopy);
        ReportPlain(setup, "osslsigncode could not sign it, and the medium is as it was:\n" +
                               Trimmed(outcome.output));
        return Commands::kExitFailure;
    }
    if (!Platform::RenameReplace(signedCopy, setup))
    {
        Report(setup);
        FileIo::Delete(signedCopy);
        return Commands::kExitFailure;
    }
    std::vector<uint8_t> image;
    PeResources::Fields fields;
    std::string signer;
    if (ReadImage(setup, &image))
    {
        PeResources::MemorySource source(image.data(), image.size());
        if (PeResources::ReadFields(source, &fields))
        {
            signer = SignerOf(image, fields.certificateTable);
        }
    }
    std::printf("%s: signed by %s, SHA-256%s\n", setup.c_str(),
                signer.empty() ? "(a certificate whose subject cannot be read)" : signer.c_str(),
                credentials.timestampUrl.empty() ? "" : ", time-stamped");
    return Commands::kExitOk;
}

bool Inspect(const std::string& setup, const std::string& caFile, Inspection* inspection)
{
    *inspection = Inspection();
    std::vector<uint8_t> image;
    PeResources::Fields fields;
    if (!ReadImage(setup, &image))
    {
        inspection->problem = FileIo::ErrorText(FileIo::GetLastError());
        return false;
    }
    PeResources::MemorySource source(image.data(), image.size());
    if (!PeResources::ReadFields(source, &fields))
    {
        inspection->problem = FileIo::ErrorText(FileIo::GetLastError());
        return false;
    }
    inspection->isSigned = fields.certificateTable.size != 0;
    if (!inspection->isSigned)
    {
        return true;
    }
    inspection->signer = SignerOf(image, fields.certificateTable);
    inspection->against = caFile.empty() ? "this system's certificate authorities" : caFile;
    std::string input = setup;
    int passOn = -1;
    if (setup.compare(0, std::strlen(kOwnDescriptors), kOwnDescriptors) == 0)
    {
        passOn = std::atoi(setup.c_str() + std::strlen(kOwnDescriptors));
        input = kOwnDescriptors + std::to_string(kPassedDescriptor);
    }
    std::vector<std::string> args = {kTool, "verify", "-in", input};
    if (!caFile.empty())
    {
        args.insert(args.end(), {"-CAfile", caFile});
    }
    Outcome outcome;
    if (!RunTool(args, std::string(), std::string(), passOn, nullptr, &outcome))
    {
        inspection->problem = std::string(kTool) + " cannot be run (" +
                              FileIo::ErrorText(FileIo::ErrorFromErrno(errno)) + ")";
        return false;
    }
    inspection->verified = outcome.exitCode == 0;
    if (!inspection->verified)
    {
        inspection->problem = WhyNot(outcome.output);
        inspection->changed = ChangedAfterSigning(outcome.output);
    }
    return true;
}

} // namespace Signing
