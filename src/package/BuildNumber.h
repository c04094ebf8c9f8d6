// The product's build: the package builder stamps it into every package header,
// the setup requires it there, shows it in its main menu, records it in the
// registry and carries it in its version resource. A macro, so that the resource
// script can use it too.
#pragma once

#define KELVARIN_BUILD_NUMBER 2105
