// The check of the packages and the install run inside their sequence with no message loop,
// and a package read whole from a CD can take a minute. XP and later mark a window whose
// thread has not read its messages for five seconds "Not Responding" and offer to end the
// program, which would leave a half-installed product: the setup turns that marking off for
// the whole run.
#pragma once

namespace WindowGhosting
{
// Turns the marking off where user32 offers the switch (XP and later; the 9x family, NT 4.0
// and 2000 have none, and never mark). True when it did.
bool TurnOff();
} // namespace WindowGhosting
