// Entry point of Setup.exe. The edition is chosen when the executable is built.
#include "app/KelvarinApp.h"
#include "framework/SystemLibraries.h"

#ifndef KELVARIN_EDITION_ARDENT
#error "KELVARIN_EDITION_ARDENT must be 1 (Ardent) or 0 (Brisk)"
#endif

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/,
                   int /*nShowCmd*/)
{
    // Before the first window: no DLL from beside the setup for the rest of the run.
    const CSystemLibraries systemLibraries;
    CKelvarinApp app(KELVARIN_EDITION_ARDENT != 0);
    return app.Run(hInstance);
}
