/* Planted beside a program under the names of DLLs it might load by a bare name. Once loaded,
   it appends "<program> <its own file name>" to the file KELVARIN_PLANT_MARKS names. Built
   without the C runtime, it needs nothing but kernel32, so that it loads wherever it lands. */
#include <windows.h>

/* True when `length` characters (as a Win32 call reports them) fit a MAX_PATH buffer. */
static BOOL Fits(DWORD length)
{
    return length > 0 && length < MAX_PATH;
}

static const char* FileName(const char* path)
{
    const char* name = path;
    for (; *path; ++path)
    {
        if (*path == '\\' || *path == '/')
        {
            name = path + 1;
        }
    }
    return name;
}

BOOL WINAPI MarkMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    char marks[MAX_PATH];
    char program[MAX_PATH];
    char self[MAX_PATH];
    char line[2 * MAX_PATH + 4];
    DWORD written;
    HANDLE file;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH ||
        !Fits(GetEnvironmentVariableA("KELVARIN_PLANT_MARKS", marks, MAX_PATH)) ||
        !Fits(GetModuleFileNameA(NULL, program, MAX_PATH)) ||
        !Fits(GetModuleFileNameA(instance, self, MAX_PATH)))
    {
        return TRUE;
    }
    lstrcpyA(line, FileName(program));
    lstrcatA(line, " ");
    lstrcatA(line, FileName(self));
    lstrcatA(line, "\r\n");
    file = CreateFileA(marks, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE)
    {
        WriteFile(file, line, (DWORD)lstrlenA(line), &written, NULL);
        CloseHandle(file);
    }
    return TRUE;
}
