// The setup runs with administrator rights from wherever it was started: a CD, a share, a
// downloads folder anyone could have written to. Windows looks beside the program first for
// a DLL that is not one of its known DLLs, so before the first window the setup narrows the
// search for the rest of the run and loads, from the system folder, the DLLs that system DLLs
// are known to load later by bare name; a later load by that name finds them loaded.
#pragma once

#include "framework/Win32Handles.h"

#include <windows.h>

class CSystemLibraries
{
public:
    // How the search was narrowed, by what kernel32 offers.
    enum class Search
    {
        SystemFolderOnly,     // SetDefaultDllDirectories: 8 and later, 7 and Vista updated
        CurrentFolderLeftOut, // SetDllDirectoryA(""): XP SP1 and later
        Unchanged             // the 9x family, NT 4.0, 2000, XP without a service pack
    };

    // What system DLLs load by bare name after start-up, for the setup's own calls: the
    // window frames and message boxes, COM, the folder browser and the shell link, the
    // folder rights, the version reader. Where the search cannot be narrowed to the system
    // folder (XP, and Vista and 7 without the search update), this list is all that keeps
    // a DLL beside the setup from loading in its place.
    static const char* const kLateLoaded[41];

    // Narrows the search, then loads every one of kLateLoaded the system folder has; they
    // stay loaded while this object lives, which is the whole run. Allocates nothing, so
    // that it can come before anything else.
    CSystemLibraries();

    Search GetSearch() const { return m_search; }

    // The function `name` of `module` as the type it is called by; null when it has none.
    template <typename Fn> static Fn Bind(HMODULE module, const char* name)
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    }

    // `fileName` from the system folder by its full path; what it imports comes from there
    // too, not from beside the program. Null, with the last error, when it cannot be loaded.
    static HMODULE Load(const char* fileName);

private:
    static Search Narrow();

    Search m_search;
    CModuleHandle m_loaded[sizeof(kLateLoaded) / sizeof(kLateLoaded[0])];
};
