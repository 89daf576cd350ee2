#include "ZULResourceUtilLib/AESUnit.h"

#include "tests/support/TestBytes.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

AesKey MakeKey(int direction, const Bytes& keyBytes)
{
    AesKey key;
    EXPECT_EQ(AesMakeKey(&key, direction, static_cast<int>(keyBytes.size() * 8), keyBytes.data()), 1);
    return key;
}

AesCipher MakeCipher(int mode, const Bytes& iv)
{
    AesCipher cipher;
    EXPECT_EQ(AesCipherInit(&cipher, mode, iv.data()), 1);
    return cipher;
}

// --- OpenSSL, the independent AES the results are held against -------------

const EVP_CIPHER* OpensslCipher(const std::string& mode, size_t keyBits)
{
    const std::string name = "aes-" + std::to_string(keyBits) + "-" + mode;
    const EVP_CIPHER* cipher = EVP_get_cipherbyname(name.c_str());
    EXPECT_NE(cipher, nullptr) << name;
    return cipher;
}

Bytes OpensslEncrypt(const std::string& mode, const Bytes& key, const Bytes& iv, const Bytes& data, bool padding)
{
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(),
                                                                            &EVP_CIPHER_CTX_free);
    EXPECT_EQ(EVP_EncryptInit_ex(context.get(), OpensslCipher(mode, key.size() * 8), nullptr, key.data(),
                                 iv.empty() ? nullptr : iv.data()),
              1);
    EVP_CIPHER_CTX_set_padding(context.get(), padding ? 1 : 0);
    Bytes out(data.size() + 32);
    int written = 0;
    int finalWritten = 0;
    EXPECT_EQ(EVP_EncryptUpdate(context.get(), out.data(), &written, data.data(), static_cast<int>(data.size())), 1);
    EXPECT_EQ(EVP_EncryptFinal_ex(context.get(), out.data() + written, &finalWritten), 1);
    out.resize(static_cast<size_t>(written + finalWritten));
    return out;
}

Bytes CounterBlock(const Bytes& iv, uint64_t blockNumber)
{
    Bytes block(16);
    for (int i = 0; i < 8; ++i) {
        block[i] = static_cast<uint8_t>(iv[i] ^ iv[i + 8]);
        block[8 + i] = static_cast<uint8_t>(blockNumber >> (56 - 8 * i));
    }
    return block;
}

// Keystream of OpenSSL's counter mode from the given block number on.
Bytes OpensslKeystream(const Bytes& key, const Bytes& iv, uint64_t firstBlock, size_t blocks)
{
    return OpensslEncrypt("ctr", key, CounterBlock(iv, firstBlock), Bytes(blocks * 16, 0), false);
}

// The counter-mode result for the bytes at positions offset.. of a sequence,
// each keystream byte ANDed with the mask byte of its position in the block.
Bytes ExpectedCounterRange(const Bytes& key, const Bytes& iv, uint64_t offset, const Bytes& data,
                           const uint8_t* mask)
{
    const uint64_t firstBlock = offset / 16;
    const size_t skip = offset % 16;
    const Bytes keystream = OpensslKeystream(key, iv, firstBlock, (skip + data.size() + 15) / 16);
    Bytes out(data.size());
    for (size_t i = 0; i < data.size(); ++i) {
        const uint8_t maskByte = mask == nullptr ? 0xFF : mask[(offset + i) % 16];
        out[i] = static_cast<uint8_t>(data[i] ^ (keystream[skip + i] & maskByte));
    }
    return out;
}

// --- An equivalent inverse cipher, written here from the field arithmetic,
// to show that the direction-1 schedule really decrypts. ---------------------

uint8_t Times(uint8_t a, uint8_t b)
{
    uint8_t product = 0;
    for (; b != 0; b >>= 1) {
        if (b & 1) {
            product ^= a;
        }
        a = static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0));
    }
    return product;
}

std::array<uint8_t, 256> InverseSbox()
{
    std::array<uint8_t, 256> inverseSbox{};
    for (int x = 0; x < 256; ++x) {
        uint8_t inverse = 0;
        for (int c = 1; c < 256 && x != 0; ++c) {
            if (Times(static_cast<uint8_t>(x), static_cast<uint8_t>(c)) == 1) {
                inverse = static_cast<uint8_t>(c);
            }
        }
        uint8_t s = 0x63;
        for (int bit = 0; bit < 8; ++bit) {
            const int value = ((inverse >> bit) ^ (inverse >> ((bit + 4) % 8)) ^ (inverse >> ((bit + 5) % 8)) ^
                               (inverse >> ((bit + 6) % 8)) ^ (inverse >> ((bit + 7) % 8))) &
                              1;
            s = static_cast<uint8_t>(s ^ (value << bit));
        }
        inverseSbox[s] = static_cast<uint8_t>(x);
    }
    return inverseSbox;
}

