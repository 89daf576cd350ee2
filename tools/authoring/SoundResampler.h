// SoundResampler: interleaved frames from one sample rate to another, for
// sounds whose rate the saver's device does not take.
//
// Band-limited interpolation: each output frame at input time
// t = n × from / to is the sum of the input frames within 24 zero crossings
// of a sinc low-pass around t, weighted by the sinc under a Blackman window.
// The cut-off is 0.475 of the lower of the two rates (just under half:
// content above it would fold back into the band when going down). The
// weights of each output frame are divided by their sum, so that a constant
// signal stays exactly constant, at the ends too, where the kernel runs past
// the samples. The kernel is tabulated once (4096 steps per zero crossing,
// linear interpolation between steps) and every step runs in a fixed order:
// the same input gives the same output on every machine.
//
// The output holds ceil(frames × to / from) frames. Values are not clipped.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// channels ≥ 1; from and to ≥ 1; samples.size() a multiple of channels.
std::vector<double> ResampleFrames(std::span<const double> samples, uint16_t channels, uint32_t from, uint32_t to);
