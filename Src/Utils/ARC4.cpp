#include "Utils/ARC4.h"

#include <cassert>
#include <cstddef>
#include <utility>

namespace VexlaLib {

CARC4::CARC4(const std::vector<unsigned char>& key) : m_keyLength(static_cast<int>(key.size())), m_i(0), m_j(0)
{
    assert(m_keyLength > 0 && "ARC4.cpp: empty key");
    for (int n = 0; n < 256; ++n) {
        m_s[n] = static_cast<unsigned char>(n);
    }
    unsigned char j = 0;
    for (int n = 0; n < 256; ++n) {
        j = static_cast<unsigned char>(j + m_s[n] + key[n % m_keyLength]);
        std::swap(m_s[n], m_s[j]);
    }
    Drop();
}

namespace {

// One key-stream step on the permutation `s` with indices i and j (kept in 0...255). Word-sized
// indices let every access be one indexed load or store.
inline unsigned char Step(unsigned char* s, size_t& i, size_t& j)
{
    i = (i + 1) & 0xFF;
    const unsigned char si = s[i];
    j = (j + si) & 0xFF;
    const unsigned char sj = s[j];
    s[i] = sj;
    s[j] = si;
    return s[static_cast<unsigned char>(si + sj)];
}

}  // namespace

unsigned char CARC4::NextByte()
{
    size_t i = m_i, j = m_j;
    unsigned char value = Step(m_s, i, j);
    m_i = static_cast<unsigned char>(i);
    m_j = static_cast<unsigned char>(j);
    return value;
}

int CARC4::EncryptBytes(unsigned char* buffer, int offset, int count)
{
    // The indices and the permutation's address live in locals: stores to the buffer may alias the
    // members, which would force the compiler to reload them for every byte.
    unsigned char* s = m_s;
    size_t i = m_i, j = m_j;
    unsigned char* p = buffer + offset;
    for (int n = 0; n < count; ++n) {
        p[n] ^= Step(s, i, j);
    }
    m_i = static_cast<unsigned char>(i);
    m_j = static_cast<unsigned char>(j);
    return count;
}

int CARC4::DecryptBytes(unsigned char* buffer, int offset, int count)
{
    return EncryptBytes(buffer, offset, count);
}

int CARC4::EncryptByte(int value)
{
    return (value ^ NextByte()) & 0xFF;
}

int CARC4::DecryptByte(int value)
{
    return EncryptByte(value);
}

void CARC4::Drop()
{
    for (int n = 0; n < DROP_LENGTH; ++n) {
        NextByte();
    }
}

}  // namespace VexlaLib