Bytes EquivalentInverseDecrypt(const AesKey& key, const Bytes& ciphertext)
{
    static const std::array<uint8_t, 256> inverseSbox = InverseSbox();
    uint8_t state[16];
    auto addRoundKey = [&](int round) {
        for (int i = 0; i < 16; ++i) {
            state[i] ^= static_cast<uint8_t>(key.roundKeys[4 * round + i / 4] >> (24 - 8 * (i % 4)));
        }
    };
    auto inverseSubShift = [&] {
        uint8_t shifted[16];
        for (int column = 0; column < 4; ++column) {
            for (int row = 0; row < 4; ++row) {
                shifted[4 * ((column + row) % 4) + row] = inverseSbox[state[4 * column + row]];
            }
        }
        std::memcpy(state, shifted, 16);
    };
    std::memcpy(state, ciphertext.data(), 16);
    addRoundKey(0);
    for (int round = 1; round < key.rounds; ++round) {
        inverseSubShift();
        for (int column = 0; column < 4; ++column) {
            const uint8_t* a = state + 4 * column;
            const uint8_t mixed[4] = {
                static_cast<uint8_t>(Times(a[0], 14) ^ Times(a[1], 11) ^ Times(a[2], 13) ^ Times(a[3], 9)),
                static_cast<uint8_t>(Times(a[0], 9) ^ Times(a[1], 14) ^ Times(a[2], 11) ^ Times(a[3], 13)),
                static_cast<uint8_t>(Times(a[0], 13) ^ Times(a[1], 9) ^ Times(a[2], 14) ^ Times(a[3], 11)),
                static_cast<uint8_t>(Times(a[0], 11) ^ Times(a[1], 13) ^ Times(a[2], 9) ^ Times(a[3], 14))};
            std::memcpy(state + 4 * column, mixed, 4);
        }
        addRoundKey(round);
    }
    inverseSubShift();
    addRoundKey(key.rounds);
    return Bytes(state, state + 16);
}

// --- Published vectors --------------------------------------------------------

struct PublishedVector {
    const char* name;
    const char* key;
    const char* plaintext;
    const char* ciphertext;
    uint32_t lastScheduleWord;  // last word of the key expansion
};

