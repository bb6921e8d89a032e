#include "marloservice/StoreKeyEncryptor.h"

#include <cstdio>
#include <vector>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

namespace
{
const std::size_t PKCS1_PADDING_OVERHEAD = 11;
const std::size_t BASE64_LINE_LENGTH = 64;

struct CContextDeleter
{
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
}  // namespace

void CStoreKeyEncryptor::CKeyDeleter::operator()(EVP_PKEY* key) const
{
    EVP_PKEY_free(key);
}

CStoreKeyEncryptor::CStoreKeyEncryptor() = default;
CStoreKeyEncryptor::~CStoreKeyEncryptor() = default;

bool CStoreKeyEncryptor::Load(const std::string& pub_key_path)
{
    m_key.reset();
    FILE* file = std::fopen(pub_key_path.c_str(), "rb");
    if (file == nullptr)
        return false;
    EVP_PKEY* key = d2i_PUBKEY_fp(file, nullptr);
    std::fclose(file);
    if (key == nullptr || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA)
    {
        EVP_PKEY_free(key);
        ERR_clear_error();
        return false;
    }
    m_key.reset(key);
    return true;
}

std::optional<std::string> CStoreKeyEncryptor::rsa_encrypt_string(const std::string& text) const
{
    if (!m_key)
        return std::nullopt;
    const std::size_t keySize = static_cast<std::size_t>(EVP_PKEY_get_size(m_key.get()));
    if (text.empty() || text.size() > keySize - PKCS1_PADDING_OVERHEAD)
        return std::nullopt;

    std::unique_ptr<EVP_PKEY_CTX, CContextDeleter> context(EVP_PKEY_CTX_new(m_key.get(), nullptr));
    std::vector<unsigned char> ciphertext(keySize);
    std::size_t length = ciphertext.size();
    if (!context || EVP_PKEY_encrypt_init(context.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) <= 0 ||
        EVP_PKEY_encrypt(context.get(), ciphertext.data(), &length,
                         reinterpret_cast<const unsigned char*>(text.data()), text.size()) <= 0)
    {
        ERR_clear_error();
        return std::nullopt;
    }
    return base64(ciphertext.data(), length);
}

std::string CStoreKeyEncryptor::base64(const unsigned char* data, std::size_t length)
{
    std::string plain(4 * ((length + 2) / 3) + 1, '\0');
    const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&plain[0]), data, static_cast<int>(length));
    plain.resize(static_cast<std::size_t>(written));

    std::string lines;
    lines.reserve(plain.size() + plain.size() / BASE64_LINE_LENGTH);
    for (std::size_t start = 0; start < plain.size(); start += BASE64_LINE_LENGTH)
    {
        if (start != 0)
            lines += '\n';
        lines.append(plain, start, BASE64_LINE_LENGTH);
    }
    return lines;
}
