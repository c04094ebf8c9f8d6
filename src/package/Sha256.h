#pragma once

// SHA-256 from a well-kept implementation the system offers: on Windows
// CryptoAPI's AES provider (XP SP3 and later; bound at run time, since Windows
// 95 lacks CryptoAPI), elsewhere OpenSSL's libcrypto. Failures return false
// with the last-error code set.

#include <cstddef>
#include <cstdint>
#include <memory>

class CSha256
{
public:
    static const size_t kSize = 32;

    enum class Availability
    {
        Offered,
        NotOffered, // the system has no SHA-256 for this program
        Failed,     // it should have, and a call failed: the last error says why
    };

    CSha256();
    ~CSha256();
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;

    // Asks the system once; the hash functions work only after Offered.
    Availability Open();

    // One digest at a time: Start, any number of Add, Finish.
    bool Start();
    bool Add(const void* data, size_t size);
    bool Finish(uint8_t digest[kSize]);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