// The block vectors of the AES standard's appendix C, each with the last
// expanded key word from appendix A for the key of that appendix.
const PublishedVector kBlockVectors[] = {
    {"C1_Aes128", "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a", 0},
    {"C2_Aes192", "000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
     "dda97ca4864cdfe06eaf70a0ec0d7191", 0},
    {"C3_Aes256", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089", 0},
};

const PublishedVector kExpansionVectors[] = {
    {"A1_Aes128", "2b7e151628aed2a6abf7158809cf4f3c", "", "", 0xb6630ca6u},
    {"A2_Aes192", "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b", "", "", 0x01002202u},
    {"A3_Aes256", "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4", "", "", 0x706c631eu},
};

TEST(AesPublishedVectors, BlockEncryptionMatchesStandardForEveryKeySize)
{
    for (const auto& vector : kBlockVectors) {
        SCOPED_TRACE(vector.name);
        // An exact-size key buffer: the key set-up must not read beyond it.
        const Bytes keyBytes = FromHex(vector.key);
        const Bytes plaintext = FromHex(vector.plaintext);
        for (int direction : {0, 1}) {
            const AesKey key = MakeKey(direction, keyBytes);
            EXPECT_EQ(key.rounds, static_cast<int>(keyBytes.size() / 4 + 6));
            uint8_t out[16];
            AesEncryptBlock(key, plaintext.data(), out);
            EXPECT_EQ(ToHex(out, 16), vector.ciphertext) << "direction " << direction;
        }
        const AesKey key = MakeKey(0, keyBytes);
        const AesCipher ecb = MakeCipher(AesModeEcb, Bytes(16, 0));
        uint8_t out[16];
        EXPECT_EQ(AesBlockCrypt(&ecb, &key, plaintext.data(), 128, out), 128);
        EXPECT_EQ(ToHex(out, 16), vector.ciphertext);
    }
}

TEST(AesPublishedVectors, KeyExpansionEndsWithStandardWord)
{
    for (const auto& vector : kExpansionVectors) {
        SCOPED_TRACE(vector.name);
        const Bytes keyBytes = FromHex(vector.key);
        const AesKey key = MakeKey(0, keyBytes);
        const int lastWord = 4 * (key.rounds + 1) - 1;
        EXPECT_EQ(key.encryptionRoundKeys[lastWord], vector.lastScheduleWord);
        EXPECT_EQ(0, std::memcmp(key.roundKeys, key.encryptionRoundKeys, sizeof key.roundKeys));
        // The first words are the key itself, big-endian.
        EXPECT_EQ(key.encryptionRoundKeys[0], (uint32_t{keyBytes[0]} << 24) | (uint32_t{keyBytes[1]} << 16) |
                                                  (uint32_t{keyBytes[2]} << 8) | keyBytes[3]);
    }
}

TEST(AesPublishedVectors, DecryptionScheduleRunsTheEquivalentInverseCipher)
{
    for (const auto& vector : kBlockVectors) {
        SCOPED_TRACE(vector.name);
        const AesKey key = MakeKey(AesDirectionDecrypt, FromHex(vector.key));
        EXPECT_EQ(ToHex(EquivalentInverseDecrypt(key, FromHex(vector.ciphertext)).data(), 16), vector.plaintext);
    }
}

TEST(AesKeySetup, MissingKeyBytesMeanAllZeroKey)
{
    AesKey fromNull;
    ASSERT_EQ(AesMakeKey(&fromNull, 0, 256, nullptr), 1);
    const AesKey fromZeros = MakeKey(0, Bytes(32, 0));
    EXPECT_EQ(0, std::memcmp(fromNull.encryptionRoundKeys, fromZeros.encryptionRoundKeys,
                             sizeof fromNull.encryptionRoundKeys));

    // A key set up again over an old one keeps nothing of it.
    AesKey reused = MakeKey(1, Bytes(32, 0xAB));
    ASSERT_EQ(AesMakeKey(&reused, 0, 128, nullptr), 1);
    const AesKey fresh = MakeKey(0, Bytes(16, 0));
    EXPECT_EQ(0, std::memcmp(&reused.roundKeys, &fresh.roundKeys, sizeof reused.roundKeys));
    EXPECT_EQ(0, std::memcmp(&reused.encryptionRoundKeys, &fresh.encryptionRoundKeys, sizeof reused.roundKeys));
}

// --- Return codes ---------------------------------------------------------------

struct ReturnCodeCase {
    const char* name;
    std::function<int64_t()> call;
    int64_t expected;
};

TEST(AesReturnCodes, EveryEntryPointReportsAsDescribed)
{
    const Bytes keyBytes(32, 7);
    static AesKey encryptKey;
    static AesKey decryptKey;
    AesMakeKey(&encryptKey, 0, 256, keyBytes.data());
    AesMakeKey(&decryptKey, 1, 256, keyBytes.data());
    static const AesKey neverSetUp;
    static AesCipher ecb, cbc, cfb, ctr, unknownMode;
    AesCipherInit(&ecb, AesModeEcb, nullptr);
    AesCipherInit(&cbc, AesModeCbc, nullptr);
    AesCipherInit(&cfb, AesModeCfb1, nullptr);
    AesCipherInit(&ctr, AesModeCounter, nullptr);
    unknownMode.mode = 9;
    static uint8_t in[64];
    static uint8_t out[80];
    AesKey scratchKey;
    AesCipher scratchCipher;

    const ReturnCodeCase cases[] = {
        {"MakeKey ok", [&] { return AesMakeKey(&scratchKey, 1, 256, keyBytes.data()); }, 1},
        {"MakeKey 128", [&] { return AesMakeKey(&scratchKey, 0, 128, keyBytes.data()); }, 1},
        {"MakeKey 192", [&] { return AesMakeKey(&scratchKey, 0, 192, keyBytes.data()); }, 1},
        {"MakeKey null key", [&] { return AesMakeKey(nullptr, 0, 256, keyBytes.data()); }, -3},
        {"MakeKey null key, bad direction", [&] { return AesMakeKey(nullptr, 2, 100, nullptr); }, -3},
        {"MakeKey direction 2", [&] { return AesMakeKey(&scratchKey, 2, 256, keyBytes.data()); }, -1},
        {"MakeKey direction -1", [&] { return AesMakeKey(&scratchKey, -1, 256, keyBytes.data()); }, -1},
        {"MakeKey bad direction and bits", [&] { return AesMakeKey(&scratchKey, 3, 64, keyBytes.data()); }, -1},
        {"MakeKey 64 bits", [&] { return AesMakeKey(&scratchKey, 0, 64, keyBytes.data()); }, -2},
        {"MakeKey 0 bits", [&] { return AesMakeKey(&scratchKey, 0, 0, keyBytes.data()); }, -2},
        {"MakeKey 512 bits", [&] { return AesMakeKey(&scratchKey, 0, 512, keyBytes.data()); }, -2},

        {"CipherInit mode 1", [&] { return AesCipherInit(&scratchCipher, 1, nullptr); }, 1},
        {"CipherInit mode 4", [&] { return AesCipherInit(&scratchCipher, 4, in); }, 1},
        {"CipherInit mode 0", [&] { return AesCipherInit(&scratchCipher, 0, nullptr); }, -4},
        {"CipherInit mode 5", [&] { return AesCipherInit(&scratchCipher, 5, nullptr); }, -4},
        {"CipherInit null cipher", [&] { return AesCipherInit(nullptr, 4, nullptr); }, -5},

        {"BlockCrypt ECB 2 blocks", [&] { return AesBlockCrypt(&ecb, &encryptKey, in, 256, out); }, 256},
        {"BlockCrypt whole blocks only", [&] { return AesBlockCrypt(&cbc, &encryptKey, in, 383, out); }, 256},
        {"BlockCrypt CFB", [&] { return AesBlockCrypt(&cfb, &encryptKey, in, 128, out); }, 128},
        {"BlockCrypt counter, decrypt key", [&] { return AesBlockCrypt(&ctr, &decryptKey, in, 512, out); }, 512},
        {"BlockCrypt under one block", [&] { return AesBlockCrypt(&ecb, &encryptKey, in, 127, out); }, 0},
        {"BlockCrypt length 0", [&] { return AesBlockCrypt(&ecb, &encryptKey, in, 0, out); }, 0},
        {"BlockCrypt negative length", [&] { return AesBlockCrypt(&ecb, &encryptKey, in, -128, out); }, 0},
        {"BlockCrypt null input", [&] { return AesBlockCrypt(&ecb, &encryptKey, nullptr, 128, out); }, 0},
        {"BlockCrypt null output", [&] { return AesBlockCrypt(&ecb, &encryptKey, in, 128, nullptr); }, 0},
        {"BlockCrypt null cipher", [&] { return AesBlockCrypt(nullptr, &encryptKey, in, 128, out); }, -5},
        {"BlockCrypt null key", [&] { return AesBlockCrypt(&ecb, nullptr, in, 128, out); }, -5},
        {"BlockCrypt key never set up", [&] { return AesBlockCrypt(&ecb, &neverSetUp, in, 128, out); }, -5},
        {"BlockCrypt ECB, decrypt key", [&] { return AesBlockCrypt(&ecb, &decryptKey, in, 128, out); }, -5},
        {"BlockCrypt CBC, decrypt key", [&] { return AesBlockCrypt(&cbc, &decryptKey, in, 128, out); }, -5},
        {"BlockCrypt CFB, decrypt key", [&] { return AesBlockCrypt(&cfb, &decryptKey, in, 128, out); }, -5},
        {"BlockCrypt unknown mode", [&] { return AesBlockCrypt(&unknownMode, &encryptKey, in, 128, out); }, -5},

        {"CryptBuffer ECB 32 -> 48", [&] { return AesCryptBuffer(&ecb, &encryptKey, in, 32, out); }, 48},
        {"CryptBuffer CBC 15 -> 16", [&] { return AesCryptBuffer(&cbc, &encryptKey, in, 15, out); }, 16},
        {"CryptBuffer CBC 17 -> 32", [&] { return AesCryptBuffer(&cbc, &encryptKey, in, 17, out); }, 32},
        {"CryptBuffer counter 28", [&] { return AesCryptBuffer(&ctr, &decryptKey, in, 28, out); }, 28},
        {"CryptBuffer counter, encrypt key", [&] { return AesCryptBuffer(&ctr, &encryptKey, in, 3, out); }, 3},
        {"CryptBuffer length 0", [&] { return AesCryptBuffer(&ecb, &encryptKey, in, 0, out); }, 0},
        {"CryptBuffer negative length", [&] { return AesCryptBuffer(&ctr, &encryptKey, in, -1, out); }, 0},
        {"CryptBuffer null input", [&] { return AesCryptBuffer(&ctr, &encryptKey, nullptr, 16, out); }, 0},
        {"CryptBuffer CFB", [&] { return AesCryptBuffer(&cfb, &encryptKey, in, 16, out); }, -5},
        {"CryptBuffer ECB, decrypt key", [&] { return AesCryptBuffer(&ecb, &decryptKey, in, 16, out); }, -5},
        {"CryptBuffer null cipher", [&] { return AesCryptBuffer(nullptr, &encryptKey, in, 16, out); }, -5},
        {"CryptBuffer null key", [&] { return AesCryptBuffer(&ecb, nullptr, in, 16, out); }, -5},
        {"CryptBuffer unknown mode", [&] { return AesCryptBuffer(&unknownMode, &encryptKey, in, 16, out); }, -5},
        {"CryptBuffer padded size too large",
         [&] { return AesCryptBuffer(&ecb, &encryptKey, in, INT64_MAX - 8, out); }, -5},

        {"CryptAt", [&] { return AesCryptAt(&ctr, &decryptKey, in, 5, 16, out, nullptr); }, 16},
        {"CryptAt with mask", [&] { return AesCryptAt(&ctr, &decryptKey, in, 0xFFFFFFFFu, 64, out, in); }, 64},
        {"CryptAt length 0", [&] { return AesCryptAt(&ctr, &decryptKey, in, 5, 0, out, nullptr); }, 0},
        {"CryptAt negative length", [&] { return AesCryptAt(&ctr, &decryptKey, in, 5, -4, out, nullptr); }, 0},
        {"CryptAt null input", [&] { return AesCryptAt(&ctr, &decryptKey, nullptr, 5, 4, out, nullptr); }, 0},
        {"CryptAt ECB", [&] { return AesCryptAt(&ecb, &encryptKey, in, 0, 16, out, nullptr); }, -5},
        {"CryptAt ECB, length 0", [&] { return AesCryptAt(&ecb, &encryptKey, in, 0, 0, out, nullptr); }, -5},
        {"CryptAt null cipher", [&] { return AesCryptAt(nullptr, &decryptKey, in, 0, 16, out, nullptr); }, -5},
        {"CryptAt null key", [&] { return AesCryptAt(&ctr, nullptr, in, 0, 16, out, nullptr); }, -5},
        {"CryptAt key never set up", [&] { return AesCryptAt(&ctr, &neverSetUp, in, 0, 16, out, nullptr); }, -5},

        {"CryptFromBlock", [&] { return AesCryptFromBlock(&ctr, &decryptKey, in, 1, 20, out); }, 20},
        {"CryptFromBlock CBC", [&] { return AesCryptFromBlock(&cbc, &encryptKey, in, 1, 20, out); }, -5},
        {"CryptFromBlock length 0", [&] { return AesCryptFromBlock(&ctr, &decryptKey, in, 1, 0, out); }, 0},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(testCase.call(), testCase.expected) << testCase.name;
    }
}

// --- Block modes against OpenSSL -------------------------------------------------

const size_t kKeySizes[] = {16, 24, 32};

TEST(AesBlockModes, PaddedEcbAndCbcMatchOpenssl)
{
    std::mt19937 generator(11);
    for (size_t keySize : kKeySizes) {
        const Bytes keyBytes = RandomBytes(generator, keySize);
        const Bytes iv = RandomBytes(generator, 16);
        const AesKey key = MakeKey(0, keyBytes);
        for (size_t length : {1, 15, 16, 17, 31, 32, 33, 100}) {
            const Bytes data = RandomBytes(generator, length);
            for (const auto& [mode, name] : {std::pair{AesModeEcb, "ecb"}, std::pair{AesModeCbc, "cbc"}}) {
                SCOPED_TRACE(std::string(name) + " key " + std::to_string(keySize * 8) + " length " +
                             std::to_string(length));
                const AesCipher cipher = MakeCipher(mode, iv);
                const Bytes expected = OpensslEncrypt(name, keyBytes, mode == AesModeEcb ? Bytes{} : iv, data, true);
                // Output exactly as large as promised: 16 × (whole blocks + 1).
                Bytes out(16 * (length / 16 + 1));
                ASSERT_EQ(AesCryptBuffer(&cipher, &key, data.data(), static_cast<int64_t>(length), out.data()),
                          static_cast<int64_t>(out.size()));
                EXPECT_EQ(out, expected);

                // In place, in a buffer holding the padded size.
                Bytes inPlace = data;
                inPlace.resize(out.size());
                AesCryptBuffer(&cipher, &key, inPlace.data(), static_cast<int64_t>(length), inPlace.data());
                EXPECT_EQ(inPlace, expected);
            }
        }
    }
}

TEST(AesBlockModes, ThirtyTwoBytesInEcbGainAFullPadBlock)
{
    std::mt19937 generator(12);
    const Bytes keyBytes = RandomBytes(generator, 32);
    const AesKey key = MakeKey(0, keyBytes);
    const AesCipher cipher = MakeCipher(AesModeEcb, Bytes(16, 0));
    const Bytes data = RandomBytes(generator, 32);
    Bytes out(48 + 16, 0xEE);
    ASSERT_EQ(AesCryptBuffer(&cipher, &key, data.data(), 32, out.data()), 48);
    EXPECT_EQ(Bytes(out.begin() + 48, out.end()), Bytes(16, 0xEE)) << "wrote past 48 bytes";

    // Undo the encryption without padding: the data, then sixteen 16s.
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(),
                                                                            &EVP_CIPHER_CTX_free);
    ASSERT_EQ(EVP_DecryptInit_ex(context.get(), EVP_aes_256_ecb(), nullptr, keyBytes.data(), nullptr), 1);
    EVP_CIPHER_CTX_set_padding(context.get(), 0);
    Bytes plain(48);
    int written = 0;
    ASSERT_EQ(EVP_DecryptUpdate(context.get(), plain.data(), &written, out.data(), 48), 1);
    ASSERT_EQ(written, 48);
    EXPECT_EQ(Bytes(plain.begin(), plain.begin() + 32), data);
    EXPECT_EQ(Bytes(plain.begin() + 32, plain.end()), Bytes(16, 16));
}

