// Self-registration of the product's control module: the build that matches the platform
// family is loaded and its DllRegisterServer called.
#pragma once

#include <string>

class CKelvarinApp;
class DLG_Installing;

class COleRegistration
{
public:
    static const char* GetRuntimeClassName() { return "COleRegistration"; }

    explicit COleRegistration(CKelvarinApp& app);

    // The install step; reports its own failure with the module's path.
    bool RegisterOleControls(DLG_Installing& dlg);

    // True only when the module's DllRegisterServer answered S_OK. Reports nothing; the
    // module is never left loaded.
    static bool RegisterServerModule(const std::string& path);

    // "<install folder>\Programs\PCtrlsU.ocx" on the NT family, PCtrlsA.ocx on 9x.
    static std::string ModulePath(const std::string& installPath, bool windowsNT);

private:
    CKelvarinApp& m_app;
};
