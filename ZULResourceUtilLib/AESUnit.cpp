#include "ZULResourceUtilLib/AESUnit.h"

#include <atomic>
#include <cassert>
#include <cstring>
#include <limits>

namespace {

// ---------------------------------------------------------------------------
// Lookup tables, computed at compile time from the field arithmetic of
// GF(2^8) with the polynomial x^8 + x^4 + x^3 + x + 1, so no hand-copied
// constant can be mistyped.

constexpr uint8_t GfTimes2(uint8_t value)
{
    return static_cast<uint8_t>((value << 1) ^ ((value & 0x80) != 0 ? 0x1B : 0x00));
}

constexpr uint8_t GfMultiply(uint8_t a, uint8_t b)
{
    uint8_t product = 0;
    while (b != 0) {
        if ((b & 1) != 0) {
            product ^= a;
        }
        a = GfTimes2(a);
        b = static_cast<uint8_t>(b >> 1);
    }
    return product;
}

constexpr uint32_t RotateRight(uint32_t value, unsigned bits)
{
    return (value >> bits) | (value << ((32 - bits) & 31));
}

constexpr uint32_t Word(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3)
{
    return (static_cast<uint32_t>(b0) << 24) | (static_cast<uint32_t>(b1) << 16) | (static_cast<uint32_t>(b2) << 8) |
           static_cast<uint32_t>(b3);
}

struct AesTables {
    uint8_t sbox[256] = {};
    // forward[r][x]: the MixColumns column of S-box(x) in row 0, rotated right
    // by 8r bits for the byte that enters from row r.
    uint32_t forward[4][256] = {};
    // inverseMix[r][x]: the InvMixColumns column of byte x in row r, for
    // turning encryption round keys into those of the equivalent inverse
    // cipher.
    uint32_t inverseMix[4][256] = {};
    uint32_t roundConstants[10] = {};
};

constexpr AesTables BuildTables()
{
    AesTables tables;

    // Powers of the generator 3 give every non-zero element; the inverse of
    // 3^i is 3^(255 - i).
    uint8_t power[255] = {};
    uint8_t logarithm[256] = {};
    uint8_t element = 1;
    for (int i = 0; i < 255; ++i) {
        power[i] = element;
        logarithm[element] = static_cast<uint8_t>(i);
        element = static_cast<uint8_t>(element ^ GfTimes2(element));
    }
    for (int x = 0; x < 256; ++x) {
        const uint8_t inverse = x == 0 ? 0 : power[(255 - logarithm[x]) % 255];
        // Affine map: b ^ rotl(b,1) ^ rotl(b,2) ^ rotl(b,3) ^ rotl(b,4) ^ 0x63.
        unsigned mixed = inverse;
        for (unsigned shift = 1; shift <= 4; ++shift) {
            mixed ^= static_cast<unsigned>((inverse << shift) | (inverse >> (8 - shift)));
        }
        tables.sbox[x] = static_cast<uint8_t>((mixed ^ 0x63) & 0xFF);
    }

    for (int x = 0; x < 256; ++x) {
        const uint8_t s = tables.sbox[x];
        const uint32_t column = Word(GfTimes2(s), s, s, static_cast<uint8_t>(GfTimes2(s) ^ s));
        const uint8_t b = static_cast<uint8_t>(x);
        const uint32_t inverseColumn =
            Word(GfMultiply(b, 0x0E), GfMultiply(b, 0x09), GfMultiply(b, 0x0D), GfMultiply(b, 0x0B));
        for (unsigned row = 0; row < 4; ++row) {
            tables.forward[row][x] = RotateRight(column, 8 * row);
            tables.inverseMix[row][x] = RotateRight(inverseColumn, 8 * row);
        }
    }

    uint8_t constant = 1;
    for (int i = 0; i < 10; ++i) {
        tables.roundConstants[i] = static_cast<uint32_t>(constant) << 24;
        constant = GfTimes2(constant);
    }
    return tables;
}

constexpr AesTables kTables = BuildTables();

static_assert(kTables.sbox[0x00] == 0x63 && kTables.sbox[0x53] == 0xED && kTables.sbox[0xFF] == 0x16);
static_assert(kTables.roundConstants[9] == 0x36000000u);

// ---------------------------------------------------------------------------
// Byte order helpers: AES loads its state and key big-endian by column.

uint32_t LoadBigEndian32(const uint8_t* bytes)
{
    return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
           (static_cast<uint32_t>(bytes[2]) << 8) | static_cast<uint32_t>(bytes[3]);
}

void StoreBigEndian32(uint8_t* bytes, uint32_t value)
{
    bytes[0] = static_cast<uint8_t>(value >> 24);
    bytes[1] = static_cast<uint8_t>(value >> 16);
    bytes[2] = static_cast<uint8_t>(value >> 8);
    bytes[3] = static_cast<uint8_t>(value);
}

void StoreBigEndian64(uint8_t* bytes, uint64_t value)
{
    StoreBigEndian32(bytes, static_cast<uint32_t>(value >> 32));
    StoreBigEndian32(bytes + 4, static_cast<uint32_t>(value));
}

uint32_t SubWord(uint32_t word)
{
    return Word(kTables.sbox[word >> 24], kTables.sbox[(word >> 16) & 0xFF], kTables.sbox[(word >> 8) & 0xFF],
                kTables.sbox[word & 0xFF]);
}

uint32_t InverseMixColumn(uint32_t word)
{
    return kTables.inverseMix[0][word >> 24] ^ kTables.inverseMix[1][(word >> 16) & 0xFF] ^
           kTables.inverseMix[2][(word >> 8) & 0xFF] ^ kTables.inverseMix[3][word & 0xFF];
}

// A key record is trusted only in the shapes AesMakeKey produces: anything
// else (a cleared record, a stray rounds value) would index past the round
// keys.
bool KeyUsable(const AesKey* key)
{
    if (key == nullptr || key->direction > AesDirectionDecrypt) {
        return false;
    }
    return (key->rounds == 10 || key->rounds == 12 || key->rounds == 14) && key->keyBits == 32 * (key->rounds - 6);
}

// The table-driven cipher: one block, standard byte order in and out.
void EncryptBlock(const uint32_t* roundKeys, int rounds, const uint8_t input[16], uint8_t output[16])
{
    const auto& t = kTables.forward;
    uint32_t s0 = LoadBigEndian32(input) ^ roundKeys[0];
    uint32_t s1 = LoadBigEndian32(input + 4) ^ roundKeys[1];
    uint32_t s2 = LoadBigEndian32(input + 8) ^ roundKeys[2];
    uint32_t s3 = LoadBigEndian32(input + 12) ^ roundKeys[3];
    const uint32_t* rk = roundKeys + 4;
    for (int round = 1; round < rounds; ++round, rk += 4) {
        const uint32_t t0 = t[0][s0 >> 24] ^ t[1][(s1 >> 16) & 0xFF] ^ t[2][(s2 >> 8) & 0xFF] ^ t[3][s3 & 0xFF] ^ rk[0];
        const uint32_t t1 = t[0][s1 >> 24] ^ t[1][(s2 >> 16) & 0xFF] ^ t[2][(s3 >> 8) & 0xFF] ^ t[3][s0 & 0xFF] ^ rk[1];
        const uint32_t t2 = t[0][s2 >> 24] ^ t[1][(s3 >> 16) & 0xFF] ^ t[2][(s0 >> 8) & 0xFF] ^ t[3][s1 & 0xFF] ^ rk[2];
        const uint32_t t3 = t[0][s3 >> 24] ^ t[1][(s0 >> 16) & 0xFF] ^ t[2][(s1 >> 8) & 0xFF] ^ t[3][s2 & 0xFF] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    // Last round: SubBytes and ShiftRows without MixColumns.
    const uint8_t* sbox = kTables.sbox;
    StoreBigEndian32(output, Word(sbox[s0 >> 24], sbox[(s1 >> 16) & 0xFF], sbox[(s2 >> 8) & 0xFF], sbox[s3 & 0xFF]) ^ rk[0]);
    StoreBigEndian32(output + 4,
                     Word(sbox[s1 >> 24], sbox[(s2 >> 16) & 0xFF], sbox[(s3 >> 8) & 0xFF], sbox[s0 & 0xFF]) ^ rk[1]);
    StoreBigEndian32(output + 8,
                     Word(sbox[s2 >> 24], sbox[(s3 >> 16) & 0xFF], sbox[(s0 >> 8) & 0xFF], sbox[s1 & 0xFF]) ^ rk[2]);
    StoreBigEndian32(output + 12,
                     Word(sbox[s3 >> 24], sbox[(s0 >> 16) & 0xFF], sbox[(s1 >> 8) & 0xFF], sbox[s2 & 0xFF]) ^ rk[3]);
}

void XorBlock(uint8_t* target, const uint8_t* a, const uint8_t* b)
{
    for (int i = 0; i < 16; ++i) {
        target[i] = static_cast<uint8_t>(a[i] ^ b[i]);
    }
}

// ---------------------------------------------------------------------------
// Counter mode

std::atomic<AesEngine> selectedEngine{AesEngine::Automatic};

void CounterNonce(const AesCipher& cipher, uint8_t nonce[8])
{
    for (int i = 0; i < 8; ++i) {
        nonce[i] = static_cast<uint8_t>(cipher.iv[i] ^ cipher.iv[i + 8]);
    }
}

// The portable engine; the reference the AES-NI engine must match bit for bit.
void TableCounterBlocks(const AesKey& key, const uint8_t nonce[8], uint64_t blockNumber, const uint8_t* input,
                        uint8_t* output, uint64_t blocks, const uint8_t* mask)
{
    uint8_t counter[16];
    std::memcpy(counter, nonce, 8);
    uint8_t keystream[16];
    for (uint64_t i = 0; i < blocks; ++i, ++blockNumber, input += 16, output += 16) {
        StoreBigEndian64(counter + 8, blockNumber);
        EncryptBlock(key.encryptionRoundKeys, key.rounds, counter, keystream);
        for (int j = 0; j < 16; ++j) {
            const uint8_t stream = mask == nullptr ? keystream[j] : static_cast<uint8_t>(keystream[j] & mask[j]);
            output[j] = static_cast<uint8_t>(input[j] ^ stream);
        }
    }
}

void CounterBlocks(const AesKey& key, const uint8_t nonce[8], uint64_t blockNumber, const uint8_t* input,
                   uint8_t* output, uint64_t blocks, const uint8_t* mask)
{
    if (blocks == 0) {
        return;
    }
    if (selectedEngine.load(std::memory_order_relaxed) != AesEngine::Table &&
        AesInternal::HardwareCounterBlocks(key, nonce, blockNumber, input, output, blocks, mask)) {
        return;
    }
    TableCounterBlocks(key, nonce, blockNumber, input, output, blocks, mask);
}

// Transforms length bytes that start skip bytes (0..15) into block
// blockNumber. Partial blocks run through the same engine on a scratch block
// so that the whole range sees one engine.
void CounterRange(const AesKey& key, const uint8_t nonce[8], uint64_t blockNumber, unsigned skip, const uint8_t* input,
                  uint64_t length, uint8_t* output, const uint8_t* mask)
{
    if (skip != 0 && length != 0) {
        const uint64_t count = length < 16 - skip ? length : 16 - skip;
        uint8_t scratch[16] = {};
        std::memcpy(scratch + skip, input, static_cast<size_t>(count));
        CounterBlocks(key, nonce, blockNumber, scratch, scratch, 1, mask);
        std::memcpy(output, scratch + skip, static_cast<size_t>(count));
        input += count;
        output += count;
        length -= count;
        ++blockNumber;
    }
    const uint64_t wholeBlocks = length / 16;
    CounterBlocks(key, nonce, blockNumber, input, output, wholeBlocks, mask);
    const uint64_t tail = length % 16;
    if (tail != 0) {
        uint8_t scratch[16] = {};
        std::memcpy(scratch, input + wholeBlocks * 16, static_cast<size_t>(tail));
        CounterBlocks(key, nonce, blockNumber + wholeBlocks, scratch, scratch, 1, mask);
        std::memcpy(output + wholeBlocks * 16, scratch, static_cast<size_t>(tail));
    }
}

constexpr int64_t kBadState = -5;

}  // namespace

// ---------------------------------------------------------------------------

int AesMakeKey(AesKey* key, int direction, int keyBits, const uint8_t* keyBytes)
{
    if (key == nullptr) {
        return -3;
    }
    if (direction != AesDirectionEncrypt && direction != AesDirectionDecrypt) {
        return -1;
    }
    if (keyBits != 128 && keyBits != 192 && keyBits != 256) {
        return -2;
    }

    uint8_t material[32] = {};
    if (keyBytes != nullptr) {
        std::memcpy(material, keyBytes, static_cast<size_t>(keyBits / 8));
    }

    const int keyWords = keyBits / 32;
    const int rounds = keyWords + 6;
    const int totalWords = 4 * (rounds + 1);
    uint32_t* w = key->encryptionRoundKeys;
    std::memset(key->encryptionRoundKeys, 0, sizeof key->encryptionRoundKeys);
    for (int i = 0; i < keyWords; ++i) {
        w[i] = LoadBigEndian32(material + 4 * i);
    }
    for (int i = keyWords; i < totalWords; ++i) {
        uint32_t temp = w[i - 1];
        if (i % keyWords == 0) {
            temp = SubWord(RotateRight(temp, 24)) ^ kTables.roundConstants[i / keyWords - 1];
        } else if (keyWords > 6 && i % keyWords == 4) {
            temp = SubWord(temp);
        }
        w[i] = w[i - keyWords] ^ temp;
    }

    std::memset(key->roundKeys, 0, sizeof key->roundKeys);
    if (direction == AesDirectionEncrypt) {
        std::memcpy(key->roundKeys, w, sizeof(uint32_t) * static_cast<size_t>(totalWords));
    } else {
        // Equivalent inverse cipher: round keys in reverse round order, with
        // InvMixColumns applied to all but the first and the last.
        for (int round = 0; round <= rounds; ++round) {
            for (int column = 0; column < 4; ++column) {
                const uint32_t word = w[4 * (rounds - round) + column];
                key->roundKeys[4 * round + column] = (round == 0 || round == rounds) ? word : InverseMixColumn(word);
            }
        }
    }
    key->direction = static_cast<uint8_t>(direction);
    key->keyBits = keyBits;
    key->rounds = rounds;
    return 1;
}

int AesCipherInit(AesCipher* cipher, int mode, const uint8_t* iv)
{
    if (mode < AesModeEcb || mode > AesModeCounter) {
        return -4;
    }
    if (cipher == nullptr) {
        return static_cast<int>(kBadState);
    }
    cipher->mode = static_cast<uint8_t>(mode);
    if (iv != nullptr) {
        std::memcpy(cipher->iv, iv, sizeof cipher->iv);
    } else {
        std::memset(cipher->iv, 0, sizeof cipher->iv);
    }
    return 1;
}

void AesEncryptBlock(const AesKey& key, const uint8_t input[16], uint8_t output[16])
{
    if (!KeyUsable(&key)) {
        std::memset(output, 0, 16);
        return;
    }
    EncryptBlock(key.encryptionRoundKeys, key.rounds, input, output);
}

int64_t AesBlockCrypt(const AesCipher* cipher, const AesKey* key, const uint8_t* input, int64_t lengthBits,
                      uint8_t* output)
{
    if (cipher == nullptr || !KeyUsable(key) || cipher->mode < AesModeEcb || cipher->mode > AesModeCounter ||
        (key->direction == AesDirectionDecrypt && cipher->mode != AesModeCounter)) {
        return kBadState;
    }
    if (input == nullptr || output == nullptr || lengthBits <= 0) {
        return 0;
    }
    const int64_t blocks = lengthBits / 128;
    const uint32_t* roundKeys = key->encryptionRoundKeys;

    switch (cipher->mode) {
    case AesModeEcb:
        for (int64_t i = 0; i < blocks; ++i) {
            EncryptBlock(roundKeys, key->rounds, input + 16 * i, output + 16 * i);
        }
        break;
    case AesModeCbc: {
        uint8_t chain[16];
        std::memcpy(chain, cipher->iv, 16);
        for (int64_t i = 0; i < blocks; ++i) {
            uint8_t block[16];
            XorBlock(block, input + 16 * i, chain);
            EncryptBlock(roundKeys, key->rounds, block, output + 16 * i);
            std::memcpy(chain, output + 16 * i, 16);
        }
        break;
    }
    case AesModeCfb1: {
        // One bit per block encryption: the top bit of E(register) masks the
        // next data bit (most significant first), and the register shifts
        // left by one bit taking in the ciphertext bit. The register starts
        // from the IV on every call: the cipher instance is not changed.
        uint8_t shiftRegister[16];
        std::memcpy(shiftRegister, cipher->iv, 16);
        for (int64_t i = 0; i < blocks; ++i) {
            uint8_t block[16];
            std::memcpy(block, input + 16 * i, 16);
            for (int bit = 0; bit < 128; ++bit) {
                uint8_t encrypted[16];
                EncryptBlock(roundKeys, key->rounds, shiftRegister, encrypted);
                block[bit >> 3] = static_cast<uint8_t>(block[bit >> 3] ^ ((encrypted[0] & 0x80u) >> (bit & 7)));
                for (int j = 0; j < 15; ++j) {
                    shiftRegister[j] = static_cast<uint8_t>((shiftRegister[j] << 1) | (shiftRegister[j + 1] >> 7));
                }
                shiftRegister[15] =
                    static_cast<uint8_t>((shiftRegister[15] << 1) | ((block[bit >> 3] >> (7 - (bit & 7))) & 1u));
            }
            std::memcpy(output + 16 * i, block, 16);
        }
        break;
    }
    case AesModeCounter: {
        uint8_t nonce[8];
        CounterNonce(*cipher, nonce);
        CounterRange(*key, nonce, 0, 0, input, static_cast<uint64_t>(blocks) * 16, output, nullptr);
        break;
    }
    default:
        return kBadState;
    }
    return blocks * 128;
}

int64_t AesCryptBuffer(const AesCipher* cipher, const AesKey* key, const uint8_t* input, int64_t length,
                       uint8_t* output)
{
    if (cipher == nullptr || !KeyUsable(key) ||
        (cipher->mode != AesModeEcb && cipher->mode != AesModeCbc && cipher->mode != AesModeCounter) ||
        (key->direction == AesDirectionDecrypt && cipher->mode != AesModeCounter)) {
        return kBadState;
    }
    if (input == nullptr || output == nullptr || length <= 0) {
        return 0;
    }

    if (cipher->mode == AesModeCounter) {
        uint8_t nonce[8];
        CounterNonce(*cipher, nonce);
        CounterRange(*key, nonce, 0, 0, input, static_cast<uint64_t>(length), output, nullptr);
        return length;
    }

    // The padded size, 16 × (whole blocks + 1), must itself be a length.
    if (length > std::numeric_limits<int64_t>::max() - 16) {
        return kBadState;
    }
    const int64_t wholeBlocks = length / 16;
    const int padLength = 16 - static_cast<int>(length % 16);
    assert(padLength > 0 && padLength <= 16);

    const uint32_t* roundKeys = key->encryptionRoundKeys;
    uint8_t chain[16];
    std::memcpy(chain, cipher->iv, 16);
    for (int64_t i = 0; i < wholeBlocks; ++i) {
        uint8_t block[16];
        if (cipher->mode == AesModeCbc) {
            XorBlock(block, input + 16 * i, chain);
        } else {
            std::memcpy(block, input + 16 * i, 16);
        }
        EncryptBlock(roundKeys, key->rounds, block, output + 16 * i);
        std::memcpy(chain, output + 16 * i, 16);
    }

    uint8_t last[16];
    const int remainder = 16 - padLength;
    std::memcpy(last, input + 16 * wholeBlocks, static_cast<size_t>(remainder));
    std::memset(last + remainder, padLength, static_cast<size_t>(padLength));
    if (cipher->mode == AesModeCbc) {
        XorBlock(last, last, chain);
    }
    EncryptBlock(roundKeys, key->rounds, last, output + 16 * wholeBlocks);
    return 16 * (wholeBlocks + 1);
}

int64_t AesCryptAt(const AesCipher* cipher, const AesKey* key, const uint8_t* input, uint32_t byteOffset,
                   int64_t length, uint8_t* output, const uint8_t* mask)
{
    if (cipher == nullptr || !KeyUsable(key) || cipher->mode != AesModeCounter) {
        return kBadState;
    }
    if (input == nullptr || output == nullptr || length <= 0) {
        return 0;
    }
    uint8_t nonce[8];
    CounterNonce(*cipher, nonce);

    // Block numbers here are 32-bit (bytes 8..11 of the counter stay 0). The
    // range's end is worked out in 64 bits, so a range that runs past byte
    // 2^32 - 1 goes on with the following block numbers instead of wrapping
    // its end; only after 2^32 blocks (64 GiB) does the number itself wrap.
    uint64_t blockNumber = byteOffset / 16;
    unsigned skip = byteOffset % 16;
    uint64_t remaining = static_cast<uint64_t>(length);
    while (remaining != 0) {
        const uint64_t bytesBeforeWrap = ((uint64_t{1} << 32) - blockNumber) * 16 - skip;
        const uint64_t count = remaining < bytesBeforeWrap ? remaining : bytesBeforeWrap;
        CounterRange(*key, nonce, blockNumber, skip, input, count, output, mask);
        input += count;
        output += count;
        remaining -= count;
        blockNumber = 0;
        skip = 0;
    }
    return length;
}

int64_t AesCryptFromBlock(const AesCipher* cipher, const AesKey* key, const uint8_t* input, uint64_t firstBlock,
                          int64_t length, uint8_t* output)
{
    if (cipher == nullptr || !KeyUsable(key) || cipher->mode != AesModeCounter) {
        return kBadState;
    }
    if (input == nullptr || output == nullptr || length <= 0) {
        return 0;
    }
    uint8_t nonce[8];
    CounterNonce(*cipher, nonce);
    CounterRange(*key, nonce, firstBlock, 0, input, static_cast<uint64_t>(length), output, nullptr);
    return length;
}

void AesSelectEngine(AesEngine engine)
{
    selectedEngine.store(engine, std::memory_order_relaxed);
}
