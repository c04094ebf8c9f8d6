// Delegating wrappers of the shell-link object, so that setting a link's target and saving
// it are counted calls too: they happen in the shell's code, out of the import table's sight.
#include "FaultState.h"

#include <objbase.h>
#include <shlobj.h>

#include <new>

namespace Fault
{
namespace
{
// Holds one reference to the real interface, given up when the wrapper's last one goes.
template <typename Interface> class CWrapper : public Interface
{
public:
    explicit CWrapper(Interface* real) : m_real(real) {}
    virtual ~CWrapper() { m_real->Release(); }
    CWrapper(const CWrapper&) = delete;
    CWrapper& operator=(const CWrapper&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
        {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsOwn(iid))
        {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        const HRESULT hr = m_real->QueryInterface(iid, object);
        if (SUCCEEDED(hr) && *object)
        {
            detail::WrapShellObject(iid, object);
        }
        return hr;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_references); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&m_references);
        if (left == 0)
        {
            detail::CQuiet quiet;
            delete this;
        }
        return left;
    }

protected:
    virtual bool IsOwn(REFIID iid) const = 0;

    Interface* m_real;

private:
    LONG m_references = 1;
};

class CLinkWrapper final : public CWrapper<IShellLinkA>
{
public:
    using CWrapper::CWrapper;

    HRESULT STDMETHODCALLTYPE GetPath(LPSTR file, int size, WIN32_FIND_DATAA* data,
                                      DWORD flags) override
    {
        return m_real->GetPath(file, size, data, flags);
    }
    HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE* list) override
    {
        return m_real->GetIDList(list);
    }
    HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE list) override
    {
        return m_real->SetIDList(list);
    }
    HRESULT STDMETHODCALLTYPE GetDescription(LPSTR name, int size) override
    {
        return m_real->GetDescription(name, size);
    }
    HRESULT STDMETHODCALLTYPE SetDescription(LPCSTR name) override
    {
        const detail::Verdict v = detail::Enter(Api::ShellLinkSetDescription);
        return v.fail ? static_cast<HRESULT>(v.error) : m_real->SetDescription(name);
    }
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPSTR dir, int size) override
    {
        return m_real->GetWorkingDirectory(dir, size);
    }
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCSTR dir) override
    {
        return m_real->SetWorkingDirectory(dir);
    }
    HRESULT STDMETHODCALLTYPE GetArguments(LPSTR args, int size) override
    {
        return m_real->GetArguments(args, size);
    }
    HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR args) override
    {
        return m_real->SetArguments(args);
    }
    HRESULT STDMETHODCALLTYPE GetHotkey(WORD* key) override { return m_real->GetHotkey(key); }
    HRESULT STDMETHODCALLTYPE SetHotkey(WORD key) override { return m_real->SetHotkey(key); }
    HRESULT STDMETHODCALLTYPE GetShowCmd(int* show) override { return m_real->GetShowCmd(show); }
    HRESULT STDMETHODCALLTYPE SetShowCmd(int show) override { return m_real->SetShowCmd(show); }
    HRESULT STDMETHODCALLTYPE GetIconLocation(LPSTR path, int size, int* icon) override
    {
        return m_real->GetIconLocation(path, size, icon);
    }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCSTR path, int icon) override
    {
        return m_real->SetIconLocation(path, icon);
    }
    HRESULT STDMETHODCALLTYPE SetRelativePath(LPCSTR path, DWORD reserved) override
    {
        return m_real->SetRelativePath(path, reserved);
    }
    HRESULT STDMETHODCALLTYPE Resolve(HWND window, DWORD flags) override
    {
        return m_real->Resolve(window, flags);
    }
    HRESULT STDMETHODCALLTYPE SetPath(LPCSTR file) override
    {
        const detail::Verdict v = detail::Enter(Api::ShellLinkSetPath);
        return v.fail ? static_cast<HRESULT>(v.error) : m_real->SetPath(file);
    }

private:
    bool IsOwn(REFIID iid) const override { return IsEqualIID(iid, IID_IShellLinkA); }
};

class CPersistFileWrapper final : public CWrapper<IPersistFile>
{
public:
    using CWrapper::CWrapper;

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override { return m_real->GetClassID(id); }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return m_real->IsDirty(); }
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR name, DWORD mode) override
    {
        return m_real->Load(name, mode);
    }
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR name, BOOL remember) override
    {
        const detail::Verdict v = Enter(Api::PersistFileSave);
        NoteTarget(v, Api::PersistFileSave, name);
        return v.fail ? static_cast<HRESULT>(v.error) : m_real->Save(name, remember);
    }
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR name) override
    {
        const detail::Verdict v = Enter(Api::PersistFileSaveCompleted);
        NoteTarget(v, Api::PersistFileSaveCompleted, name);
        return v.fail ? static_cast<HRESULT>(v.error) : m_real->SaveCompleted(name);
    }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* name) override
    {
        return m_real->GetCurFile(name);
    }

private:
    bool IsOwn(REFIID iid) const override
    {
        return IsEqualIID(iid, IID_IPersistFile) || IsEqualIID(iid, IID_IPersist);
    }

    static detail::Verdict Enter(Api api) { return detail::Enter(api); }

    // Without a name the save goes to the file the object was loaded from or saved to.
    void NoteTarget(const detail::Verdict& v, Api api, LPCOLESTR name)
    {
        if (!v.watched)
        {
            return;
        }
        if (name)
        {
            detail::NoteFile(v, api, name);
            return;
        }
        LPOLESTR current = nullptr;
        if (SUCCEEDED(m_real->GetCurFile(&current)) && current)
        {
            detail::NoteFile(v, api, current);
        }
        CoTaskMemFree(current);
    }
};
} // namespace

namespace detail
{
void WrapShellObject(REFIID iid, void** object)
{
    CQuiet quiet;
    if (IsEqualIID(iid, IID_IShellLinkA))
    {
        auto* real = static_cast<IShellLinkA*>(*object);
        if (auto* wrapper = new (std::nothrow) CLinkWrapper(real))
        {
            *object = static_cast<IShellLinkA*>(wrapper);
        }
    }
    else if (IsEqualIID(iid, IID_IPersistFile))
    {
        auto* real = static_cast<IPersistFile*>(*object);
        if (auto* wrapper = new (std::nothrow) CPersistFileWrapper(real))
        {
            *object = static_cast<IPersistFile*>(wrapper);
        }
    }
}
} // namespace detail
} // namespace Fault
