// An owner-drawn push button that shows one of four bitmaps by its state.
#pragma once

#include <windows.h>

class CPictureButton
{
public:
    CPictureButton();
    ~CPictureButton();
    CPictureButton(const CPictureButton&) = delete;
    CPictureButton& operator=(const CPictureButton&) = delete;

    // The focused picture is the normal one with a focus rectangle drawn over it.
    bool LoadBitmaps(HINSTANCE instance, UINT normalId, UINT pressedId, UINT disabledId);

    // Handles the owner's WM_DRAWITEM for this button.
    void DrawItem(const DRAWITEMSTRUCT& item) const;

private:
    void FreeBitmaps();

    HBITMAP m_normal;
    HBITMAP m_pressed;
    HBITMAP m_disabled;
};
