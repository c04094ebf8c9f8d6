/* Runtime DLLs and drivers of the sample product: version-stamped images that do
   nothing but answer their own name. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}

__declspec(dllexport) const char* SampleModuleName(void)
{
    return SAMPLE_MODULE;
}
