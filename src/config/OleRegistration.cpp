#include "config/OleRegistration.h"

#include "framework/Messages.h"
#include "framework/Platform.h"
#include "framework/SetupState.h"
#include "framework/SystemLibraries.h"
#include "framework/resource.h"

#include <windows.h>

namespace
{
typedef HRESULT(STDAPICALLTYPE* RegisterServerProc)();

// Frees the module on every way out.
class CLoadedModule
{
public:
    explicit CLoadedModule(HMODULE module) : m_module(module) {}
    ~CLoadedModule()
    {
        if (m_module)
        {
            FreeLibrary(m_module);
        }
    }
    CLoadedModule(const CLoadedModule&) = delete;
    CLoadedModule& operator=(const CLoadedModule&) = delete;
    HMODULE Get() const { return m_module; }

private:
    HMODULE m_module;
};
} // namespace

COleRegistration::COleRegistration(const CSetupState& state) : m_state(state) {}

std::string COleRegistration::ModulePath(const std::string& installPath, bool windowsNT)
{
    return installPath + (windowsNT ? "\\Programs\\PCtrlsU.ocx" : "\\Programs\\PCtrlsA.ocx");
}

bool COleRegistration::RegisterOleControls()
{
    const std::string path = ModulePath(m_state.m_strInstallPath, Platform::IsWindowsNT());
    if (RegisterServerModule(path))
    {
        return true;
    }
    Messages::Show(IDS_OLE_REGISTER_FAILED, {path});
    return false;
}

bool COleRegistration::RegisterServerModule(const std::string& path)
{
    // The module's own folder is searched first for the libraries it depends on.
    CLoadedModule module(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module.Get())
    {
        return false;
    }
    const RegisterServerProc registerServer =
        CSystemLibraries::Bind<RegisterServerProc>(module.Get(), "DllRegisterServer");
    if (!registerServer)
    {
        return false;
    }
    // S_FALSE and other success codes do not say the classes were registered.
    return registerServer() == S_OK;
}
