/* The control program: it imports only kernel32 and user32 and does nothing, so the marks it
   leaves are the loads Wine makes for any program before its first line. */
#include <windows.h>

void WINAPI ControlMain(void)
{
    GetSystemMetrics(SM_CXSCREEN);
    ExitProcess(0);
}
