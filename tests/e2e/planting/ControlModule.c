/* A control module that needs a library of its own folder, as a product's controls often do:
   it registers through PCtrlsRt.dll, which the loader must find beside the module. */
#include <windows.h>

__declspec(dllimport) long RuntimeRegister(const char* module);

static HINSTANCE g_instance;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
    {
        g_instance = instance;
    }
    return TRUE;
}

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void)
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(g_instance, path, sizeof(path));
    if (length == 0 || length >= sizeof(path))
    {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    return RuntimeRegister(path);
}
