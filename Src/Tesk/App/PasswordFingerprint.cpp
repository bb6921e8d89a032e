#include "Tesk/App/PasswordFingerprint.h"

#include <sys/random.h>

#include <cstddef>

#include "Utils/SHA1.h"

namespace {

const size_t kSaltLength = 16;

// Fills `bytes`; a short read of the kernel's generator is continued, a failing one leaves the
// rest as it was (the salt only keeps the digest from being looked up in a table).
void FillRandom(std::vector<unsigned char>* bytes)
{
    size_t filled = 0;
    while (filled < bytes->size()) {
        const ssize_t got = getrandom(bytes->data() + filled, bytes->size() - filled, 0);
        if (got <= 0)
            return;
        filled += static_cast<size_t>(got);
    }
}

}  // namespace

void CPasswordFingerprint::Take(const std::wstring& password)
{
    m_salt.assign(kSaltLength, 0);
    FillRandom(&m_salt);
    m_digest = Digest(password);
}

bool CPasswordFingerprint::Matches(const std::wstring& password) const
{
    return !m_digest.empty() && Digest(password) == m_digest;
}

void CPasswordFingerprint::Clear()
{
    m_salt.clear();
    m_digest.clear();
}

std::vector<unsigned char> CPasswordFingerprint::Digest(const std::wstring& password) const
{
    // The password is hashed where it lies, so no further copy of it is made.
    std::vector<unsigned char> salted(m_salt);
    salted.resize(m_salt.size() + VexlaLib::CSHA1::DIGEST_LENGTH);
    VexlaLib::CSHA1::Calc(password.data(), static_cast<int>(password.size() * sizeof(wchar_t)),
                          salted.data() + m_salt.size());
    return VexlaLib::CSHA1::Calc(salted);
}
