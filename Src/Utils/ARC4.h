#pragma once

#include <vector>

namespace VexlaLib {

// RC4 stream cipher whose first 768 key-stream bytes are discarded. One instance is one direction of
// a stream; encryption and decryption are the same operation.
class CARC4
{
public:
    static const int DROP_LENGTH = 768;

    // Runs the key schedule and the initial drop. The key must not be empty.
    explicit CARC4(const std::vector<unsigned char>& key);

    unsigned char NextByte();
    // XOR `count` bytes of `buffer` from `offset` in place with the key stream; return `count`.
    int EncryptBytes(unsigned char* buffer, int offset, int count);
    int DecryptBytes(unsigned char* buffer, int offset, int count);
    int EncryptByte(int value);
    int DecryptByte(int value);
    // Advances the key stream by DROP_LENGTH bytes.
    void Drop();

private:
    int m_keyLength;
    unsigned char m_s[256];
    unsigned char m_i;
    unsigned char m_j;
};

}  // namespace VexlaLib
