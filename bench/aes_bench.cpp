// Counter-mode throughput: the archive decrypts entry data in place with
// AesCryptAt, so that is what is measured, for each engine, next to
// OpenSSL's counter mode and a plain memcpy of the same size as yardsticks.

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "ZULResourceUtilLib/AESUnit.h"

namespace {

constexpr size_t kBufferBytes = size_t{32} << 20;

struct CounterSetup {
    CounterSetup() : buffer(kBufferBytes)
    {
        std::mt19937 generator(1);
        for (auto& byte : keyBytes) {
            byte = static_cast<uint8_t>(generator());
        }
        for (auto& byte : iv) {
            byte = static_cast<uint8_t>(generator());
        }
        for (auto& byte : mask) {
            byte = static_cast<uint8_t>(generator() | 0x0F);
        }
        for (auto& byte : buffer) {
            byte = static_cast<uint8_t>(generator());
        }
        AesMakeKey(&key, AesDirectionDecrypt, 256, keyBytes);
        AesCipherInit(&cipher, AesModeCounter, iv);
    }

    uint8_t keyBytes[32];
    uint8_t iv[16];
    uint8_t mask[16];
    std::vector<uint8_t> buffer;
    AesKey key;
    AesCipher cipher;
};

void CryptAt(benchmark::State& state, AesEngine engine, bool masked)
{
    if (engine == AesEngine::Hardware && !AesHardwareAvailable()) {
        state.SkipWithError("no AES-NI on this processor");
        return;
    }
    CounterSetup setup;
    AesSelectEngine(engine);
    for (auto _ : state) {
        AesCryptAt(&setup.cipher, &setup.key, setup.buffer.data(), 0, static_cast<int64_t>(kBufferBytes),
                   setup.buffer.data(), masked ? setup.mask : nullptr);
        benchmark::ClobberMemory();
    }
    AesSelectEngine(AesEngine::Automatic);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBufferBytes));
}

void OpensslCounter(benchmark::State& state)
{
    CounterSetup setup;
    // The same counter block as the archive's: nonce, then block number 0.
    uint8_t counterBlock[16] = {};
    for (int i = 0; i < 8; ++i) {
        counterBlock[i] = static_cast<uint8_t>(setup.iv[i] ^ setup.iv[i + 8]);
    }
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(),
                                                                            &EVP_CIPHER_CTX_free);
    for (auto _ : state) {
        EVP_EncryptInit_ex(context.get(), EVP_aes_256_ctr(), nullptr, setup.keyBytes, counterBlock);
        int written = 0;
        EVP_EncryptUpdate(context.get(), setup.buffer.data(), &written, setup.buffer.data(),
                          static_cast<int>(kBufferBytes));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBufferBytes));
}

void Memcpy(benchmark::State& state)
{
    std::vector<uint8_t> source(kBufferBytes, 0x5A);
    std::vector<uint8_t> target(kBufferBytes);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), kBufferBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBufferBytes));
}

}  // namespace

BENCHMARK_CAPTURE(CryptAt, Table, AesEngine::Table, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CryptAt, Hardware, AesEngine::Hardware, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CryptAt, HardwareMasked, AesEngine::Hardware, true)->Unit(benchmark::kMillisecond);
BENCHMARK(OpensslCounter)->Unit(benchmark::kMillisecond);
BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond);