TEST(AesBlockModes, OneBitCfbMatchesOpensslAndKeepsNoState)
{
    std::mt19937 generator(13);
    for (size_t keySize : kKeySizes) {
        SCOPED_TRACE(keySize * 8);
        const Bytes keyBytes = RandomBytes(generator, keySize);
        const Bytes iv = RandomBytes(generator, 16);
        const AesKey key = MakeKey(0, keyBytes);
        const AesCipher cipher = MakeCipher(AesModeCfb1, iv);
        const Bytes data = RandomBytes(generator, 48);
        const Bytes expected = OpensslEncrypt("cfb1", keyBytes, iv, data, false);

        Bytes out(48);
        ASSERT_EQ(AesBlockCrypt(&cipher, &key, data.data(), 48 * 8, out.data()), 48 * 8);
        EXPECT_EQ(out, expected);
        // Every call starts again from the IV.
        Bytes again(48);
        AesBlockCrypt(&cipher, &key, data.data(), 48 * 8, again.data());
        EXPECT_EQ(again, expected);
        EXPECT_EQ(Bytes(cipher.iv, cipher.iv + 16), iv);
    }
}

TEST(AesBlockModes, UnpaddedEcbAndCbcMatchOpenssl)
{
    std::mt19937 generator(14);
    const Bytes keyBytes = RandomBytes(generator, 32);
    const Bytes iv = RandomBytes(generator, 16);
    const AesKey key = MakeKey(0, keyBytes);
    const Bytes data = RandomBytes(generator, 64);
    for (const auto& [mode, name] : {std::pair{AesModeEcb, "ecb"}, std::pair{AesModeCbc, "cbc"}}) {
        SCOPED_TRACE(name);
        const AesCipher cipher = MakeCipher(mode, iv);
        Bytes out(64);
        // 70 bytes' worth of bits: only the four whole blocks.
        ASSERT_EQ(AesBlockCrypt(&cipher, &key, data.data(), 64 * 8 + 7, out.data()), 64 * 8);
        EXPECT_EQ(out, OpensslEncrypt(name, keyBytes, mode == AesModeEcb ? Bytes{} : iv, data, false));
    }
}

