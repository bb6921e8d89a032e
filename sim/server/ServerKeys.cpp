#include "ServerKeys.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "Utils/SHA1.h"

namespace ServerSim {

using VexlaLib::TByteArray;

namespace {

const size_t kRootBytes = 128;
const size_t kServerBytes = 48;
const size_t kDigestBytes = 20;
const size_t kSecretBytes = 50;

EVP_PKEY* LoadKey(const std::string& path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "r"), &std::fclose);
    if (!file) {
        throw std::runtime_error("cannot open key file " + path);
    }
    EVP_PKEY* key = PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr);
    if (key == nullptr || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) {
        EVP_PKEY_free(key);
        throw std::runtime_error("no RSA private key in " + path);
    }
    return key;
}

}  // namespace

CServerKeys::CServerKeys(const std::string& dir)
    : m_rootPrimary(nullptr), m_rootBackup(nullptr), m_server(nullptr)
{
    try {
        m_rootPrimary = LoadKey(dir + "/test-root-primary.pem");
        m_rootBackup = LoadKey(dir + "/test-root-backup.pem");
        m_server = LoadKey(dir + "/test-server.pem");
    } catch (...) {
        EVP_PKEY_free(m_rootPrimary);
        EVP_PKEY_free(m_rootBackup);
        throw;
    }
    if (static_cast<size_t>(EVP_PKEY_get_size(m_rootPrimary)) != kRootBytes ||
        static_cast<size_t>(EVP_PKEY_get_size(m_rootBackup)) != kRootBytes ||
        static_cast<size_t>(EVP_PKEY_get_size(m_server)) != kServerBytes) {
        EVP_PKEY_free(m_rootPrimary);
        EVP_PKEY_free(m_rootBackup);
        EVP_PKEY_free(m_server);
        throw std::runtime_error("root keys must be 1024-bit and the server key 384-bit RSA keys");
    }
}

CServerKeys::~CServerKeys()
{
    EVP_PKEY_free(m_rootPrimary);
    EVP_PKEY_free(m_rootBackup);
    EVP_PKEY_free(m_server);
}

TByteArray CServerKeys::ServerModulus() const
{
    BIGNUM* modulus = nullptr;
    TByteArray out(kServerBytes);
    if (EVP_PKEY_get_bn_param(m_server, OSSL_PKEY_PARAM_RSA_N, &modulus) != 1 ||
        BN_bn2binpad(modulus, out.data(), static_cast<int>(out.size())) < 0) {
        BN_free(modulus);
        throw std::runtime_error("cannot read the server modulus");
    }
    BN_free(modulus);
    return out;
}

TByteArray CServerKeys::MakeIdentity(TIdentityKey key) const
{
    // The signed block, most significant byte first: 0x00, 0xBB padding, 0x4B, "S" "U", the server
    // modulus, its SHA-1 digest and the trailer 0xBC. Signing it with the root key's private exponent
    // lets the client recover it with the public root key.
    const TByteArray modulus = ServerModulus();
    TByteArray digest = VexlaLib::CSHA1::Calc(modulus);
    if (key == TIdentityKey::eWrongDigest) {
        digest[0] ^= 0x01;
    }
    TByteArray block(kRootBytes, 0xBB);
    const size_t modulusAt = kRootBytes - 1 - kDigestBytes - kServerBytes;
    block[0] = 0x00;
    block[modulusAt - 3] = 0x4B;
    block[modulusAt - 2] = 'S';
    block[modulusAt - 1] = 'U';
    std::copy(modulus.begin(), modulus.end(), block.begin() + modulusAt);
    std::copy(digest.begin(), digest.end(), block.begin() + modulusAt + kServerBytes);
    block[kRootBytes - 1] = 0xBC;

    TByteArray signature;
    EVP_PKEY* root = key == TIdentityKey::eBackup ? m_rootBackup : m_rootPrimary;
    if (!PrivateOperation(root, block.data(), block.size(), signature)) {
        throw std::runtime_error("cannot sign the server identity");
    }
    if (key == TIdentityKey::eCorrupt) {
        signature[kRootBytes / 2] ^= 0x01;
    }
    TByteArray identity{'S', 'K'};
    identity.insert(identity.end(), signature.begin(), signature.end());
    return identity;
}

bool CServerKeys::DecryptSecret(const TByteArray& secret, TByteArray& master) const
{
    if (secret.size() != kSecretBytes || secret[0] != 'P' || secret[1] != 'S') {
        return false;
    }
    TByteArray block;
    if (!PrivateOperation(m_server, secret.data() + 2, kServerBytes, block)) {
        return false;
    }
    // ISO/IEC 9796-2 layout: 0x4B, 0xBB..., 0xBA (or 0x4A alone), message, SHA-1(message), 0xBC.
    const size_t digestAt = kServerBytes - 1 - kDigestBytes;
    size_t start = 0;
    if (block[0] == 0x4A) {
        start = 1;
    } else if (block[0] == 0x4B) {
        size_t i = 1;
        while (i < digestAt && block[i] == 0xBB) {
            ++i;
        }
        if (i >= digestAt || block[i] != 0xBA) {
            return false;
        }
        start = i + 1;
    } else {
        return false;
    }
    if (block[kServerBytes - 1] != 0xBC) {
        return false;
    }
    const TByteArray message(block.begin() + start, block.begin() + digestAt);
    const TByteArray digest = VexlaLib::CSHA1::Calc(message);
    if (!std::equal(digest.begin(), digest.end(), block.begin() + digestAt)) {
        return false;
    }
    master = message;
    return true;
}

bool CServerKeys::PrivateOperation(EVP_PKEY* key, const unsigned char* in, size_t length, TByteArray& out)
{
    std::unique_ptr<EVP_PKEY_CTX, void (*)(EVP_PKEY_CTX*)> context(EVP_PKEY_CTX_new(key, nullptr),
                                                                   &EVP_PKEY_CTX_free);
    if (!context || EVP_PKEY_decrypt_init(context.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_NO_PADDING) != 1) {
        return false;
    }
    size_t outLength = static_cast<size_t>(EVP_PKEY_get_size(key));
    out.assign(outLength, 0);
    if (EVP_PKEY_decrypt(context.get(), out.data(), &outLength, in, length) != 1) {
        return false;
    }
    // The raw result may come back shorter than the key; right-align it.
    const size_t keyBytes = out.size();
    out.resize(outLength);
    out.insert(out.begin(), keyBytes - outLength, 0);
    return true;
}

}  // namespace ServerSim
