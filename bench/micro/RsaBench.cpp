// The handshake's two public-key operations: the server identity checked under the 1024-bit root
// key and the master secret encrypted under the 384-bit server key, by the library and by OpenSSL's
// big numbers from the same bytes.

#include <benchmark/benchmark.h>
#include <openssl/bn.h>

#include <algorithm>

#include "Inputs.h"
#include "Utils/RSA.h"
#include "Utils/RootKeys.h"

namespace {

using namespace MicroBench;
using VexlaLib::CRSA;
using VexlaLib::TByteArray;

const int SERVER_KEY_BITS = 384;
const int SECRET_LENGTH = 20;

struct SHandshakeInputs
{
    TByteArray exponent{VexlaLib::RSA_PUBLIC_EXPONENT,
                        VexlaLib::RSA_PUBLIC_EXPONENT + VexlaLib::RSA_PUBLIC_EXPONENT_LENGTH};
    TByteArray rootModulus{VexlaLib::ROOT_KEY_TEST_PRIMARY,
                           VexlaLib::ROOT_KEY_TEST_PRIMARY + VexlaLib::ROOT_KEY_LENGTH};
    TByteArray identity = ReadHexFile("tests/unit/crypto/data/test-server-identity.primary.hex");
    TByteArray secret = RandomBytes(SECRET_LENGTH, 3);
};

void RsaOurs(benchmark::State& state)
{
    const SHandshakeInputs inputs;
    for (auto _ : state) {
        const CRSA rootKey(VexlaLib::ROOT_KEY_BITS, inputs.exponent, inputs.rootModulus);
        const TByteArray serverModulus = CRSA::DecryptServerIdentity(inputs.identity, rootKey);
        const CRSA serverKey(SERVER_KEY_BITS, inputs.exponent, serverModulus);
        benchmark::DoNotOptimize(CRSA::EncryptSecret(inputs.secret, serverKey));
    }
}

// base^e mod m from big-endian bytes, written back as `length` big-endian bytes.
TByteArray OpenSSLPower(const TByteArray& base, const TByteArray& exponent, const TByteArray& modulus, int length,
                        BN_CTX* context)
{
    BIGNUM* b = BN_bin2bn(base.data(), int(base.size()), nullptr);
    BIGNUM* e = BN_bin2bn(exponent.data(), int(exponent.size()), nullptr);
    BIGNUM* m = BN_bin2bn(modulus.data(), int(modulus.size()), nullptr);
    BIGNUM* r = BN_new();
    BN_mod_exp(r, b, e, m, context);
    TByteArray out(size_t(length), 0);
    BN_bn2binpad(r, out.data(), length);
    BN_free(b);
    BN_free(e);
    BN_free(m);
    BN_free(r);
    return out;
}

void RsaOpenSSL(benchmark::State& state)
{
    const SHandshakeInputs inputs;
    // The signature block: the 128 bytes after "SK", a big-endian number.
    const TByteArray signature(inputs.identity.begin() + 2, inputs.identity.begin() + 2 + 128);
    const TByteArray serverModulus = CRSA::DecryptServerIdentity(
        inputs.identity, CRSA(VexlaLib::ROOT_KEY_BITS, inputs.exponent, inputs.rootModulus));
    const TByteArray block = CRSA::Encode(inputs.secret, 48);
    BN_CTX* context = BN_CTX_new();
    for (auto _ : state) {
        TByteArray recovered = OpenSSLPower(signature, inputs.exponent, inputs.rootModulus, 128, context);
        benchmark::DoNotOptimize(recovered.data());
        benchmark::DoNotOptimize(OpenSSLPower(block, inputs.exponent, serverModulus, 48, context));
    }
    BN_CTX_free(context);
}

}  // namespace

BENCHMARK(RsaOurs)->Name("rsa/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(RsaOpenSSL)->Name("rsa/openssl")->Unit(benchmark::kMicrosecond);