// --- Counter mode, once per engine ------------------------------------------------

class AesCounterMode : public ::testing::TestWithParam<AesEngine> {
protected:
    void SetUp() override
    {
        if (GetParam() == AesEngine::Hardware && !AesHardwareAvailable()) {
            GTEST_SKIP() << "no AES-NI on this processor";
        }
        AesSelectEngine(GetParam());
        std::mt19937 generator(21);
        keyBytes = RandomBytes(generator, 32);
        iv = RandomBytes(generator, 16);
        AesMakeKey(&key, AesDirectionDecrypt, 256, keyBytes.data());
        AesCipherInit(&cipher, AesModeCounter, iv.data());
    }
    void TearDown() override { AesSelectEngine(AesEngine::Automatic); }

    Bytes keyBytes;
    Bytes iv;
    AesKey key;
    AesCipher cipher;
};

TEST_P(AesCounterMode, BufferMatchesOpensslForEveryKeySizeAndLength)
{
    std::mt19937 generator(22);
    for (size_t keySize : kKeySizes) {
        const Bytes localKeyBytes = RandomBytes(generator, keySize);
        AesKey localKey;
        ASSERT_EQ(AesMakeKey(&localKey, AesDirectionDecrypt, static_cast<int>(keySize * 8), localKeyBytes.data()),
                  1);
        for (size_t length : {1, 15, 16, 17, 28, 127, 128, 129, 143, 1000, 4099}) {
            SCOPED_TRACE("key " + std::to_string(keySize * 8) + " length " + std::to_string(length));
            const Bytes data = RandomBytes(generator, length);
            const Bytes expected = ExpectedCounterRange(localKeyBytes, iv, 0, data, nullptr);
            Bytes out(length + 16, 0xEE);
            ASSERT_EQ(AesCryptBuffer(&cipher, &localKey, data.data(), static_cast<int64_t>(length), out.data()),
                      static_cast<int64_t>(length));
            EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(length)), expected);
            EXPECT_EQ(Bytes(out.end() - 16, out.end()), Bytes(16, 0xEE)) << "wrote past the length";

            Bytes inPlace = data;
            AesCryptBuffer(&cipher, &localKey, inPlace.data(), static_cast<int64_t>(length), inPlace.data());
            EXPECT_EQ(inPlace, expected);
        }
    }
}

