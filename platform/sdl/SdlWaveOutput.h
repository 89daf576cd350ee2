// SdlWaveOutput: the wave output of the Linux saver, on SDL audio.
//
// Each opening is one SDL audio device opened in the sound's own format
// (8-bit unsigned or 16-bit signed little-endian PCM, 1 or 2 channels, any
// rate up to 384,000) with no changes allowed, so SDL converts nothing and
// the blocks' bytes reach the device as written. Other formats are refused
// with BadFormat before SDL is touched.
//
// SDL pulls the samples from its audio thread: the callback copies the
// queued blocks in order, posts a done notice for each block it has copied
// to the end, and fills with silence when nothing is queued. The position
// counts the bytes copied, so it runs ahead of what is heard by at most one
// device buffer (40 to 80 ms). Volume is applied in the callback, per
// channel; the loudest volume (0xFFFFFFFF) leaves the bytes untouched.
#pragma once

#include "platform/WaveDevice.h"

#include <memory>

// The machine's wave output on SDL audio (SDL_INIT_AUDIO is initialised by the output itself on first Open, once per process, and quit in the destructor if it initialised it).
std::unique_ptr<WaveOutput> MakeSdlWaveOutput();
