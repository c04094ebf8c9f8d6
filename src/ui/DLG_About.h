// The "About Kelvarin" box, opened from the licence dialog's system menu.
#pragma once

#include "framework/Dialog.h"

class DLG_About : public CDialog
{
public:
    explicit DLG_About(HWND hParent = nullptr);
};
