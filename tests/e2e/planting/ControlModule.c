/* A control module that needs a library of its own folder, as a product's controls often do:
   it registers through PCtrlsRt.dll, which the loader must find beside the module. Like many
   controls it also loads libraries by bare name while it registers, long after the setup
   started: the test names them in KELVARIN_PLANT_LATE ("a.dll,b.dll"). */
#include <windows.h>

__declspec(dllimport) long RuntimeRegister(const char* module);

/* This module's own handle, as the linker places it. */
extern IMAGE_DOS_HEADER __ImageBase;

static void LoadLateLibraries(void)
{
    char names[512];
    char* name = names;
    char* at;
    const DWORD length = GetEnvironmentVariableA("KELVARIN_PLANT_LATE", names, sizeof(names));
    if (length == 0 || length >= sizeof(names))
    {
        return;
    }
    for (at = names;; ++at)
    {
        const char end = *at;
        if (end == ',' || end == '\0')
        {
            HMODULE loaded;
            *at = '\0';
            /* Whichever copy the search finds leaves its mark, or none, as it loads. */
            loaded = LoadLibraryA(name);
            if (loaded)
            {
                FreeLibrary(loaded);
            }
            name = at + 1;
        }
        if (end == '\0')
        {
            return;
        }
    }
}

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void)
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA((HMODULE)&__ImageBase, path, sizeof(path));
    if (length == 0 || length >= sizeof(path))
    {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    LoadLateLibraries();
    return RuntimeRegister(path);
}
