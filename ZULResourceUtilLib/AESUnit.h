// AESUnit: AES (128, 192 or 256-bit keys) with a small key-instance and
// cipher-instance interface.
//
// Modes: 1 ECB, 2 CBC (the IV is the first chaining value), 3 one-bit CFB,
// 4 counter mode. Only encryption is offered for modes 1 to 3; counter mode
// encrypts and decrypts with the same transform, so a direction-1 (decrypt)
// key serves only mode 4.
//
// Counter block in mode 4: bytes 0..7 are IV[i] ^ IV[i + 8]; bytes 8..15 hold
// the block number as a big-endian 64-bit value. Block k covers bytes
// 16k..16k+15 of the sequence it belongs to.
//
// Return codes: AesMakeKey 1, or -3 null key, -1 bad direction, -2 bad key
// length. AesCipherInit 1, or -4 bad mode, -5 null cipher. The transforms
// return what they processed; -5 for a null cipher or key, a key that
// AesMakeKey did not set up, an unknown or unsupported mode, or a direction-1
// key outside mode 4 (checked first); then 0 for a null input or output or a
// length not above 0.
//
// The transforms keep no state between calls: one key and cipher instance
// serves any number of sequential calls, and input and output may be the
// same buffer. Counter mode uses AES-NI when the processor has it and the
// portable table-driven cipher otherwise; both give identical bytes.
#pragma once

#include <cstdint>

enum : uint8_t { AesDirectionEncrypt = 0, AesDirectionDecrypt = 1 };
enum : uint8_t { AesModeEcb = 1, AesModeCbc = 2, AesModeCfb1 = 3, AesModeCounter = 4 };

struct AesKey {
    uint8_t direction = 0;
    int keyBits = 0;
    int rounds = 0;
    // For direction 0 the encryption schedule; for direction 1 the schedule of
    // the equivalent inverse cipher.
    uint32_t roundKeys[60] = {};
    uint32_t encryptionRoundKeys[60] = {};
};

struct AesCipher {
    uint8_t mode = 0;
    uint8_t iv[16] = {};
};

int AesMakeKey(AesKey* key, int direction, int keyBits, const uint8_t* keyBytes);
int AesCipherInit(AesCipher* cipher, int mode, const uint8_t* iv);

// Whole 16-byte blocks only; returns the bits processed (blocks × 128).
int64_t AesBlockCrypt(const AesCipher* cipher, const AesKey* key, const uint8_t* input, int64_t lengthBits,
                      uint8_t* output);

// Modes 1 and 2 pad the last block (1 to 16 bytes, each holding the pad
// length) and return 16 × (whole blocks + 1); the output must hold that many
// (a length whose padded size would not fit in int64_t gives -5).
// Mode 4 transforms exactly length bytes with block numbers from 0.
int64_t AesCryptBuffer(const AesCipher* cipher, const AesKey* key, const uint8_t* input, int64_t length,
                       uint8_t* output);

// Counter-mode transform of the bytes at positions byteOffset .. byteOffset +
// length - 1 of a counter sequence, so any range decrypts by itself. The
// 16-byte mask is ANDed into every keystream block (null: all bits set).
// Block numbers here are 32-bit: byte 8..11 of the counter block stay 0.
// The end of the range is worked out in 64 bits, so a range running past
// byte 2^32 - 1 goes on with the following block numbers.
int64_t AesCryptAt(const AesCipher* cipher, const AesKey* key, const uint8_t* input, uint32_t byteOffset,
                   int64_t length, uint8_t* output, const uint8_t* mask);

// The counter sequence of AesCryptBuffer (64-bit block numbers) entered at
// block firstBlock: transforms length bytes whose first byte is the first
// byte of that block. AesCryptBuffer in mode 4 is this with firstBlock 0; it
// lets tests reach block numbers, such as the carry out of the low 32 bits,
// that real data would need gigabytes to reach. Same codes as AesCryptAt.
int64_t AesCryptFromBlock(const AesCipher* cipher, const AesKey* key, const uint8_t* input, uint64_t firstBlock,
                          int64_t length, uint8_t* output);

// One-block AES encryption with the encryption round keys: the primitive under
// every mode, exposed for tests.
void AesEncryptBlock(const AesKey& key, const uint8_t input[16], uint8_t output[16]);

// Which counter-mode engine runs. Automatic picks AES-NI when present; the
// others exist so that tests and benchmarks can compare the two engines.
enum class AesEngine { Automatic, Table, Hardware };
void AesSelectEngine(AesEngine engine);
bool AesHardwareAvailable();

// The seam between the portable cipher (AESUnit.cpp) and the AES-NI engine
// (AesHardware.cpp); callers use the functions above.
namespace AesInternal {
// Counter-mode transform of whole 16-byte blocks: the counter block is the
// 8 nonce bytes followed by the block number as big-endian 64-bit, starting
// at firstBlock and growing by one per block (modulo 2^64, as the portable
// engine counts). Each keystream block is ANDed with mask (null: all bits set)
// and XORed into the data; input and output may be the same buffer. Returns
// false and touches nothing when the processor has no AES-NI.
bool HardwareCounterBlocks(const AesKey& key, const uint8_t nonce[8], uint64_t firstBlock, const uint8_t* input,
                           uint8_t* output, uint64_t blocks, const uint8_t* mask);
}  // namespace AesInternal