TEST_P(AesCounterMode, BlockCryptEqualsBufferOnWholeBlocks)
{
    std::mt19937 generator(23);
    const Bytes data = RandomBytes(generator, 160);
    Bytes viaBlocks(160);
    Bytes viaBuffer(160);
    // 1,290 bits: ten whole blocks.
    ASSERT_EQ(AesBlockCrypt(&cipher, &key, data.data(), 1290, viaBlocks.data()), 1280);
    AesCryptBuffer(&cipher, &key, data.data(), 160, viaBuffer.data());
    EXPECT_EQ(viaBlocks, viaBuffer);
}

TEST_P(AesCounterMode, RangeMatchesOpensslAtOddOffsetsWithAndWithoutMask)
{
    std::mt19937 generator(24);
    const Bytes mask = RandomBytes(generator, 16);
    struct Range {
        uint32_t offset;
        size_t length;
    };
    const Range ranges[] = {
        {0, 1},         {0, 16},     {5, 16},      {15, 1},         {15, 2},         {16, 16},
        {17, 3},        {3, 200},    {1000, 100},  {4095, 4098},    {7, 16 * 9 + 5}, {0xFFFFFFF0u, 16},
        {0xFFFFFFF5u, 40},  // runs past byte 2^32 - 1
        {0xFFFFFFFFu, 1},
    };
    for (const auto& range : ranges) {
        for (const uint8_t* rangeMask : {static_cast<const uint8_t*>(nullptr), mask.data()}) {
            SCOPED_TRACE("offset " + std::to_string(range.offset) + " length " + std::to_string(range.length) +
                         (rangeMask ? " masked" : ""));
            const Bytes data = RandomBytes(generator, range.length);
            const Bytes expected = ExpectedCounterRange(keyBytes, iv, range.offset, data, rangeMask);
            Bytes out(range.length);
            ASSERT_EQ(AesCryptAt(&cipher, &key, data.data(), range.offset, static_cast<int64_t>(range.length),
                                 out.data(), rangeMask),
                      static_cast<int64_t>(range.length));
            EXPECT_EQ(out, expected);

            Bytes inPlace = data;
            AesCryptAt(&cipher, &key, inPlace.data(), range.offset, static_cast<int64_t>(range.length),
                       inPlace.data(), rangeMask);
            EXPECT_EQ(inPlace, expected);
        }
    }
}

