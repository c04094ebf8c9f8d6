#include "ui/PictureButton.h"

#include <initializer_list>

CPictureButton::CPictureButton() : m_normal(nullptr), m_pressed(nullptr), m_disabled(nullptr) {}

CPictureButton::~CPictureButton()
{
    FreeBitmaps();
}

void CPictureButton::FreeBitmaps()
{
    for (HBITMAP* bitmap : {&m_normal, &m_pressed, &m_disabled})
    {
        if (*bitmap)
        {
            DeleteObject(*bitmap);
            *bitmap = nullptr;
        }
    }
}

bool CPictureButton::LoadBitmaps(HINSTANCE instance, UINT normalId, UINT pressedId, UINT disabledId)
{
    FreeBitmaps();
    m_normal = LoadBitmapA(instance, MAKEINTRESOURCEA(normalId));
    m_pressed = LoadBitmapA(instance, MAKEINTRESOURCEA(pressedId));
    m_disabled = LoadBitmapA(instance, MAKEINTRESOURCEA(disabledId));
    return m_normal && m_pressed && m_disabled;
}

void CPictureButton::DrawItem(const DRAWITEMSTRUCT& item) const
{
    HBITMAP picture = m_normal;
    if (item.itemState & ODS_DISABLED)
    {
        picture = m_disabled;
    }
    else if (item.itemState & ODS_SELECTED)
    {
        picture = m_pressed;
    }
    if (!picture)
    {
        picture = m_normal;
    }

    const RECT& area = item.rcItem;
    FillRect(item.hDC, &area, GetSysColorBrush(COLOR_BTNFACE));
    if (picture)
    {
        BITMAP info;
        GetObjectA(picture, sizeof(info), &info);
        HDC memory = CreateCompatibleDC(item.hDC);
        HGDIOBJ old = SelectObject(memory, picture);
        const int x = area.left + (area.right - area.left - info.bmWidth) / 2;
        const int y = area.top + (area.bottom - area.top - info.bmHeight) / 2;
        BitBlt(item.hDC, x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
    }
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_DISABLED))
    {
        RECT focus = area;
        InflateRect(&focus, -2, -2);
        DrawFocusRect(item.hDC, &focus);
    }
}
