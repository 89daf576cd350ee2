// The demo sounds: three bell chimes (one opens each section of the show,
// played once after the opening picture) and a soft pad that loops behind
// the rest of a section.
//
// Chimes: each strike is a sum of inharmonic partials in the ratios of a
// tuned bell (hum an octave below, a minor third, a fifth, the nominal an
// octave up, and a few higher ones), each with a slightly detuned twin for a
// slow shimmer, a 2 ms attack and an exponential decay that is faster for the
// higher partials. 44.1 kHz mono.
//
// Pad: the player repeats a looping sound from its first sample straight
// after its last, so the pad is made exactly periodic: every frequency in it
// (tones, detuned twins, overtones, swells) is a whole number of cycles per
// loop, computed from integer sample counts, so sample N would equal sample
// 0 and the join has no click. 22.05 kHz stereo: it has no high content.
#include "tools/demo/DemoContent.h"

#include "ZULResourceUtilLib/LittleEndian.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

std::vector<uint8_t> EncodeWave(std::span<const int16_t> samples, int channels, int sampleRate)
{
    if (channels < 1 || sampleRate < 1 || samples.size() % static_cast<size_t>(channels) != 0)
        throw std::invalid_argument("wave samples do not fill whole frames");
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    const uint16_t blockAlign = static_cast<uint16_t>(2 * channels);
    std::vector<uint8_t> file(44 + static_cast<size_t>(dataBytes));
    uint8_t* p = file.data();
    const auto tag = [&](const char(&text)[5], size_t at) { std::copy(text, text + 4, p + at); };
    tag("RIFF", 0);
    WriteLe32(p + 4, 36 + dataBytes);
    tag("WAVE", 8);
    tag("fmt ", 12);
    WriteLe32(p + 16, 16);
    WriteLe16(p + 20, 1);  // PCM
    WriteLe16(p + 22, static_cast<uint16_t>(channels));
    WriteLe32(p + 24, static_cast<uint32_t>(sampleRate));
    WriteLe32(p + 28, static_cast<uint32_t>(sampleRate) * blockAlign);
    WriteLe16(p + 32, blockAlign);
    WriteLe16(p + 34, 16);
    tag("data", 36);
    WriteLe32(p + 40, dataBytes);
    for (size_t i = 0; i < samples.size(); ++i) WriteLe16(p + 44 + 2 * i, static_cast<uint16_t>(samples[i]));
    return file;
}

