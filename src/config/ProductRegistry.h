// The installed product's registry record under HKEY_LOCAL_MACHINE: written at the end of
// the configuration step, removed with the predecessor's key at uninstall.
#pragma once

#include <string>

struct CSetupState;
class IProgressReport;

class CProductRegistry
{
public:
    static const char* const kCompanyKey;       // "Software\Pellmor", never removed
    static const char* const kInstallKey;       // "Software\Pellmor\Prompter Install"
    static const char* const kTarpanKey;        // "Software\Pellmor\Tarpan"
    static const char* const kInstallPathValue; // "Install Path", REG_SZ
    static const char* const kBuildNumberValue; // "Build Number", REG_DWORD

    // Reads the install folder.
    explicit CProductRegistry(const CSetupState& state);

    // Seeds the font mappings, then records the install folder as the setup holds it and
    // the build number. The font tables' writes are not checked; the record's are, since
    // the menu and the uninstall find the install by it: false after telling the user.
    bool WriteProductRegistry(IProgressReport& progress);

    // Empties and deletes "Prompter Install" and "Tarpan"; their parent stays. A key that
    // stays is named to the user, and the other goes all the same.
    static void RemoveProductRegistry();

private:
    const CSetupState& m_state;
};
