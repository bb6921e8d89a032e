#include "StoreTestKeys.h"

#include <cstdio>
#include <memory>
#include <vector>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

namespace StoreTestKeys
{
std::string Path(const std::string& name)
{
    return std::string(VEXLA_SOURCE_DIR) + "/sim/store/keys/" + name;
}

std::string Decrypt(const std::string& base64Text)
{
    const std::string failed = "<decrypt failed>";
    std::string compact;
    for (const char c : base64Text)
        if (c != '\n')
            compact += c;
    std::vector<unsigned char> ciphertext(compact.size());
    const int decoded = EVP_DecodeBlock(ciphertext.data(), reinterpret_cast<const unsigned char*>(compact.data()),
                                        static_cast<int>(compact.size()));
    if (decoded < 0)
        return failed;
    std::size_t padding = 0;
    for (std::size_t i = compact.size(); i > 0 && compact[i - 1] == '='; --i)
        ++padding;
    ciphertext.resize(static_cast<std::size_t>(decoded) - padding);

    FILE* file = std::fopen(Path("store-rsa.pem").c_str(), "r");
    if (file == nullptr)
        return failed;
    std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(PEM_read_PrivateKey(file, nullptr, nullptr, nullptr),
                                                       EVP_PKEY_free);
    std::fclose(file);
    std::unique_ptr<EVP_PKEY_CTX, void (*)(EVP_PKEY_CTX*)> context(EVP_PKEY_CTX_new(key.get(), nullptr),
                                                                   EVP_PKEY_CTX_free);
    std::vector<unsigned char> plain(ciphertext.size());
    std::size_t length = plain.size();
    if (!key || !context || EVP_PKEY_decrypt_init(context.get()) <= 0 ||
        EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) <= 0 ||
        EVP_PKEY_decrypt(context.get(), plain.data(), &length, ciphertext.data(), ciphertext.size()) <= 0)
        return failed;
    return std::string(plain.begin(), plain.begin() + static_cast<long>(length));
}
}  // namespace StoreTestKeys
