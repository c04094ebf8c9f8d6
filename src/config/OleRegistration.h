// Self-registration of the product's control module: the build that matches the platform
// family is loaded and its DllRegisterServer called.
#pragma once

#include <string>

struct CSetupState;

class COleRegistration
{
public:
    // Reads the install folder.
    explicit COleRegistration(const CSetupState& state);

    // The install step; reports its own failure with the module's path.
    bool RegisterOleControls();

    // True only when the module's DllRegisterServer answered S_OK. Reports nothing; the
    // module is never left loaded.
    static bool RegisterServerModule(const std::string& path);

    // "<install folder>\Programs\PCtrlsU.ocx" on the NT family, PCtrlsA.ocx on 9x.
    static std::string ModulePath(const std::string& installPath, bool windowsNT);

private:
    const CSetupState& m_state;
};
