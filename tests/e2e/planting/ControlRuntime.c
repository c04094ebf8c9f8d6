/* The control module's own library: it records the module under
   HKLM\Software\Pellmor Controls\PCtrlsU, and where the library itself was loaded from. */
#include <windows.h>

/* This module's own handle, as the linker places it. */
extern IMAGE_DOS_HEADER __ImageBase;

static LONG SetText(HKEY key, const char* name, const char* text)
{
    return RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)text, (DWORD)lstrlenA(text) + 1);
}

__declspec(dllexport) long RuntimeRegister(const char* module)
{
    char self[MAX_PATH];
    HKEY key = NULL;
    LONG result;
    const DWORD length = GetModuleFileNameA((HMODULE)&__ImageBase, self, sizeof(self));
    if (length == 0 || length >= sizeof(self))
    {
        return HRESULT_FROM_WIN32(ERROR_BUFFER_OVERFLOW);
    }
    result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Pellmor Controls\\PCtrlsU", 0, NULL,
                             REG_OPTION_NON_VOLATILE, KEY_WRITE, NULL, &key, NULL);
    if (result == ERROR_SUCCESS)
    {
        result = SetText(key, "Path", module);
        if (result == ERROR_SUCCESS)
        {
            result = SetText(key, "Runtime", self);
        }
        RegCloseKey(key);
    }
    return result == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(result);
}
