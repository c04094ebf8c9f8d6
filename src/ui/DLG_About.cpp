#include "ui/DLG_About.h"

#include "ui/resource.h"

DLG_About::DLG_About(HWND hParent) : CDialog(IDD_ABOUTBOX, hParent) {}
