// Keeps the file named on its command line open without any sharing until it is
// ended, as a running program keeps its own image or a DLL in use.
#include <windows.h>

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        return 2;
    }
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        return 1;
    }
    Sleep(INFINITE);
    return 0;
}
