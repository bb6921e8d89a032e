// RC4, CRC-32 and SHA-1 throughput: the library's next to OpenSSL's RC4 (legacy provider), zlib's
// crc32 and OpenSSL's SHA-1, on the same bytes.

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <zlib.h>

#include "Inputs.h"
#include "Utils/ARC4.h"
#include "Utils/CRC32.h"
#include "Utils/SHA1.h"

namespace {

using namespace MicroBench;

const std::vector<unsigned char> KEY(20, 0x5C);

// RC4 lives in OpenSSL's legacy provider; loading it alone would hide the default one.
class CProviders
{
public:
    CProviders() : m_legacy(OSSL_PROVIDER_load(nullptr, "legacy")), m_default(OSSL_PROVIDER_load(nullptr, "default"))
    {
    }
    ~CProviders()
    {
        for (OSSL_PROVIDER* provider : {m_legacy, m_default}) {
            if (provider) {
                OSSL_PROVIDER_unload(provider);
            }
        }
    }
    CProviders(const CProviders&) = delete;
    CProviders& operator=(const CProviders&) = delete;

private:
    OSSL_PROVIDER* m_legacy;
    OSSL_PROVIDER* m_default;
};

void Rc4Ours(benchmark::State& state)
{
    VexlaLib::TByteArray buffer = RandomBytes(size_t(state.range(0)));
    VexlaLib::CARC4 cipher(KEY);
    for (auto _ : state) {
        cipher.EncryptBytes(buffer.data(), 0, int(buffer.size()));
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void Rc4OpenSSL(benchmark::State& state)
{
    const CProviders providers;
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "RC4", nullptr);
    if (!cipher) {
        state.SkipWithError("no RC4 in this OpenSSL");
        return;
    }
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex2(context, cipher, nullptr, nullptr, nullptr);
    EVP_CIPHER_CTX_set_key_length(context, int(KEY.size()));
    EVP_EncryptInit_ex2(context, nullptr, KEY.data(), nullptr, nullptr);
    VexlaLib::TByteArray buffer = RandomBytes(size_t(state.range(0)));
    for (auto _ : state) {
        int length = 0;
        EVP_EncryptUpdate(context, buffer.data(), &length, buffer.data(), int(buffer.size()));
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
    EVP_CIPHER_CTX_free(context);
    EVP_CIPHER_free(cipher);
}

void Crc32Ours(benchmark::State& state)
{
    const VexlaLib::TByteArray buffer = RandomBytes(size_t(state.range(0)));
    for (auto _ : state) {
        VexlaLib::CCRC32 crc;
        crc.Update(buffer.data(), buffer.size());
        benchmark::DoNotOptimize(crc.GetCheckSum());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void Crc32Zlib(benchmark::State& state)
{
    const VexlaLib::TByteArray buffer = RandomBytes(size_t(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(crc32(0L, buffer.data(), uInt(buffer.size())));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void Sha1Ours(benchmark::State& state)
{
    const VexlaLib::TByteArray buffer = RandomBytes(size_t(state.range(0)));
    unsigned char digest[VexlaLib::CSHA1::DIGEST_LENGTH];
    for (auto _ : state) {
        VexlaLib::CSHA1::Calc(buffer.data(), int(buffer.size()), digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void Sha1OpenSSL(benchmark::State& state)
{
    const VexlaLib::TByteArray buffer = RandomBytes(size_t(state.range(0)));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    for (auto _ : state) {
        EVP_Digest(buffer.data(), buffer.size(), digest, &length, EVP_sha1(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(Rc4Ours)->Name("rc4/ours")->Arg(LARGE)->Arg(FRAME);
BENCHMARK(Rc4OpenSSL)->Name("rc4/openssl")->Arg(LARGE)->Arg(FRAME);
BENCHMARK(Crc32Ours)->Name("crc32/ours")->Arg(LARGE)->Arg(FRAME);
BENCHMARK(Crc32Zlib)->Name("crc32/zlib")->Arg(LARGE)->Arg(FRAME);
BENCHMARK(Sha1Ours)->Name("sha1/ours")->Arg(LARGE)->Arg(FRAME);
BENCHMARK(Sha1OpenSSL)->Name("sha1/openssl")->Arg(LARGE)->Arg(FRAME);
