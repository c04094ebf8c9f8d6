// What the stubs share with the harness's state: the decision on one call, and the
// bookkeeping that turns handles into the paths the change log names.
#pragma once

#include "Fault.h"

#include <cstddef>

namespace Fault::detail
{
struct Verdict
{
    bool watched = false; // armed and on the armed thread: the call's changes are recorded
    bool fail = false;
    uint32_t error = 0;
    uint64_t call = 0; // among the calls of its function counted in this run
};

// Counts the call; at the planned call it fails it, or ends the process in crash mode.
Verdict Enter(Api api);

// Harness work on the armed thread: not counted, and the caller's last error survives it.
class CQuiet
{
public:
    CQuiet();
    ~CQuiet();
    CQuiet(const CQuiet&) = delete;
    CQuiet& operator=(const CQuiet&) = delete;

private:
    bool m_set;
    DWORD m_error;
};

// Each does nothing unless the verdict was watched. Paths arrive as the callers' raw
// strings, so that no allocation happens before the harness is quiet.
void NoteFile(const Verdict& v, Api api, const char* path);
// A call recorded by what it names (a path, a privilege) and its flags.
void NoteCall(const Verdict& v, Api api, const char* what, uint32_t flags);
void NoteFile(const Verdict& v, Api api, const wchar_t* path);
void NoteHandle(const Verdict& v, Api api, HANDLE file);
void NoteKey(const Verdict& v, Api api, HKEY key, const char* subKey, const char* value = nullptr);
void NoteKey(const Verdict& v, Api api, HKEY key, const wchar_t* subKey);
void RememberFile(const Verdict& v, HANDLE file, const char* path);
void RememberKey(const Verdict& v, HKEY key, HKEY parent, const char* subKey);
void RememberKey(const Verdict& v, HKEY key, HKEY parent, const wchar_t* subKey);
void ForgetFile(HANDLE file);
void ForgetKey(HKEY key);

// The volume of FakeVolumes whose root is `path` (or, with `below`, the longest that `path`
// lies below); null when there is none.
const Volume* FakedVolume(const char* path, bool below);

// operator new's memory: the C runtime's malloc past the counting stub, so that an
// allocation counts once, as operator new.
void* RealMalloc(std::size_t size);

// Replaces *object, a successful answer for `iid` from the shell-link object, by a
// counting wrapper where there is one for that interface.
void WrapShellObject(REFIID iid, void** object);
} // namespace Fault::detail
