/* The sample product's control module. Registering it records the module under
   HKLM\Software\Pellmor Controls\<module name>; nothing else is registered. */
#include <windows.h>

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

static const char kKey[] = "Software\\Pellmor Controls\\" SAMPLE_MODULE;

HRESULT __stdcall DllRegisterServer(void)
{
    char path[MAX_PATH] = "";
    HKEY key = NULL;
    DWORD length = GetModuleFileNameA(g_instance, path, sizeof(path));
    if (length == 0 || length >= sizeof(path))
    {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, NULL, REG_OPTION_NON_VOLATILE,
                                  KEY_WRITE, NULL, &key, NULL);
    if (result != ERROR_SUCCESS)
    {
        return HRESULT_FROM_WIN32(result);
    }
    result = RegSetValueExA(key, "Path", 0, REG_SZ, (const BYTE*)path, length + 1);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(result);
}

HRESULT __stdcall DllUnregisterServer(void)
{
    const LONG result = RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? S_OK
                                                                     : HRESULT_FROM_WIN32(result);
}
