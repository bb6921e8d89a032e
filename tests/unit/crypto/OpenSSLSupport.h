#pragma once

// Independent reference implementations for the crypto tests: OpenSSL's libcrypto and small helpers
// to read the key material kept beside the tests.

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Utils/BigInt.h"
#include "Utils/ByteArray.h"

namespace CryptoTest {

using VexlaLib::CBigInt;
using VexlaLib::TByteArray;

struct BignumFree {
    void operator()(BIGNUM* bn) const { BN_free(bn); }
};
typedef std::unique_ptr<BIGNUM, BignumFree> TBignum;

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
typedef std::unique_ptr<EVP_PKEY, PkeyFree> TPkey;

inline TByteArray FromHex(const std::string& text) {
    TByteArray bytes;
    for (size_t n = 0; n + 1 < text.size(); n += 2) {
        bytes.push_back(static_cast<unsigned char>(std::stoi(text.substr(n, 2), nullptr, 16)));
    }
    return bytes;
}

inline std::string SourcePath(const std::string& relative) {
    return std::string(VEXLA_SOURCE_DIR) + "/" + relative;
}

inline TByteArray ReadHexFile(const std::string& relative) {
    std::ifstream file(SourcePath(relative));
    std::string text;
    file >> text;
    if (text.empty()) {
        throw std::runtime_error("missing test data " + relative);
    }
    return FromHex(text);
}

inline TPkey ReadPrivateKey(const std::string& relative) {
    FILE* file = fopen(SourcePath(relative).c_str(), "r");
    if (!file) {
        throw std::runtime_error("missing key " + relative);
    }
    EVP_PKEY* key = PEM_read_PrivateKey(file, nullptr, nullptr, nullptr);
    fclose(file);
    return TPkey(key);
}

inline TBignum NewBignum() {
    return TBignum(BN_new());
}

// Reads two's-complement big-endian bytes the way the protocol defines them.
inline TBignum BignumFromTwosComplement(const TByteArray& bytes) {
    TBignum value(BN_bin2bn(bytes.data(), int(bytes.size()), nullptr));
    if (!bytes.empty() && (bytes[0] & 0x80)) {
        TBignum power = NewBignum();
        BN_set_bit(power.get(), int(8 * bytes.size()));
        BN_sub(value.get(), value.get(), power.get());
    }
    return value;
}

inline TBignum ToBignum(const CBigInt& value) {
    return BignumFromTwosComplement(value.ToByteArray());
}

inline CBigInt FromBignum(const BIGNUM* value) {
    TByteArray magnitude(BN_num_bytes(value));
    BN_bn2bin(value, magnitude.data());
    return CBigInt(BN_is_negative(value) ? -1 : 1, magnitude);
}

inline std::string ToDecimal(const BIGNUM* value) {
    char* text = BN_bn2dec(value);
    std::string result(text);
    OPENSSL_free(text);
    return result;
}

}  // namespace CryptoTest
