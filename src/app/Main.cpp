// Entry point of Setup.exe. The edition is chosen when the executable is built.
#include "app/KelvarinApp.h"
#include "framework/Messages.h"
#include "framework/SystemLibraries.h"
#include "framework/WindowGhosting.h"

#ifndef KELVARIN_EDITION_ARDENT
#error "KELVARIN_EDITION_ARDENT must be 1 (Ardent) or 0 (Brisk)"
#endif

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/,
                   int /*nShowCmd*/)
{
    // Before the first window: no DLL from beside the setup for the rest of the run.
    // It allocates nothing, so it comes before the catch below.
    const CSystemLibraries systemLibraries;
    // The check and the install read every package without a message loop: never "Not
    // Responding" while they do.
    WindowGhosting::TurnOff();
    // What the run does not catch itself ends here, told, rather than in the runtime's abort.
    try
    {
        CKelvarinApp app(KELVARIN_EDITION_ARDENT != 0);
        return app.Run(hInstance);
    }
    catch (...)
    {
        Messages::ShowOutOfMemory();
        return 1;
    }
}
