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
    // the build number. Writes are not checked: the step always succeeds.
    bool WriteProductRegistry(IProgressReport& progress);

    // Empties and deletes "Prompter Install" and "Tarpan"; their parent stays.
    static void RemoveProductRegistry();

private:
    const CSetupState& m_state;
};
