#include "package/Sha256.h"

#include "package/FileIo.h"

#ifdef _WIN32
#include <wincrypt.h>

#include <cstring>
#else
#include <openssl/evp.h>
#endif

#ifdef _WIN32

namespace
{
using AcquireContextFn = BOOL(WINAPI*)(HCRYPTPROV*, LPCSTR, LPCSTR, DWORD, DWORD);
using ReleaseContextFn = BOOL(WINAPI*)(HCRYPTPROV, DWORD);
using CreateHashFn = BOOL(WINAPI*)(HCRYPTPROV, ALG_ID, HCRYPTKEY, DWORD, HCRYPTHASH*);
using HashDataFn = BOOL(WINAPI*)(HCRYPTHASH, const BYTE*, DWORD, DWORD);
using GetHashParamFn = BOOL(WINAPI*)(HCRYPTHASH, DWORD, BYTE*, DWORD*, DWORD);
using DestroyHashFn = BOOL(WINAPI*)(HCRYPTHASH);

// The headers of the XP target leave out what came with SP3: the setup asks at run time.
#ifndef CALG_SHA_256
#define CALG_SHA_256 (ALG_CLASS_HASH | ALG_TYPE_ANY | 12) // ALG_SID_SHA_256
#endif

template <typename Fn> bool Bind(HMODULE module, const char* name, Fn* fn)
{
    *fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    return *fn != nullptr;
}

// Asked for by name, never as the type's default: the default is the user's own
// setting (HKCU), and one without SHA-256 would turn the check down to CRC-32. XP SP3
// registers the provider under its second name.
const char* const kAesProviders[] = {
    "Microsoft Enhanced RSA and AES Cryptographic Provider",
    "Microsoft Enhanced RSA and AES Cryptographic Provider (Prototype)",
};

// What a system without the provider, its type or the algorithm answers: 9x, NT 4.0
// and 2000 know no AES provider, XP before SP3 has one without SHA-256.
bool MeansNotOffered(DWORD error)
{
    return error == static_cast<DWORD>(NTE_KEYSET_NOT_DEF) ||
           error == static_cast<DWORD>(NTE_PROV_TYPE_NOT_DEF) ||
           error == static_cast<DWORD>(NTE_PROV_TYPE_ENTRY_BAD) ||
           error == static_cast<DWORD>(NTE_PROV_TYPE_NO_MATCH) ||
           error == static_cast<DWORD>(NTE_BAD_PROV_TYPE) ||
           error == static_cast<DWORD>(NTE_BAD_ALGID);
}
} // namespace

struct CSha256::Impl
{
    // advapi32 is loaded in the setup (it imports from it); a program that is not
    // loads it here, from the system folder.
    HMODULE advapi = nullptr;
    HMODULE loaded = nullptr;
    AcquireContextFn acquire = nullptr;
    ReleaseContextFn release = nullptr;
    CreateHashFn createHash = nullptr;
    HashDataFn hashData = nullptr;
    GetHashParamFn getHashParam = nullptr;
    DestroyHashFn destroyHash = nullptr;
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;

    ~Impl()
    {
        const DWORD saved = GetLastError();
        DropHash();
        if (provider != 0)
        {
            release(provider, 0);
        }
        if (loaded != nullptr)
        {
            FreeLibrary(loaded);
        }
        SetLastError(saved);
    }

    void DropHash()
    {
        if (hash != 0)
        {
            destroyHash(hash);
            hash = 0;
        }
    }

    bool LoadAdvapi()
    {
        advapi = GetModuleHandleA("advapi32.dll");
        if (advapi != nullptr)
        {
            return true;
        }
        char path[MAX_PATH + 16] = "";
        const UINT length = GetSystemDirectoryA(path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
        {
            return false;
        }
        std::strcat(path, "\\advapi32.dll");
        loaded = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        advapi = loaded;
        return advapi != nullptr;
    }

    bool BindAll()
    {
        return Bind(advapi, "CryptAcquireContextA", &acquire) &&
               Bind(advapi, "CryptReleaseContext", &release) &&
               Bind(advapi, "CryptCreateHash", &createHash) &&
               Bind(advapi, "CryptHashData", &hashData) &&
               Bind(advapi, "CryptGetHashParam", &getHashParam) &&
               Bind(advapi, "CryptDestroyHash", &destroyHash);
    }
};

CSha256::CSha256() = default;
CSha256::~CSha256() = default;

CSha256::Availability CSha256::Open()
{
    m_impl.reset(new Impl);
    Impl& impl = *m_impl;
    if (!impl.LoadAdvapi())
    {
        return Availability::Failed;
    }
    // Windows 95 before its second release has no CryptoAPI at all.
    if (!impl.BindAll())
    {
        return Availability::NotOffered;
    }
    for (const char* name : kAesProviders)
    {
        if (impl.acquire(&impl.provider, nullptr, name, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        {
            break;
        }
        impl.provider = 0;
        if (!MeansNotOffered(GetLastError()))
        {
            return Availability::Failed;
        }
    }
    if (impl.provider == 0)
    {
        return Availability::NotOffered;
    }
    // The provider of XP before SP3 knows AES but not SHA-256: asked once, here.
    if (!Start())
    {
        return MeansNotOffered(GetLastError()) ? Availability::NotOffered : Availability::Failed;
    }
    impl.DropHash();
    return Availability::Offered;
}

bool CSha256::Start()
{
    Impl& impl = *m_impl;
    impl.DropHash();
    if (!impl.createHash(impl.provider, CALG_SHA_256, 0, 0, &impl.hash))
    {
        impl.hash = 0;
        return false;
    }
    return true;
}

bool CSha256::Add(const void* data, size_t size)
{
    return m_impl->hashData(m_impl->hash, static_cast<const BYTE*>(data), static_cast<DWORD>(size),
                            0) != FALSE;
}

bool CSha256::Finish(uint8_t digest[kSize])
{
    Impl& impl = *m_impl;
    DWORD size = kSize;
    const bool done = impl.getHashParam(impl.hash, HP_HASHVAL, digest, &size, 0) && size == kSize;
    if (!done && GetLastError() == ERROR_SUCCESS)
    {
        SetLastError(ERROR_INVALID_DATA);
    }
    impl.DropHash();
    return done;
}

#else

struct CSha256::Impl
{
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~Impl() { EVP_MD_CTX_free(context); }
};

CSha256::CSha256() = default;
CSha256::~CSha256() = default;

CSha256::Availability CSha256::Open()
{
    m_impl.reset(new Impl);
    if (m_impl->context == nullptr)
    {
        FileIo::SetLastError(FileIo::kErrorNotEnoughMemory);
        return Availability::Failed;
    }
    return Availability::Offered;
}

namespace
{
bool Done(int result)
{
    if (result != 1)
    {
        // libcrypto fails only when it cannot allocate.
        FileIo::SetLastError(FileIo::kErrorNotEnoughMemory);
    }
    return result == 1;
}
} // namespace

bool CSha256::Start()
{
    return Done(EVP_DigestInit_ex(m_impl->context, EVP_sha256(), nullptr));
}

bool CSha256::Add(const void* data, size_t size)
{
    return Done(EVP_DigestUpdate(m_impl->context, data, size));
}

bool CSha256::Finish(uint8_t digest[kSize])
{
    unsigned int size = 0;
    return Done(EVP_DigestFinal_ex(m_impl->context, digest, &size)) && size == kSize;
}

#endif
