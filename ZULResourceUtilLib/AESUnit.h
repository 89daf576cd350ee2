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
// length. AesCipherInit 1, or -4 bad mode. The transforms return what they
// processed, 0 for a null input or an empty length, and -5 for a null cipher
// or key, an unknown or unsupported mode, or a direction-1 key outside mode 4.
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
// length) and return 16 × (whole blocks + 1); the output must hold that many.
// Mode 4 transforms exactly length bytes with block numbers from 0.
int64_t AesCryptBuffer(const AesCipher* cipher, const AesKey* key, const uint8_t* input, int64_t length,
                       uint8_t* output);

// Counter-mode transform of the bytes at positions byteOffset .. byteOffset +
// length - 1 of a counter sequence, so any range decrypts by itself. The
// 16-byte mask is ANDed into every keystream block (null: all bits set).
// Block numbers here are 32-bit: byte 8..11 of the counter block stay 0.
int64_t AesCryptAt(const AesCipher* cipher, const AesKey* key, const uint8_t* input, uint32_t byteOffset,
                   int64_t length, uint8_t* output, const uint8_t* mask);

// One-block AES encryption with the encryption round keys: the primitive under
// every mode, exposed for tests.
void AesEncryptBlock(const AesKey& key, const uint8_t input[16], uint8_t output[16]);

// Which counter-mode engine runs. Automatic picks AES-NI when present; the
// others exist so that tests and benchmarks can compare the two engines.
enum class AesEngine { Automatic, Table, Hardware };
void AesSelectEngine(AesEngine engine);
bool AesHardwareAvailable();
