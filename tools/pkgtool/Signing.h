#pragma once

// The Authenticode signature of a medium's Setup.exe, made and verified by
// osslsigncode (Debian's package of that name), its signer read with
// libcrypto. Only the Linux build of pkgtool signs (PKGTOOL_SIGNING).

#include <string>

namespace Signing
{

// The environment variable that holds the key's password unless --password-env
// names another.
extern const char kDefaultPasswordVariable[];

struct Credentials
{
    std::string certificate; // PEM, with `key`
    std::string key;
    std::string pkcs12; // instead of both
    std::string passwordVariable = kDefaultPasswordVariable;
    std::string timestampUrl; // RFC 3161; empty: none
};

// Signs the Setup.exe of the medium folder in place (SHA-256 digest); a failure
// leaves it as it was. The password goes to osslsigncode through a pipe, never
// on a command line. An exit code of pkgtool.
int Sign(const std::string& medium, const Credentials& credentials);

// What the signature of a setup says.
struct Inspection
{
    bool isSigned = false;
    std::string signer;    // the signing certificate's subject; empty when unreadable
    bool verified = false; // the signature holds and chains to a trusted authority
    std::string against;   // the authorities it was verified against
    std::string problem;   // why it does not verify
    bool changed = false;  // the file is not the one that was signed, whoever trusts whom
};

// Reads the signature of `setup` and verifies it against the certificates of
// `caFile`, or, when empty, against this system's authorities. False, with
// `problem` set, when osslsigncode cannot be run or the setup cannot be read.
bool Inspect(const std::string& setup, const std::string& caFile, Inspection* inspection);

} // namespace Signing
