#include "framework/WindowGhosting.h"

#include "framework/SystemLibraries.h"

namespace WindowGhosting
{
bool TurnOff()
{
    // Looked up in the user32 the setup has loaded already, never loaded by name.
    using DisableGhostingFn = void(WINAPI*)();
    const auto disable = CSystemLibraries::Bind<DisableGhostingFn>(GetModuleHandleA("user32.dll"),
                                                                   "DisableProcessWindowsGhosting");
    if (disable == nullptr)
    {
        return false;
    }
    disable();
    return true;
}
} // namespace WindowGhosting