TEST_P(AesCounterMode, RangeEqualsBufferAtTheSamePositions)
{
    std::mt19937 generator(25);
    const Bytes data = RandomBytes(generator, 21);
    Bytes whole(21);
    AesCryptBuffer(&cipher, &key, data.data(), 21, whole.data());

    Bytes part(data.begin() + 5, data.end());
    ASSERT_EQ(AesCryptAt(&cipher, &key, part.data(), 5, 16, part.data(), nullptr), 16);
    EXPECT_EQ(part, Bytes(whole.begin() + 5, whole.end()));
}

TEST_P(AesCounterMode, EmptyRangeChangesNothing)
{
    Bytes buffer(32, 0x5A);
    EXPECT_EQ(AesCryptAt(&cipher, &key, buffer.data(), 3, 0, buffer.data(), nullptr), 0);
    EXPECT_EQ(buffer, Bytes(32, 0x5A));
}

TEST_P(AesCounterMode, TwentyEightBytesTouchNoMore)
{
    std::mt19937 generator(26);
    const Bytes data = RandomBytes(generator, 28);
    Bytes out(48, 0xEE);
    ASSERT_EQ(AesCryptBuffer(&cipher, &key, data.data(), 28, out.data()), 28);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 28), ExpectedCounterRange(keyBytes, iv, 0, data, nullptr));
    EXPECT_EQ(Bytes(out.begin() + 28, out.end()), Bytes(20, 0xEE));
}

TEST_P(AesCounterMode, CounterCarriesOutOfTheLow32Bits)
{
    std::mt19937 generator(27);
    // Blocks 2^32 - 3 .. 2^32 + 4: the carry reaches byte 11 of the counter.
    const uint64_t firstBlock = (uint64_t{1} << 32) - 3;
    for (size_t length : {16 * 3, 16 * 3 + 1, 16 * 8 + 9, 16 * 20}) {
        SCOPED_TRACE(length);
        const Bytes data = RandomBytes(generator, length);
        const Bytes keystream = OpensslKeystream(keyBytes, iv, firstBlock, (length + 15) / 16);
        Bytes expected(length);
        for (size_t i = 0; i < length; ++i) {
            expected[i] = static_cast<uint8_t>(data[i] ^ keystream[i]);
        }
        Bytes out(length);
        ASSERT_EQ(AesCryptFromBlock(&cipher, &key, data.data(), firstBlock, static_cast<int64_t>(length), out.data()),
                  static_cast<int64_t>(length));
        EXPECT_EQ(out, expected);
    }
}