namespace {

constexpr double TwoPi = 2 * std::numbers::pi;

// Scales the signal so that its largest magnitude is `peak` of full scale,
// then rounds to 16 bits.
std::vector<int16_t> ToPcm(const std::vector<double>& signal, double peak)
{
    double largest = 0;
    for (double value : signal) largest = std::max(largest, std::fabs(value));
    const double gain = largest > 0 ? peak * 32767.0 / largest : 0;
    std::vector<int16_t> pcm(signal.size());
    for (size_t i = 0; i < signal.size(); ++i)
        pcm[i] = static_cast<int16_t>(std::clamp(std::lround(signal[i] * gain), -32767L, 32767L));
    return pcm;
}

constexpr int ChimeRate = 44100;

struct Partial {
    double ratio;  // to the strike's nominal frequency
    double amplitude;
    double decay;  // seconds for the amplitude to fall to 1/e
};

// Bell-like partials: the hum, the prime, a minor third, a fifth, the
// nominal, and higher inharmonic ones that die away quickly.
constexpr Partial BellPartials[] = {
    {0.5, 0.35, 2.4},  {1.0, 1.0, 1.7},   {1.19, 0.42, 1.1}, {1.505, 0.3, 0.9},  {2.0, 0.45, 0.75},
    {2.51, 0.2, 0.45}, {2.66, 0.16, 0.4}, {3.01, 0.11, 0.3}, {4.07, 0.07, 0.18}, {5.42, 0.04, 0.11},
};

struct Strike {
    double at;         // seconds from the start
    double frequency;  // the prime partial, Hz
    double loudness;
};

std::vector<uint8_t> MakeChime(std::initializer_list<Strike> strikes, double seconds)
{
    const size_t frames = static_cast<size_t>(seconds * ChimeRate);
    std::vector<double> signal(frames, 0.0);
    for (const Strike& strike : strikes) {
        const size_t first = static_cast<size_t>(strike.at * ChimeRate);
        for (const Partial& partial : BellPartials) {
            const double frequency = strike.frequency * partial.ratio;
            if (frequency >= 0.45 * ChimeRate) continue;
            // The twin, 0.6 Hz away, beats slowly against the partial.
            for (const double detune : {0.0, 0.6}) {
                const double amplitude = strike.loudness * partial.amplitude * (detune == 0.0 ? 1.0 : 0.3);
                const double step = TwoPi * (frequency + detune) / ChimeRate;
                for (size_t n = first; n < frames; ++n) {
                    const double t = static_cast<double>(n - first) / ChimeRate;
                    const double envelope = (1.0 - std::exp(-t / 0.002)) * std::exp(-t / partial.decay);
                    if (envelope < 1e-5 && t > 0.1) break;
                    signal[n] += amplitude * envelope * std::sin(step * static_cast<double>(n - first));
                }
            }
        }
    }
    // Whatever is left of the ring fades to silence over the last 80 ms, so
    // the sound never stops on a non-zero sample.
    const size_t fade = std::min(frames, static_cast<size_t>(0.08 * ChimeRate));
    for (size_t i = 0; i < fade; ++i) {
        const double x = static_cast<double>(i + 1) / static_cast<double>(fade);  // 1 at the very end
        signal[frames - fade + i] *= 0.5 * (1.0 + std::cos(std::numbers::pi * x));
    }
    const std::vector<int16_t> pcm = ToPcm(signal, 0.7);
    return EncodeWave(pcm, 1, ChimeRate);
}

// Morning: a falling fourth, two bright strikes.
std::vector<uint8_t> MakeChimeMorning()
{
    return MakeChime({{0.0, 1318.5, 1.0}, {0.3, 987.77, 0.85}}, 3.0);
}

// Evening: a rising major arpeggio.
std::vector<uint8_t> MakeChimeEvening()
{
    return MakeChime({{0.0, 1046.5, 0.9}, {0.18, 1318.5, 0.8}, {0.36, 1568.0, 0.85}}, 3.2);
}

// Night: one low, long strike with a quiet fifth above.
std::vector<uint8_t> MakeChimeNight()
{
    return MakeChime({{0.0, 587.33, 1.0}, {0.45, 880.0, 0.35}}, 3.6);
}

constexpr int PadRate = 22050;
constexpr int PadSeconds = 6;
constexpr int64_t PadFrames = static_cast<int64_t>(PadRate) * PadSeconds;

// sin(2 pi cycles n / PadFrames) with the phase reduced exactly in integers,
// so the wave is periodic to the sample over the loop.
double LoopSine(int64_t cycles, int64_t n, double offset = 0.0)
{
    const int64_t reduced = (cycles * n) % PadFrames;
    return std::sin(TwoPi * static_cast<double>(reduced) / static_cast<double>(PadFrames) + offset);
}

std::vector<uint8_t> MakePad()
{
    struct Voice {
        double frequency;  // rounded to whole cycles per loop below
        double amplitude;
        int64_t swellCycles;  // of the voice's slow swell over the loop
        double swellPhase;
    };
    // A major chord with an added ninth, A2 to B4, softer upwards.
    static constexpr Voice voices[] = {
        {110.0, 1.0, 1, 0.0},   {164.81, 0.75, 2, 1.3}, {220.0, 0.6, 1, 2.6},
        {277.18, 0.45, 2, 4.0}, {329.63, 0.4, 1, 5.1},  {493.88, 0.22, 3, 0.7},
    };
    std::vector<double> signal(static_cast<size_t>(PadFrames) * 2, 0.0);
    for (int channel = 0; channel < 2; ++channel) {
        // Each channel detunes its twins by a different whole number of
        // cycles per loop (1/6 Hz steps), which spreads the chord in stereo.
        const int64_t spread = channel == 0 ? 1 : 2;
        for (const Voice& voice : voices) {
            const int64_t cycles = std::llround(voice.frequency * PadSeconds);
            for (int64_t n = 0; n < PadFrames; ++n) {
                const double swell = 0.7 + 0.3 * LoopSine(voice.swellCycles, n, voice.swellPhase + channel);
                const double tone = LoopSine(cycles, n) + 0.6 * LoopSine(cycles - spread, n, 0.5) +
                                    0.6 * LoopSine(cycles + spread, n, 1.7) + 0.22 * LoopSine(2 * cycles, n, 0.9) +
                                    0.08 * LoopSine(3 * cycles + spread, n, 2.2);
                signal[static_cast<size_t>(2 * n + channel)] += voice.amplitude * swell * tone;
            }
        }
    }
    // The whole pad breathes once per loop.
    for (int64_t n = 0; n < PadFrames; ++n) {
        const double breath = 0.85 + 0.15 * LoopSine(1, n, -std::numbers::pi / 2);
        signal[static_cast<size_t>(2 * n)] *= breath;
        signal[static_cast<size_t>(2 * n + 1)] *= breath;
    }
    const std::vector<int16_t> pcm = ToPcm(signal, 0.35);
    return EncodeWave(pcm, 2, PadRate);
}

const DemoSound Sounds[] = {
    {DemoId::ChimeMorning, "chime-morning", "interleaved", MakeChimeMorning},
    {DemoId::ChimeEvening, "chime-evening", "interleaved", MakeChimeEvening},
    {DemoId::ChimeNight, "chime-night", "whole", MakeChimeNight},
    {DemoId::Pad, "pad", "head", MakePad},
};

}  // namespace

std::span<const DemoSound> DemoSounds()
{
    return Sounds;
}
