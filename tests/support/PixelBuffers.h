// Pixel buffers for imaging tests: allocation by bit depth, random contents,
// copies, whole-memory snapshots, and 32-bit pixels as 0xAARRGGBB words
// (bytes blue, green, red, alpha in memory).
#pragma once

#include "imaging/DirectBmpControl.h"
#include "platform/TRect.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

// Allocates the buffer at a depth of 1, 4, 8, 15, 16, 24 or 32 bits; a
// refused allocation fails the test.
void Allocate(DirectBmpControl& buffer, int32_t width, int32_t height, int bits);

// Every byte of the pixel memory, padding included, so that writes outside
// a rectangle or a row show up too.
std::vector<uint8_t> AllBytes(const DirectBmpControl& buffer);

// Random pixel bytes, palette and edge colour, each byte from 0 to maximum.
void FillRandom(DirectBmpControl& buffer, std::mt19937& random, int maximum = 255);

// A second buffer with the same format, bytes, palette and edge colour.
void CloneInto(DirectBmpControl& clone, const DirectBmpControl& buffer);

uint32_t Pixel32(const DirectBmpControl& buffer, int x, int y);
void SetPixel32(DirectBmpControl& buffer, int x, int y, uint32_t value);

// "(left,top,right,bottom)", for failure messages.
std::string Describe(const TRect& r);
