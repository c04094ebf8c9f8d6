/* A control module that needs a library of its own folder, as a product's controls often do:
   it registers through PCtrlsRt.dll, which the loader must find beside the module. */
#include <windows.h>

__declspec(dllimport) long RuntimeRegister(const char* module);

/* This module's own handle, as the linker places it. */
extern IMAGE_DOS_HEADER __ImageBase;

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void)
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA((HMODULE)&__ImageBase, path, sizeof(path));
    if (length == 0 || length >= sizeof(path))
    {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    return RuntimeRegister(path);
}
