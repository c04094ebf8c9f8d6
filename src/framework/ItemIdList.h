// A shell item identifier list, freed through the shell's allocator that came with it.
#pragma once

#include "framework/ComPtr.h"

#include <shlobj.h>

#include <string>

class CItemIdList
{
public:
    // Takes a reference of its own to `allocator`, which frees the list.
    explicit CItemIdList(IMalloc* allocator);
    ~CItemIdList();
    CItemIdList(const CItemIdList&) = delete;
    CItemIdList& operator=(const CItemIdList&) = delete;

    LPITEMIDLIST Get() const { return m_list; }
    LPITEMIDLIST* Receive();
    void Reset(LPITEMIDLIST list = nullptr);

    // The file-system path the list names (SHGetPathFromIDListA); false when it has none.
    bool GetPath(std::string& path) const;
    // The same as the system stores it (SHGetPathFromIDListW, the NT family only): a name
    // outside the code page comes back whole.
    bool GetPath(std::u16string& path) const;

private:
    IMalloc* m_allocator;
    LPITEMIDLIST m_list;
};
