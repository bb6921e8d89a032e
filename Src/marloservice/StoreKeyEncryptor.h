#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

typedef struct evp_pkey_st EVP_PKEY;

// Encrypts the account's e-mail and password for the store: RSA PKCS #1 v1.5 with the store's public
// key, in the Base64 form the store expects.
class CStoreKeyEncryptor
{
public:
    CStoreKeyEncryptor();
    ~CStoreKeyEncryptor();

    // Reads the store's RSA key, a DER SubjectPublicKeyInfo. False when the file is missing or
    // unreadable or holds no RSA public key.
    bool Load(const std::string& pub_key_path);

    // Encrypts text and returns the ciphertext in Base64. Nothing when no key is loaded, the text is
    // empty, or it is longer than the key size minus 11 bytes (what PKCS #1 v1.5 padding leaves).
    std::optional<std::string> rsa_encrypt_string(const std::string& text) const;

    // Standard Base64 with "=" padding, a line feed after every 64 characters and none at the end.
    static std::string base64(const unsigned char* data, std::size_t length);

private:
    struct CKeyDeleter
    {
        void operator()(EVP_PKEY* key) const;
    };
    std::unique_ptr<EVP_PKEY, CKeyDeleter> m_key;
};
