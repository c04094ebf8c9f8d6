/* A stand-in control module for the registration tests. It counts its registrations
   under HKLM\Software\KelvarinTest\Registered (one value per module file name) and
   answers REGISTER_RESULT; built without the export when REGISTER_NO_EXPORT is set. */
#include <windows.h>

static HMODULE g_module;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
    {
        g_module = instance;
    }
    return TRUE;
}

#ifndef REGISTER_NO_EXPORT
__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void)
{
    char path[MAX_PATH] = "";
    const char* name = path;
    const char* p;
    HKEY key = NULL;
    DWORD calls = 0;
    DWORD size = sizeof(calls);
    GetModuleFileNameA(g_module, path, sizeof(path));
    for (p = path; *p; ++p)
    {
        if (*p == '\\')
        {
            name = p + 1;
        }
    }
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\KelvarinTest\\Registered", 0, NULL, 0,
                        KEY_READ | KEY_WRITE, NULL, &key, NULL) == ERROR_SUCCESS)
    {
        if (RegQueryValueExA(key, name, NULL, NULL, (BYTE*)&calls, &size) != ERROR_SUCCESS)
        {
            calls = 0;
        }
        ++calls;
        RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE*)&calls, sizeof(calls));
        RegCloseKey(key);
    }
    return REGISTER_RESULT;
}
#endif
