/* The prompter program of the sample product: opens, says which build it is, ends. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)show;
    if (commandLine && lstrcmpA(commandLine, "/quiet") == 0)
    {
        return 0;
    }
    MessageBoxA(NULL, "Scrolling prompter (sample build " SAMPLE_FLAVOUR ")", "Scroll",
                MB_OK | MB_ICONINFORMATION);
    return 0;
}
