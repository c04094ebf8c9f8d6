// pkgtool: builds, lists, extracts and verifies the setup's package files, and
// builds and checks whole media.

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "Commands.h"
#include "Medium.h"
#include "package/BuildNumber.h"
#ifdef PKGTOOL_SIGNING
#include "Signing.h"
#endif

// The build as text, for the help texts.
#define PKGTOOL_TEXT_OF(x) #x
#define PKGTOOL_TEXT(x) PKGTOOL_TEXT_OF(x)
#define PKGTOOL_BUILD PKGTOOL_TEXT(KELVARIN_BUILD_NUMBER)

namespace
{

const char kToolHelp[] =
    "usage: pkgtool VERB [OPTIONS] ARGUMENTS\n"
    "\n"
    "Builds and inspects the setup's package files (*.PKG) and whole media.\n"
    "\n"
    "verbs:\n"
    "  create [--stored] [--title TEXT] PACKAGE FOLDER   make a package of a folder\n"
    "  add PACKAGE FILE...                               append files and folders\n"
    "  list PACKAGE                                      show the catalog\n"
    "  extract PACKAGE FOLDER                            recreate the files and folders\n"
    "  verify PACKAGE...                                 check packages completely\n"
    "  medium build STAGING OUT --setup FILE             make a medium's packages\n"
    "  medium sign (--cert FILE --key FILE | --pkcs12 FILE) MEDIUM\n"
    "                                                    sign a medium's Setup.exe\n"
    "  medium check [--json] [--ca FILE] MEDIUM          check a medium as installs meet it\n"
    "  medium image [--force] [--label TEXT] DIR ISO     make a medium's disc image\n"
    "\n"
    "'pkgtool VERB --help' describes a verb.\n"
    "\n"
    "exit codes:\n"
    "  0  success (for verify: every package is sound; for medium check: the\n"
    "     medium would install cleanly)\n"
    "  1  the work failed: a file could not be read or written, a package is\n"
    "     corrupt, an entry was refused, verify found a fault, or medium check\n"
    "     found what would fail at a customer's\n"
    "  2  the command line is wrong\n"
    "\n"
    "A progress line is shown on standard error when it is a terminal.\n";

const char kCreateHelp[] =
    "usage: pkgtool create [--stored] [--title TEXT] PACKAGE FOLDER\n"
    "\n"
    "Makes PACKAGE with one entry for every file and folder below FOLDER.\n"
    "Entries are named by their path relative to FOLDER with backslashes, and\n"
    "come in a fixed order: each folder's members sorted by name (UTF-16 code\n"
    "units), a folder's entry before its members. The same input always gives\n"
    "a byte-identical package.\n"
    "\n"
    "Each file records its creation and last-write times and, when it is a\n"
    "PE image with a version resource, its file version. POSIX systems keep no\n"
    "creation time, so there the last-write time is recorded for both. A version\n"
    "resource without a translation table draws a warning: the setup reads such\n"
    "a file as one without a version.\n"
    "\n"
    "Names must be relative paths of names Windows accepts and at most 1023\n"
    "characters long; a file that breaks this stops the command. Links to files\n"
    "are stored as the files; links to folders are refused.\n"
    "\n"
    "PACKAGE must not exist. It is written under a temporary name and appears\n"
    "only when complete.\n"
    "\n"
    "options:\n"
    "  --stored       store the files as they are (default: zlib-compressed)\n"
    "  --title TEXT   the catalog title, at most 63 characters; longer titles\n"
    "                 are refused rather than cut\n"
    "\n"
    "exit codes: 0 success, 1 failure, 2 wrong command line\n";

const char kAddHelp[] = "usage: pkgtool add PACKAGE FILE...\n"
                        "\n"
                        "Appends each FILE to PACKAGE, named by its path as given (relative, with\n"
                        "backslashes; a leading ./ is dropped). A folder is added with everything\n"
                        "below it, as by create. The package is rewritten on a copy that replaces\n"
                        "it only when complete, so a failure leaves it as it was.\n"
                        "\n"
                        "exit codes: 0 success, 1 failure, 2 wrong command line\n";

const char kListHelp[] =
    "usage: pkgtool list PACKAGE\n"
    "\n"
    "Shows the title, build and compression of PACKAGE, then one line per\n"
    "entry: kind, stored and unpacked sizes, file version (a.b.c.d), creation\n"
    "and last-write times in UTC, and name.\n"
    "\n"
    "exit codes: 0 success, 1 failure, 2 wrong command line\n";

const char kExtractHelp[] =
    "usage: pkgtool extract PACKAGE FOLDER\n"
    "\n"
    "Recreates the files and folders of PACKAGE below FOLDER (created when\n"
    "missing) and restores the files' times (on POSIX systems the last-write\n"
    "time). Existing files are replaced. Each file is written under a\n"
    "temporary name and renamed when complete.\n"
    "\n"
    "Entries whose names could leave FOLDER (absolute, drive or UNC paths,\n"
    "'..' and the like) are refused and nothing is written for them; the other\n"
    "entries are still extracted and the exit code is 1. Configuration objects\n"
    "and lexicon segments are skipped with a note.\n"
    "\n"
    "exit codes: 0 every entry extracted, 1 failure, 2 wrong command line\n";

const char kVerifyHelp[] =
    "usage: pkgtool verify PACKAGE...\n"
    "\n"
    "Opens each PACKAGE, checks its build number (" PKGTOOL_BUILD "), decompresses every\n"
    "entry and checks every length, and checks every name. Prints one line\n"
    "per sound package and the faults of the others.\n"
    "\n"
    "exit codes: 0 every package is sound, 1 a package is not, 2 wrong command line\n";

const char kMediumHelp[] =
    "usage: pkgtool medium build STAGING OUT --setup FILE\n"
    "       pkgtool medium sign (--cert FILE --key FILE | --pkcs12 FILE) MEDIUM\n"
    "       pkgtool medium check [--json] [--ca FILE] [--require-signature] MEDIUM\n"
    "       pkgtool medium image [--force] [--label TEXT] DIR ISO\n"
    "\n"
    "A medium is the setup and its packages in one folder. 'build' makes one\n"
    "from a staging tree, 'sign' signs its Setup.exe, 'check' meets one (or its\n"
    "disc image) as the installs of both platform families would, 'image' makes\n"
    "its disc image. A release: build, sign, check, image.\n"
    "'pkgtool medium VERB --help' tells the details.\n"
    "\n"
    "exit codes: 0 success, 1 failure, 2 wrong command line\n";

const char kMediumBuildHelp[] =
    "usage: pkgtool medium build STAGING OUT --setup FILE\n"
    "\n"
    "Makes a medium in OUT: one compressed package for every folder of STAGING,\n"
    "packed as by create, and a copy of FILE as Setup.exe. Each folder is named\n"
    "after its package without the extension (PRAPPNT holds what PRAPPNT.PKG\n"
    "installs into the Programs folder); letter case does not matter, the\n"
    "packages are named as the setup looks for them. A folder that is not a\n"
    "package of the setup stops the command, and so does any other file but\n"
    "the manifest.\n"
    "\n"
    "The manifest, STAGING/" PKGTOOL_MEDIUM_MANIFEST ", is optional and gives the packages\n"
    "their titles, one line each, 'PACKAGE.PKG = TITLE' (at most 63\n"
    "characters); empty lines and lines starting with '#' are skipped.\n"
    "\n"
    "Setup.exe records each package's name, size, CRC-32 and SHA-256 in the room\n"
    "it reserves for them, so that its signature covers them; before it changes\n"
    "anything, the setup compares every package of its family with that record\n"
    "and stops, naming the package, when one is missing, shorter, longer or\n"
    "other. A setup without the room (of an older build) is copied as it is, with\n"
    "a warning; a setup that is signed already is refused: sign the medium after\n"
    "building it.\n"
    "\n"
    "OUT must be missing or an empty folder. The medium is made under a\n"
    "temporary name beside it and appears only when complete. The same input\n"
    "always gives byte-identical files. A package of the table without a folder\n"
    "is not made; 'pkgtool medium check' tells whether the medium needs it.\n"
    "\n"
    "exit codes: 0 success, 1 failure, 2 wrong command line\n";

const char kMediumSignHelp[] =
    "usage: pkgtool medium sign (--cert FILE --key FILE | --pkcs12 FILE)\n"
    "                           [--password-env NAME] [--timestamp URL] MEDIUM\n"
    "\n"
    "Signs the Setup.exe of the medium folder MEDIUM in place with an\n"
    "Authenticode signature (SHA-256 digest), made by osslsigncode: Windows\n"
    "Vista and later name the publisher when the setup starts; older systems\n"
    "ignore the signature or cannot verify it, and 'pkgtool medium check'\n"
    "verifies it for the vendor. The signature covers the record of the\n"
    "packages that medium build wrote into Setup.exe: sign after building. The\n"
    "signed setup still loads on every system the setup serves.\n"
    "\n"
    "The key's password, if it has one, is read from the environment variable\n"
    "PKGTOOL_SIGN_PASSWORD (or NAME) and handed to osslsigncode through a pipe,\n"
    "never on a command line. SOURCE_DATE_EPOCH, when set, is the signing time,\n"
    "so that the same medium and key give the same bytes.\n"
    "\n"
    "The signature vouches for the packages through that record alone: a\n"
    "setup without one, with an empty one, or with one that does not match the\n"
    "packages of MEDIUM (by name, size, CRC-32 and SHA-256) is not signed.\n"
    "\n"
    "Setup.exe is signed into a copy beside it that replaces it only when\n"
    "complete: a failed signing leaves the medium as it was. Ctrl-C, a hang-up\n"
    "or SIGTERM ends osslsigncode even while it waits on a time-stamp server\n"
    "(it is killed when it has not ended 2 seconds after it was told to),\n"
    "deletes its copy, and ends pkgtool by the same signal; the medium is as it\n"
    "was. osslsigncode dies with pkgtool, however pkgtool ends. A copy that a\n"
    "killed pkgtool could not delete (Setup.exe.pkgtool-*.tmp) stays beside\n"
    "Setup.exe: medium check and medium image refuse the medium until it is gone.\n"
    "\n"
    "options:\n"
    "  --cert FILE, --key FILE   the signing certificate (with any intermediate\n"
    "                            certificates) and its private key, PEM\n"
    "  --pkcs12 FILE             certificate and key in one PKCS#12 file instead\n"
    "  --password-env NAME       the variable that holds the password\n"
    "  --timestamp URL           an RFC 3161 time-stamp server, so that the\n"
    "                            signature outlives the certificate\n"
    "\n"
    "Only the Linux build of pkgtool signs.\n"
    "\n"
    "exit codes: 0 success, 1 failure (the medium is as it was), 2 wrong command\n"
    "line (or a build without signing); stopped, the status of the stop's signal\n";

const char kMediumCheckHelp[] =
    "usage: pkgtool medium check [--json] [--ca FILE] [--require-signature] MEDIUM\n"
    "\n"
    "Meets the medium as the installs of the 9x and the NT family would, and\n"
    "reports what would fail at a customer's. MEDIUM is its folder or, in the\n"
    "Linux build, its disc image (read as Windows reads the disc: by the Joliet\n"
    "names). The setup's build is read from the version resource of Setup.exe\n"
    "(the third field of its file version; this pkgtool's is " PKGTOOL_BUILD ").\n"
    "\n"
    "Findings, each naming the package, the entry and the reason:\n"
    "  setup     Setup.exe is missing or has no build in its version resource\n"
    "  missing   a package of a family's rows is missing or cannot be opened\n"
    "  build     a package's header carries another build than the setup's\n"
    "  name      the setup refuses a file's name (it could leave its folder, as\n"
    "            stored or once converted to the ANSI code page: this system's\n"
    "            on Windows, code page 1252 elsewhere)\n"
    "  kind      an entry of a kind the setup refuses (all but File and Directory)\n"
    "  version   the package records a file version the setup's reader does not\n"
    "            see (a version resource without a translation table reads as\n"
    "            none), so the file is asked about or never upgraded\n"
    "  overlap   two entries of one family write the same file\n"
    "  content   a file's content cannot be read from its package\n"
    "  record    a package is not as the record in Setup.exe says (shorter,\n"
    "            longer, other content by SHA-256 or CRC-32) or not in it: the\n"
    "            setup stops before it changes anything; with --ca or\n"
    "            --require-signature also a Setup.exe without a record, with an\n"
    "            empty one, or with a row for a package the medium does not have:\n"
    "            the signature vouches for the packages only through the record\n"
    "  signature the signature of Setup.exe does not verify against --ca FILE, or\n"
    "            (with --require-signature) it is missing or does not verify\n"
    "  image     the disc image is shorter than its volume descriptor says\n"
    "  leftover  a temporary file of pkgtool (Setup.exe.pkgtool-*.tmp, left by a\n"
    "            medium sign that was killed) lies at the medium's root\n"
    "\n"
    "A file that cannot be read from a disc image counts as missing.\n"
    "\n"
    "It tells who signed Setup.exe and whether the signature verifies (by\n"
    "osslsigncode, in the Linux build) against the certificates of --ca FILE, else\n"
    "against this system's authorities; without --ca, a signature that does not\n"
    "verify is a note, and so, without --ca or --require-signature, is an\n"
    "unsigned setup or one without a record of its packages.\n"
    "\n"
    "Then, for each family, the files and bytes its install writes into the\n"
    "product tree and into the system folder.\n"
    "\n"
    "options:\n"
    "  --json                print the findings and the figures as one JSON object\n"
    "  --ca FILE             the PEM certificates of the authority that issued the\n"
    "                        signing certificate\n"
    "  --require-signature   a setup that is not signed, or whose signature does not\n"
    "                        verify, is a finding\n"
    "\n"
    "exit codes: 0 the medium would install cleanly, 1 it would fail at a\n"
    "customer's (or could not be read), 2 wrong command line\n";

const char kMediumImageHelp[] =
    "usage: pkgtool medium image [--force] [--label TEXT] DIR ISO\n"
    "\n"
    "Makes ISO, the disc image of the medium in DIR with everything in it:\n"
    "ISO 9660 names as the oldest readers take them (8.3, upper case:\n"
    "SETUP.EXE) and Joliet names in the medium's own spelling (Setup.exe),\n"
    "which Windows reads. Unless DIR has one, the root gets an AUTORUN.INF\n"
    "that starts Setup.exe with its icon and labels the disc.\n"
    "\n"
    "The volume label is the product name and build from Setup.exe's version\n"
    "resource (ARDENT_" PKGTOOL_BUILD "). The medium is checked first, as by\n"
    "'pkgtool medium check', and a medium with findings is refused, one that\n"
    "holds a temporary file of a killed medium sign among them.\n"
    "\n"
    "The same medium always gives a byte-identical image: the volume's and the\n"
    "folders' times are the newest file time of the medium or, when set,\n"
    "SOURCE_DATE_EPOCH, and no file's time is later. ISO is written under a\n"
    "temporary name beside it and appears, or replaces an older one, only when\n"
    "complete.\n"
    "\n"
    "options:\n"
    "  --label TEXT   the volume label instead: 1 to 32 letters, digits and '_'\n"
    "                 (Windows shows the first 16)\n"
    "  --force        make the image of a medium with findings (a temporary file\n"
    "                 of pkgtool too goes on the disc then)\n"
    "\n"
    "Only the Linux build of pkgtool makes disc images.\n"
    "\n"
    "exit codes: 0 success, 1 failure or findings, 2 wrong command line (or a\n"
    "build without disc images)\n";

int Usage(const char* message, const char* help)
{
    std::fprintf(stderr, "pkgtool: %s\n\n%s", message, help);
    return Commands::kExitUsage;
}

bool IsHelp(const std::string& arg)
{
    return arg == "--help" || arg == "-h";
}

bool IsOption(const std::string& arg)
{
    return arg.size() > 1 && arg[0] == '-';
}

using Args = std::vector<std::string>;

// A verb of the command line: its name, its help and what runs it. A handler
// gets the arguments after the verb; those of a verb that is not a group of
// verbs itself hold no request for help.
struct Verb
{
    const char* name;
    const char* help;
    int (*run)(const Args& args, const char* help);
    bool isGroup = false;
};

// An option of a verb: a flag, or an option followed by a value.
struct Option
{
    const char* name;
    bool* flag;
    std::string* value;
    const char* valueName; // for the message when the value is missing
};

const Option* FindOption(std::initializer_list<Option> options, const std::string& name)
{
    for (const Option& option : options)
    {
        if (name == option.name)
        {
            return &option;
        }
    }
    return nullptr;
}

// Sets the options given in `args` and collects the operands; "--" ends the
// options. False after telling the usage error.
bool ParseArgs(const Args& args, std::initializer_list<Option> options, const char* help,
               Args* operands)
{
    for (size_t i = 0; i < args.size(); ++i)
    {
        if (args[i] == "--")
        {
            operands->insert(operands->end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        }
        if (!IsOption(args[i]))
        {
            operands->push_back(args[i]);
            continue;
        }
        const Option* option = FindOption(options, args[i]);
        if (option == nullptr)
        {
            Usage(("unknown option '" + args[i] + "'").c_str(), help);
            return false;
        }
        if (option->flag != nullptr)
        {
            *option->flag = true;
        }
        else if (i + 1 < args.size())
        {
            *option->value = args[++i];
        }
        else
        {
            Usage((args[i] + " needs " + option->valueName).c_str(), help);
            return false;
        }
    }
    return true;
}

int RunCreate(const Args& args, const char* help)
{
    bool stored = false;
    std::string title;
    Args operands;
    if (!ParseArgs(
            args, {{"--stored", &stored, nullptr, nullptr}, {"--title", nullptr, &title, "a text"}},
            help, &operands))
    {
        return Commands::kExitUsage;
    }
    if (operands.size() != 2)
    {
        return Usage("create needs PACKAGE and FOLDER", help);
    }
    if (title.size() > Commands::kMaxTitleLength)
    {
        return Usage("the title is longer than 63 characters", help);
    }
    return Commands::Create(operands[0], operands[1], stored, title);
}

int RunAdd(const Args& args, const char* help)
{
    Args operands;
    if (!ParseArgs(args, {}, help, &operands))
    {
        return Commands::kExitUsage;
    }
    if (operands.size() < 2)
    {
        return Usage("add needs PACKAGE and at least one FILE", help);
    }
    return Commands::Add(operands[0], Args(operands.begin() + 1, operands.end()));
}

int RunList(const Args& args, const char* help)
{
    Args operands;
    if (!ParseArgs(args, {}, help, &operands))
    {
        return Commands::kExitUsage;
    }
    if (operands.size() != 1)
    {
        return Usage("list needs exactly one PACKAGE", help);
    }
    return Commands::List(operands[0]);
}

int RunExtract(const Args& args, const char* help)
{
    Args operands;
    if (!ParseArgs(args, {}, help, &operands))
    {
        return Commands::kExitUsage;
    }
    if (operands.size() != 2)
    {
        return Usage("extract needs PACKAGE and FOLDER", help);
    }
    return Commands::Extract(operands[0], operands[1]);
}

int RunVerify(const Args& args, const char* help)
{
    Args operands;
    if (!ParseArgs(args, {}, help, &operands))
    {
        return Commands::kExitUsage;
    }
    if (operands.empty())
    {
        return Usage("verify needs at least one PACKAGE", help);
    }
    return Commands::Verify(operands);
}

int RunMediumBuild(const Args& args, const char* help)
{
    std::string setup;
    Args operands;
    if (!ParseArgs(args, {{"--setup", nullptr, &setup, "a FILE"}}, help, &operands))
    {
        return Commands::kExitUsage;
    }
    if (operands.size() != 2)
    {
        return Usage("medium build needs STAGING and OUT", help);
    }
    if (setup.empty())
    {
        return Usage("medium build needs --setup FILE", help);
    }
    return Medium::Build(operands[0], operands[1], setup);
}

int RunMediumSign(const Args& args, const char* help)
{
    std::string certificate, key, pkcs12, passwordVariable, timestamp;
    Args operands;
    if (!ParseArgs(args,
                   {{"--cert", nullptr, &certificate, "a FILE"},
                    {"--key", nullptr, &key, "a FILE"},
                    {"--pkcs12", nullptr, &pkcs12, "a FILE"},
                    {"--password-env", nullptr, &passwordVariable, "a NAME"},
                    {"--timestamp", nullptr, &timestamp, "a URL"}},
                   help, &operands))
    {
        return Commands::kExitUsage;
    }
    if (operands.size() != 1)
    {
        return Usage("medium sign needs exactly one MEDIUM", help);
    }
    const bool pem = !certificate.empty() || !key.empty();
    if (pem == !pkcs12.empty() || (pem && (certificate.empty() || key.empty())))
    {
        return Usage("medium sign needs --cert and --key, or --pkcs12", help);
    }
#ifdef PKGTOOL_SIGNING
    Signing::Credentials credentials;
    credentials.certificate = certificate;
    credentials.key = key;
    credentials.pkcs12 = pkcs12;
    if (!passwordVariable.empty())
    {
        credentials.passwordVariable = passwordVariable;
    }
    credentials.timestampUrl = timestamp;
    return Signing::Sign(operands[0], credentials);
#else
    std::fputs("pkgtool: medium sign is not in this build of pkgtool; the Linux build signs\n",
               stderr);
    return Commands::kExitUsage;
#endif
}

int RunMediumCheck(const Args& args, const char* help)
{
    Medium::CheckOptions options;
    Args operands;
    if (!ParseArgs(args,
                   {{"--json", &options.json, nullptr, nullptr},
                    {"--ca", nullptr, &options.ca, "a FILE"},
                    {"--require-signature", &options.requireSignature, nullptr, nullptr}},
                   help, &operands))
    {
        return Commands::kExitUsage;
    }
    if (operands.size() != 1)
    {
        return Usage("medium check needs exactly one MEDIUM", help);
    }
    return Medium::Check(operands[0], options);
}

int RunMediumImage(const Args& args, const char* help)
{
    bool force = false;
    std::string label;
    Args operands;
    if (!ParseArgs(args,
                   {{"--force", &force, nullptr, nullptr}, {"--label", nullptr, &label, "a TEXT"}},
                   help, &operands))
    {
        return Commands::kExitUsage;
    }
    if (operands.size() != 2)
    {
        return Usage("medium image needs DIR and ISO", help);
    }
#ifdef PKGTOOL_DISC_IMAGES
    return Medium::Image(operands[0], operands[1], label, force);
#else
    std::fputs("pkgtool: medium image is not in this build of pkgtool; the Linux build makes "
               "disc images\n",
               stderr);
    return Commands::kExitUsage;
#endif
}

const Verb* FindVerb(const Verb* verbs, size_t count, const std::string& name)
{
    for (size_t i = 0; i < count; ++i)
    {
        if (name == verbs[i].name)
        {
            return &verbs[i];
        }
    }
    return nullptr;
}

// Runs the verb named by args[0] from `verbs`; `help` describes the whole set.
template <size_t N> int Dispatch(const Verb (&verbs)[N], Args args, const char* help)
{
    if (args.empty())
    {
        return Usage("no verb given", help);
    }
    if (IsHelp(args[0]))
    {
        std::fputs(help, stdout);
        return Commands::kExitOk;
    }
    const Verb* verb = FindVerb(verbs, N, args[0]);
    if (verb == nullptr)
    {
        return Usage(("unknown verb '" + args[0] + "'").c_str(), help);
    }
    args.erase(args.begin());
    for (const std::string& arg : args)
    {
        if (!verb->isGroup && IsHelp(arg))
        {
            std::fputs(verb->help, stdout);
            return Commands::kExitOk;
        }
    }
    return verb->run(args, verb->help);
}

int RunMedium(const Args& args, const char* help)
{
    static const Verb kMediumVerbs[] = {
        {"build", kMediumBuildHelp, RunMediumBuild},
        {"sign", kMediumSignHelp, RunMediumSign},
        {"check", kMediumCheckHelp, RunMediumCheck},
        {"image", kMediumImageHelp, RunMediumImage},
    };
    return Dispatch(kMediumVerbs, args, help);
}

const Verb kVerbs[] = {
    {"create", kCreateHelp, RunCreate}, {"add", kAddHelp, RunAdd},
    {"list", kListHelp, RunList},       {"extract", kExtractHelp, RunExtract},
    {"verify", kVerifyHelp, RunVerify}, {"medium", kMediumHelp, RunMedium, true},
};

} // namespace

int main(int argc, char** argv)
{
    return Dispatch(kVerbs, Args(argv + 1, argv + argc), kToolHelp);
}
