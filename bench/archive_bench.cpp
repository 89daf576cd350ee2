// Reading a 32 MB entry that is encrypted whole, through the archive reader,
// next to plain memcpy and OpenSSL's AES-256-CTR over the same bytes.
#include "ZULResourceUtilLib/ResArchive.h"
#include "tools/authoring/ArchiveWriter.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

namespace {

constexpr int64_t EntryLength = 32 << 20;

std::vector<uint8_t> RandomBytes(size_t length)
{
    std::vector<uint8_t> bytes(length);
    std::mt19937 generator(7);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(generator());
    return bytes;
}

// The archive file lives in the temporary folder for the whole run.
const std::filesystem::path& BenchArchive()
{
    static const std::filesystem::path path = [] {
        ArchiveOptions options;
        options.keySeed = 0x5EED;
        ArchiveWriter writer(options);
        writer.Add({ResTagPicture, 1, 3, RandomBytes(EntryLength)});
        writer.Add({ResTagPicture, 2, 2, RandomBytes(EntryLength)});
        const std::vector<uint8_t> bytes = writer.Build();
        const auto file = std::filesystem::temp_directory_path() / "kamishibai_bench.brsc";
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return file;
    }();
    return path;
}

void ReadEntry(benchmark::State& state, uint32_t id, AesEngine engine)
{
    AesSelectEngine(engine);
    ResArchive archive;
    if (ResOpen(archive, BenchArchive(), 0, ResArchiveKind) != 0) {
        state.SkipWithError("cannot open the benchmark archive");
        return;
    }
    const ResEntryLocation found = ResLocateEntry(archive, ResTagPicture, id);
    if (!found.Found()) {
        state.SkipWithError("the benchmark archive lacks the picture");
        return;
    }
    ResCursor cursor{*found.record, 0};
    std::vector<uint8_t> destination(EntryLength);
    for (auto _ : state) {
        ResCursorSeek(archive, cursor, 0);
        benchmark::DoNotOptimize(ResCursorRead(archive, cursor, destination.data(), EntryLength));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * EntryLength);
    AesSelectEngine(AesEngine::Automatic);
}

void BM_ResCursorRead_Whole(benchmark::State& state) { ReadEntry(state, 1, AesEngine::Automatic); }
void BM_ResCursorRead_Whole_TableEngine(benchmark::State& state) { ReadEntry(state, 1, AesEngine::Table); }
void BM_ResCursorRead_Interleaved(benchmark::State& state) { ReadEntry(state, 2, AesEngine::Automatic); }

void BM_Memcpy(benchmark::State& state)
{
    const std::vector<uint8_t> source = RandomBytes(EntryLength);
    std::vector<uint8_t> destination(EntryLength);
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), EntryLength);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * EntryLength);
}

void BM_OpenSslAes256Ctr(benchmark::State& state)
{
    const std::vector<uint8_t> source = RandomBytes(EntryLength);
    std::vector<uint8_t> destination(EntryLength + 16);
    const uint8_t key[32] = {1, 2, 3};
    const uint8_t counter[16] = {};
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    for (auto _ : state) {
        int produced = 0;
        EVP_EncryptInit_ex(context, EVP_aes_256_ctr(), nullptr, key, counter);
        EVP_EncryptUpdate(context, destination.data(), &produced, source.data(), static_cast<int>(EntryLength));
        benchmark::ClobberMemory();
    }
    EVP_CIPHER_CTX_free(context);
    state.SetBytesProcessed(state.iterations() * EntryLength);
}

} // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenSslAes256Ctr)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResCursorRead_Whole)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResCursorRead_Whole_TableEngine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResCursorRead_Interleaved)->Unit(benchmark::kMillisecond);
