// The owner of one COM interface pointer: released when it goes away, and the
// thread's last error kept across that release.
#pragma once

#include <windows.h>

#include <objbase.h>

template <typename T> class CComPtr
{
public:
    CComPtr() : m_p(nullptr) {}
    ~CComPtr() { Reset(); }
    CComPtr(const CComPtr&) = delete;
    CComPtr& operator=(const CComPtr&) = delete;
    CComPtr(CComPtr&& other) : m_p(other.m_p) { other.m_p = nullptr; }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    void Reset()
    {
        if (m_p)
        {
            const DWORD saved = GetLastError();
            m_p->Release();
            SetLastError(saved);
            m_p = nullptr;
        }
    }

    // For calls that hand out an interface through a T** or void**.
    T** Receive()
    {
        Reset();
        return &m_p;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

private:
    T* m_p;
};
