// Wine exports every function whatever Windows version it plays. Windows 95, 98 and Me export
// many only as stubs that fail with ERROR_CALL_NOT_IMPLEMENTED (most W functions, the security
// and token functions, MoveFileExA) and lack others outright. In every test program that runs
// as the 9x family, the functions the setup uses that 98 has only as stubs, or lacks, answer
// as 98 would (tests/imports/windows-exports.txt says which): before main, the program's own
// import table is patched to failing stubs, and GetProcAddress hands out the same answers. The
// fault harness patches later, so it wraps these stubs.
//
// Only the functions of that table are touched, for every caller: those are the setup's, and
// the test code beside it (GoogleTest, the test support, the harness) imports none of them.
// The runtime's GetModuleHandleW and LoadLibraryW are in it because the shipped Setup.exe
// imports them too; the runtime copes with their failure, as it must on 9x. One behaviour
// beyond the table: CryptAcquireContextA, as bound at run time, knows no AES provider type.
#pragma once

namespace Win9xStubs
{
// True when this program runs as the 9x family and the stubs are in place.
bool Installed();
} // namespace Win9xStubs
