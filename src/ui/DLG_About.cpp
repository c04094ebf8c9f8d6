#include "ui/DLG_About.h"

#include "framework/resource.h"

DLG_About::DLG_About(HWND hParent) : CDialog(IDD_ABOUTBOX, hParent) {}
