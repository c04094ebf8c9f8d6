#include "framework/ItemIdList.h"

CItemIdList::CItemIdList(IMalloc* allocator) : m_allocator(allocator), m_list(nullptr)
{
    if (m_allocator)
    {
        m_allocator->AddRef();
    }
}

CItemIdList::~CItemIdList()
{
    Reset();
    if (m_allocator)
    {
        const DWORD saved = GetLastError();
        m_allocator->Release();
        SetLastError(saved);
    }
}

LPITEMIDLIST* CItemIdList::Receive()
{
    Reset();
    return &m_list;
}

void CItemIdList::Reset(LPITEMIDLIST list)
{
    if (m_list && m_allocator)
    {
        const DWORD saved = GetLastError();
        m_allocator->Free(m_list);
        SetLastError(saved);
    }
    m_list = list;
}

bool CItemIdList::GetPath(std::string& path) const
{
    char buffer[MAX_PATH] = "";
    if (!m_list || !SHGetPathFromIDListA(m_list, buffer))
    {
        return false;
    }
    path = buffer;
    return true;
}

bool CItemIdList::GetPath(std::u16string& path) const
{
    wchar_t buffer[MAX_PATH] = L"";
    if (!m_list || !SHGetPathFromIDListW(m_list, buffer))
    {
        return false;
    }
    path = reinterpret_cast<const char16_t*>(buffer);
    return true;
}
