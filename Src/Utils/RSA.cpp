#include "Utils/RSA.h"

#include <algorithm>
#include <stdexcept>

#include "Utils/SHA1.h"

namespace VexlaLib {

namespace {

const int IDENTITY_KEY_LENGTH = 128;
const int SERVER_MODULUS_LENGTH = 48;
const int SECRET_BLOCK_LENGTH = 48;
const int SECRET_PACKET_LENGTH = 50;
const unsigned char TRAILER = 0xBC;
const int ENCODING_OVERHEAD = 22;  // header byte, digest and trailer

}  // namespace

CRSA::CRSA(int bits, const TByteArray& exponent)
    : m_exponent(exponent), m_exponentSet(true), m_modulusSet(false), m_keyLength(bits / 8)
{
    // Blocks carry k-1 bytes of data: anything shorter than two bytes cannot carry any.
    if (m_keyLength < 2) {
        throw std::invalid_argument("CRSA: key too short");
    }
}

CRSA::CRSA(int bits, const TByteArray& exponent, const TByteArray& modulus) : CRSA(bits, exponent)
{
    SetServerMod(modulus);
}

void CRSA::SetServerMod(const TByteArray& modulus)
{
    m_modulus = CBigInt(modulus);
    m_modulusSet = true;
}

CBigInt CRSA::Encrypt(const CBigInt& value) const
{
    if (!m_exponentSet || !m_modulusSet) {
        throw std::logic_error("CRSA: key incomplete");
    }
    return value.ModPow(m_exponent, m_modulus);
}

TByteArray CRSA::Encrypt(const TByteArray& data) const
{
    const size_t run = size_t(m_keyLength) - 1;
    TByteArray output;
    for (size_t offset = 0; offset < data.size(); offset += run) {
        TByteArray block(m_keyLength);
        std::copy(data.begin() + offset, data.begin() + std::min(data.size(), offset + run), block.begin());
        block[run] = 0x01;
        TByteArray encrypted = ToLittleEndian(Encrypt(CBigInt(FromLittleEndian(block))).ToByteArray(), m_keyLength);
        output.insert(output.end(), encrypted.begin(), encrypted.end());
    }
    return output;
}

TByteArray CRSA::Decrypt(const TByteArray& data) const
{
    const size_t k = size_t(m_keyLength);
    TByteArray output(data.size());
    for (size_t block = 0; (block + 1) * k <= data.size(); ++block) {
        TByteArray input(data.begin() + block * k, data.begin() + (block + 1) * k);
        TByteArray result = ToLittleEndian(Encrypt(CBigInt(FromLittleEndian(input))).ToByteArray(), m_keyLength);
        std::copy(result.begin(), result.end() - 1, output.begin() + (k - 1) * block);
    }
    return output;
}

TByteArray CRSA::DecryptServerIdentity(const TByteArray& identity, const CRSA& rootKey, bool checkDigest)
{
    if (identity.size() < 2 || identity[0] != 'S' || identity[1] != 'K') {
        throw std::runtime_error("CRSA: server identity lacks the SK header");
    }
    if (identity.size() < 2 + size_t(IDENTITY_KEY_LENGTH)) {
        throw std::runtime_error("CRSA: server identity too short");
    }
    TByteArray signature(identity.rend() - 2 - IDENTITY_KEY_LENGTH, identity.rend() - 2);
    TByteArray modulus;
    const TByteArray block = rootKey.Decrypt(signature);
    if (!Decode(block, modulus)) {
        throw std::runtime_error("CRSA: server identity does not verify");
    }
    if (checkDigest && !HasModulusDigest(block, modulus)) {
        throw std::runtime_error("CRSA: server identity digest does not match its modulus");
    }
    return modulus;
}

bool CRSA::HasModulusDigest(const TByteArray& block, const TByteArray& modulus)
{
    // The digest sits between the trailer and the modulus: R[20] is its first byte, R[1] its last.
    const TByteArray digest = CSHA1::Calc(TByteArray(modulus.begin() + 1, modulus.end()));
    for (int n = 0; n < CSHA1::DIGEST_LENGTH; ++n) {
        if (block[CSHA1::DIGEST_LENGTH - n] != digest[n]) {
            return false;
        }
    }
    return true;
}

bool CRSA::Decode(const TByteArray& block, TByteArray& out)
{
    if (block.size() < size_t(IDENTITY_KEY_LENGTH) || block[0] != TRAILER) {
        return false;
    }
    // Without the marker there is no modulus to recover: refuse instead of yielding zero.
    if (block[0x46] != 'S' || block[0x45] != 'U') {
        return false;
    }
    out.assign(1 + SERVER_MODULUS_LENGTH, 0);
    for (int n = 0; n < SERVER_MODULUS_LENGTH; ++n) {
        out[1 + n] = block[0x44 - n];
    }
    return true;
}

TByteArray CRSA::Encode(const TByteArray& message, int length)
{
    if (length < ENCODING_OVERHEAD || message.size() > size_t(length - ENCODING_OVERHEAD)) {
        throw std::length_error("CRSA: message too long to encode");
    }
    TByteArray block(length);
    CSHA1::Calc(message.data(), int(message.size()), &block[length - 1 - CSHA1::DIGEST_LENGTH]);
    block[length - 1] = TRAILER;
    const int padding = length - ENCODING_OVERHEAD - int(message.size());
    block[0] = 0x4B;
    std::fill(block.begin() + 1, block.begin() + 1 + padding, 0xBB);
    block[padding] &= 0xFE;
    std::copy(message.begin(), message.end(), block.begin() + padding + 1);
    return block;
}

TByteArray CRSA::EncryptSecret(const TByteArray& secret, const CRSA& serverKey)
{
    TByteArray encrypted = serverKey.Encrypt(CBigInt(1, Encode(secret, SECRET_BLOCK_LENGTH))).ToByteArray();
    if (encrypted.size() > size_t(SECRET_PACKET_LENGTH)) {
        throw std::length_error("CRSA: server modulus too long");
    }
    TByteArray packet(SECRET_PACKET_LENGTH);
    std::copy(encrypted.begin(), encrypted.end(), packet.end() - encrypted.size());
    packet[0] = 'P';
    packet[1] = 'S';
    return packet;
}

TByteArray CRSA::ToLittleEndian(const TByteArray& bytes, int length)
{
    TByteArray out(length);
    const size_t count = std::min(bytes.size(), size_t(length));
    std::copy(bytes.rbegin(), bytes.rbegin() + count, out.begin());
    return out;
}

TByteArray CRSA::FromLittleEndian(const TByteArray& bytes)
{
    TByteArray out(bytes.size() + 1);
    std::copy(bytes.rbegin(), bytes.rend(), out.begin() + 1);
    return out;
}

}  // namespace VexlaLib