TEST_P(AesCounterMode, NullIvGivesZeroNonce)
{
    AesCipher zeroIv;
    ASSERT_EQ(AesCipherInit(&zeroIv, AesModeCounter, nullptr), 1);
    const Bytes data(40, 0x11);
    Bytes out(40);
    AesCryptBuffer(&zeroIv, &key, data.data(), 40, out.data());
    EXPECT_EQ(out, ExpectedCounterRange(keyBytes, Bytes(16, 0), 0, data, nullptr));
}

INSTANTIATE_TEST_SUITE_P(Engines, AesCounterMode, ::testing::Values(AesEngine::Table, AesEngine::Hardware),
                         [](const ::testing::TestParamInfo<AesEngine>& info) {
                             return info.param == AesEngine::Table ? std::string("Table") : std::string("Hardware");
                         });

// --- The two engines against each other -------------------------------------------

class AesEngines : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!AesHardwareAvailable()) {
            GTEST_SKIP() << "no AES-NI on this processor";
        }
    }
    void TearDown() override { AesSelectEngine(AesEngine::Automatic); }

    template <typename Transform>
    static Bytes RunWith(AesEngine engine, Bytes data, Transform transform)
    {
        AesSelectEngine(engine);
        transform(data);
        return data;
    }
};

TEST_F(AesEngines, HardwareIsBitIdenticalToTableOnRandomRanges)
{
    std::mt19937 generator(31);
    for (int trial = 0; trial < 300; ++trial) {
        const size_t keySize = kKeySizes[trial % 3];
        const Bytes keyBytes = RandomBytes(generator, keySize);
        AesKey key;
        ASSERT_EQ(AesMakeKey(&key, trial % 2, static_cast<int>(keySize * 8), keyBytes.data()), 1);
        AesCipher cipher = MakeCipher(AesModeCounter, RandomBytes(generator, 16));
        const Bytes mask = RandomBytes(generator, 16);
        const uint8_t* rangeMask = trial % 4 < 2 ? mask.data() : nullptr;
        // Mostly small odd ranges, sometimes long ones for the eight-block path.
        const size_t length = trial % 10 == 0 ? 20000 + generator() % 5000 : generator() % 700;
        uint32_t offset = static_cast<uint32_t>(generator());
        if (trial % 5 == 0) {
            offset %= 64;
        }
        SCOPED_TRACE("trial " + std::to_string(trial) + " offset " + std::to_string(offset) + " length " +
                     std::to_string(length));
        const Bytes data = RandomBytes(generator, length);
        auto crypt = [&](Bytes& buffer) {
            AesCryptAt(&cipher, &key, buffer.data(), offset, static_cast<int64_t>(buffer.size()), buffer.data(),
                       rangeMask);
        };
        EXPECT_EQ(RunWith(AesEngine::Hardware, data, crypt), RunWith(AesEngine::Table, data, crypt));
    }
}

TEST_F(AesEngines, HardwareIsBitIdenticalToTableAcrossTheLow32BitWrap)
{
    std::mt19937 generator(32);
    const Bytes keyBytes = RandomBytes(generator, 32);
    AesKey key = MakeKey(1, keyBytes);
    AesCipher cipher = MakeCipher(AesModeCounter, RandomBytes(generator, 16));
    for (uint64_t back : {1u, 3u, 7u, 8u, 9u, 100u}) {
        for (size_t length : {size_t{16}, size_t{16 * 17 + 3}, size_t{16 * 200}}) {
            const uint64_t firstBlock = (uint64_t{1} << 32) - back;
            SCOPED_TRACE("first block 2^32 - " + std::to_string(back) + ", length " + std::to_string(length));
            const Bytes data = RandomBytes(generator, length);
            auto crypt = [&](Bytes& buffer) {
                AesCryptFromBlock(&cipher, &key, buffer.data(), firstBlock, static_cast<int64_t>(buffer.size()),
                                  buffer.data());
            };
            EXPECT_EQ(RunWith(AesEngine::Hardware, data, crypt), RunWith(AesEngine::Table, data, crypt));
        }
    }
}

TEST(AesEngineSelection, HardwareRequestWithoutAesNiFallsBackToTable)
{
    // Whatever the processor, every engine request gives the same bytes.
    std::mt19937 generator(33);
    const Bytes keyBytes = RandomBytes(generator, 32);
    const AesKey key = MakeKey(1, keyBytes);
    const AesCipher cipher = MakeCipher(AesModeCounter, RandomBytes(generator, 16));
    const Bytes data = RandomBytes(generator, 300);
    std::vector<Bytes> results;
    for (AesEngine engine : {AesEngine::Automatic, AesEngine::Table, AesEngine::Hardware}) {
        AesSelectEngine(engine);
        Bytes out(300);
        AesCryptAt(&cipher, &key, data.data(), 9, 300, out.data(), nullptr);
        results.push_back(out);
    }
    AesSelectEngine(AesEngine::Automatic);
    EXPECT_EQ(results[0], results[1]);
    EXPECT_EQ(results[0], results[2]);
}

}  // namespace
