// Measures RC4 and CRC-32 throughput over 64 MiB: the library's CARC4 and CCRC32 next to OpenSSL's
// RC4 (from the legacy provider in OpenSSL 3) and zlib's crc32. Build in Release for meaningful numbers.

#include <openssl/evp.h>
#include <openssl/provider.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "Utils/ARC4.h"
#include "Utils/CRC32.h"

namespace {

const size_t BUFFER_SIZE = 64u << 20;

void Report(const char* name, const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    printf("%-22s %8.1f MiB/s  (%.3f s)\n", name, (BUFFER_SIZE >> 20) / elapsed.count(), elapsed.count());
}

// OpenSSL's RC4 over the buffer; false when this OpenSSL offers no RC4.
bool OpenSSLRc4(const std::vector<unsigned char>& key, std::vector<unsigned char>& buffer) {
    OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER* base = OSSL_PROVIDER_load(nullptr, "default");
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "RC4", nullptr);
    bool available = cipher != nullptr;
    if (available) {
        EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
        EVP_EncryptInit_ex2(context, cipher, nullptr, nullptr, nullptr);
        EVP_CIPHER_CTX_set_key_length(context, int(key.size()));
        EVP_EncryptInit_ex2(context, nullptr, key.data(), nullptr, nullptr);
        Report("OpenSSL RC4", [&] {
            int length = 0;
            EVP_EncryptUpdate(context, buffer.data(), &length, buffer.data(), int(buffer.size()));
        });
        EVP_CIPHER_CTX_free(context);
        EVP_CIPHER_free(cipher);
    }
    if (legacy) OSSL_PROVIDER_unload(legacy);
    if (base) OSSL_PROVIDER_unload(base);
    return available;
}

}  // namespace

int main() {
    std::vector<unsigned char> buffer(BUFFER_SIZE);
    std::mt19937 random(1);
    for (auto& byte : buffer) byte = static_cast<unsigned char>(random());
    const std::vector<unsigned char> key(20, 0x5C);

    VexlaLib::CARC4 cipher(key);
    Report("CARC4::EncryptBytes", [&] { cipher.EncryptBytes(buffer.data(), 0, int(buffer.size())); });
    if (!OpenSSLRc4(key, buffer)) {
        printf("%-22s not available in this OpenSSL\n", "OpenSSL RC4");
    }

    uint32_t ours = 0;
    uLong theirs = 0;
    Report("CCRC32::Update", [&] {
        VexlaLib::CCRC32 crc;
        crc.Update(buffer.data(), buffer.size());
        ours = crc.GetCheckSum();
    });
    Report("zlib crc32", [&] { theirs = crc32(crc32(0L, Z_NULL, 0), buffer.data(), uInt(buffer.size())); });
    if (ours != theirs) {
        printf("checksums differ: %08x %08lx\n", ours, theirs);
        return 1;
    }
    return 0;
}
