// PlayableSoundFromFile: what scrtool pack makes of sound files. WAV files
// the saver plays stay byte for byte; other WAV forms, FLAC, Ogg Vorbis and
// MP3 (written here with libsndfile) become canonical 16-bit PCM that
// CheckWaveFile accepts and that holds the expected samples; damaged and
// foreign files are refused with a reason that says what pack takes.
#include "tools/authoring/SoundSource.h"

#include "sound/WaveFormat.h"
#include "tests/support/ScrtoolRun.h"
#include "tests/support/SoundFiles.h"
#include "tests/support/WaveFiles.h"
#include "tools/authoring/SoundResampler.h"
#include "tools/authoring/StereoMix.h"

#include <gtest/gtest.h>

#ifdef KAMISHIBAI_HAVE_SNDFILE
#include <sndfile.h>
#endif

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

// libsndfile 1.2.0 leaves a Vorbis stream's setup allocated when the stream
// turns out damaged while it opens (the damaged Ogg case below); that leak is
// the library's, and the sanitizer build would fail the case for it. The
// suppressions are the whole test program's: x265, with which libheif
// encodes the HEIF tests' files, leaves one small block per picture as well.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:vorbis_info_init\n"
           "leak:libx265.so\n";
}

namespace {

using Bytes = std::vector<uint8_t>;

// The samples of a canonical 16-bit PCM file, after checking that the saver
// takes it and that it is exactly "RIFF", "WAVE", "fmt " (16) and "data".
struct Decoded {
    WaveFileInfo info;
    std::vector<int16_t> samples;
};

Decoded DecodeCanonical(const Bytes& wave)
{
    Decoded decoded;
    decoded.info = CheckWaveFile(wave);
    EXPECT_EQ(decoded.info.formatTag, 1);
    EXPECT_EQ(decoded.info.bitsPerSample, 16);
    EXPECT_EQ(decoded.info.dataOffset, 44u);
    EXPECT_EQ(ReadLe32(&wave[16]), 16u);
    EXPECT_EQ(wave.size(), 44u + decoded.info.dataLength);
    EXPECT_EQ(ReadLe32(&wave[4]), wave.size() - 8);
    for (size_t at = 44; at + 1 < wave.size(); at += 2)
        decoded.samples.push_back(static_cast<int16_t>(ReadLe16(&wave[at])));
    return decoded;
}

// The nearest 16-bit sample, clipped: what the conversion promises.
int16_t Expected16(double sample)
{
    return static_cast<int16_t>(std::clamp(std::round(sample * 32768.0), -32768.0, 32767.0));
}

std::string ReasonFor(const Bytes& bytes)
{
    try {
        PlayableSoundFromFile(bytes);
    } catch (const ArchiveBuildError& error) {
        return error.what();
    }
    return "";
}

double Rms(const std::vector<int16_t>& samples, size_t channels, size_t channel, size_t skip)
{
    long double sum = 0;
    size_t count = 0;
    for (size_t at = skip * channels + channel; at < samples.size(); at += channels, ++count) sum += samples[at] * 1.0L * samples[at];
    return count ? static_cast<double>(std::sqrt(sum / count)) : 0.0;
}

// ---------------------------------------------------------------------------

TEST(SoundSourceTest, WavesTheSaverPlaysComeBackByteForByte)
{
    const std::vector<double> stereo = SineFrames(500, 2, 22050, 440, 0.6);
    const std::vector<double> six = SineFrames(300, 6, 48000, 300, 0.4);
    const struct {
        const char* name;
        Bytes wave;
    } cases[] = {
        {"8-bit mono", WaveEntry().Format(PcmFormat(1, 8000, 8)).Data(IntegerSampleBytes(SineFrames(400, 1, 8000, 200, 0.5), 8)).Bytes()},
        {"16-bit stereo with a LIST chunk",
         WaveEntry().Format(PcmFormat(2, 22050, 16)).Chunk("LIST", Bytes(10, 'x')).Data(IntegerSampleBytes(stereo, 16)).Bytes()},
        // The device takes 24 bits and up to 8 channels of plain PCM itself.
        {"24-bit PCM", WaveEntry().Format(PcmFormat(2, 22050, 24)).Data(IntegerSampleBytes(stereo, 24)).Bytes()},
        {"6 channels", WaveEntry().Format(PcmFormat(6, 48000, 16)).Data(IntegerSampleBytes(six, 16)).Bytes()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PlayableSound sound = PlayableSoundFromFile(c.wave);
        EXPECT_FALSE(sound.converted);
        EXPECT_TRUE(sound.wave == c.wave);
        EXPECT_TRUE(sound.description.ends_with(", kept as it is")) << sound.description;
    }
    EXPECT_EQ(PlayableSoundFromFile(cases[2].wave).description, "WAV 24-bit PCM 22050 Hz stereo, kept as it is");
}

TEST(SoundSourceTest, WaveFormsTheSaverCannotPlayBecomeSixteenBitPcm)
{
    const std::vector<double> stereo = SineFrames(700, 2, 44100, 440, 0.7);
    const std::vector<double> mono = SineFrames(333, 1, 11025, 1000, 0.9);
    const struct {
        const char* name;
        Bytes wave;
        std::vector<double> samples;  // as stored
        uint16_t channels;
        uint32_t rate;
        const char* description;
    } cases[] = {
        {"extensible PCM 16",
         WaveEntry().Chunk("fmt ", ExtensibleFormatBody(WaveSampleKind::Pcm, 2, 44100, 16, 16, 3)).Data(IntegerSampleBytes(stereo, 16)).Bytes(),
         stereo, 2, 44100, "WAV extensible 16-bit PCM 44100 Hz stereo, converted to 16-bit PCM"},
        {"extensible PCM 24 in 32",
         WaveEntry().Chunk("fmt ", ExtensibleFormatBody(WaveSampleKind::Pcm, 2, 44100, 32, 24, 3)).Data(IntegerSampleBytes(stereo, 32)).Bytes(),
         stereo, 2, 44100, "WAV extensible 24-bit PCM 44100 Hz stereo, converted to 16-bit PCM"},
        {"extensible float",
         WaveEntry().Chunk("fmt ", ExtensibleFormatBody(WaveSampleKind::Float, 1, 11025, 32, 32, 4)).Data(FloatSampleBytes(mono, 32)).Bytes(),
         mono, 1, 11025, "WAV extensible 32-bit float 11025 Hz mono, converted to 16-bit PCM"},
        {"float 32", WaveEntry().Format(TaggedFormat(3, 2, 44100, 32)).Data(FloatSampleBytes(stereo, 32)).Bytes(), stereo, 2, 44100,
         "WAV 32-bit float 44100 Hz stereo, converted to 16-bit PCM"},
        {"float 64 after the data chunk",
         WaveEntry().Data(FloatSampleBytes(mono, 64)).Format(TaggedFormat(3, 1, 11025, 64)).Bytes(), mono, 1, 11025,
         "WAV 64-bit float 11025 Hz mono, converted to 16-bit PCM"},
        // Playable samples behind a padded odd-sized chunk the saver's walk
        // would lose its way at.
        {"padded odd chunk",
         WaveEntry().Format(PcmFormat(2, 44100, 16)).Chunk("note", {'a', 'b', 'c', 0}, 3).Data(IntegerSampleBytes(stereo, 16)).Bytes(),
         stereo, 2, 44100, "WAV 16-bit PCM 44100 Hz stereo, converted to 16-bit PCM"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_THROW(CheckWaveFile(c.wave), ArchiveBuildError);
        const PlayableSound sound = PlayableSoundFromFile(c.wave);
        EXPECT_TRUE(sound.converted);
        EXPECT_EQ(sound.description, c.description);
        const Decoded decoded = DecodeCanonical(sound.wave);
        EXPECT_EQ(decoded.info.channels, c.channels);
        EXPECT_EQ(decoded.info.samplesPerSecond, c.rate);
        ASSERT_EQ(decoded.samples.size(), c.samples.size());
        for (size_t k = 0; k < c.samples.size(); ++k)
            ASSERT_NEAR(decoded.samples[k], Expected16(c.samples[k]), 1) << "sample " << k;
    }
}

// Rounding to the nearest step (halves away from zero), clipping, and NaN.
TEST(SoundSourceTest, FloatSamplesAreRoundedAndClipped)
{
    const double step = 1.0 / 32768;
    const std::vector<double> in = {0.5 * step, -0.5 * step, 1.49 * step, -2.5 * step, 1.0, -1.0, 3.0, -3.0,
                                    std::numeric_limits<double>::infinity(), std::nan(""), 0.999 };
    const std::vector<int16_t> out = {1, -1, 1, -3, 32767, -32768, 32767, -32768, 32767, 0, 32735};
    const PlayableSound sound = PlayableSoundFromFile(WaveEntry().Format(TaggedFormat(3, 1, 8000, 64)).Data(FloatSampleBytes(in, 64)).Bytes());
    EXPECT_EQ(DecodeCanonical(sound.wave).samples, out);

    // 24-bit integers: exactly v / 256 rounded.
    const Bytes pcm24 = {0x80, 0x00, 0x00, 0x7F, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80};
    const PlayableSound from24 =
        PlayableSoundFromFile(WaveEntry().Chunk("fmt ", ExtensibleFormatBody(WaveSampleKind::Pcm, 1, 8000, 24, 24, 4)).Data(pcm24).Bytes());
    EXPECT_EQ(DecodeCanonical(from24.wave).samples, (std::vector<int16_t>{1, 0, -1, 32767, -32768}));
}

// Five-point-one to stereo: each side speaker to its side, the centre to both
// at 1/sqrt(2), the low-frequency channel left out, all divided by the
// side's weight sum 1 + 1/sqrt(2) + 1.
TEST(SoundSourceTest, MoreThanTwoChannelsAreMixedDownToStereo)
{
    const double sum = 2 + 1 / std::numbers::sqrt2;
    const double half = 1 / std::numbers::sqrt2;
    // Frames: one channel at 0.6 at a time, in the order FL FR FC LFE BL BR.
    std::vector<double> frames;
    for (int loud = 0; loud < 6; ++loud)
        for (int c = 0; c < 6; ++c) frames.push_back(c == loud ? 0.6 : 0.0);
    const double expected[6][2] = {{0.6 / sum, 0}, {0, 0.6 / sum}, {0.6 * half / sum, 0.6 * half / sum}, {0, 0}, {0.6 / sum, 0}, {0, 0.6 / sum}};
    for (const bool extensible : {true, false}) {
        SCOPED_TRACE(extensible ? "extensible, mask 0x3F" : "float, default order");
        const Bytes wave = extensible ? WaveEntry().Chunk("fmt ", ExtensibleFormatBody(WaveSampleKind::Float, 6, 48000, 32, 32, 0x3F))
                                            .Data(FloatSampleBytes(frames, 32)).Bytes()
                                      : WaveEntry().Format(TaggedFormat(3, 6, 48000, 32)).Data(FloatSampleBytes(frames, 32)).Bytes();
        const PlayableSound sound = PlayableSoundFromFile(wave);
        EXPECT_TRUE(sound.description.ends_with("48000 Hz 6 channels, converted to 16-bit PCM, mixed down to stereo"))
            << sound.description;
        const Decoded decoded = DecodeCanonical(sound.wave);
        ASSERT_EQ(decoded.info.channels, 2);
        ASSERT_EQ(decoded.samples.size(), 12u);
        for (int loud = 0; loud < 6; ++loud) {
            EXPECT_NEAR(decoded.samples[2 * loud], Expected16(expected[loud][0]), 1) << loud;
            EXPECT_NEAR(decoded.samples[2 * loud + 1], Expected16(expected[loud][1]), 1) << loud;
        }
    }
    // A mask places the channels: one channel at back centre alone goes to both sides.
    const Bytes backCentre =
        WaveEntry().Chunk("fmt ", ExtensibleFormatBody(WaveSampleKind::Float, 3, 8000, 32, 32, 0x100 | 0x1 | 0x2))
            .Data(FloatSampleBytes({0, 0, 0.5}, 32)).Bytes();
    const Decoded mixed = DecodeCanonical(PlayableSoundFromFile(backCentre).wave);
    EXPECT_EQ(mixed.samples, (std::vector<int16_t>{Expected16(0.5 * half / (1 + half)), Expected16(0.5 * half / (1 + half))}));

    // Weights of both side sums stay within 1: full scale everywhere cannot clip.
    for (uint16_t channels = 3; channels <= 12; ++channels) {
        for (const auto& speakers : {WaveDefaultSpeakers(channels), VorbisDefaultSpeakers(channels)}) {
            long double left = 0, right = 0;
            for (const StereoWeight& weight : StereoMixWeights(speakers)) left += weight.left, right += weight.right;
            EXPECT_LE(left, 1.0L + 1e-12L) << channels;
            EXPECT_LE(right, 1.0L + 1e-12L) << channels;
            EXPECT_GT(left + right, 0.0L) << channels;
        }
    }
}

// Above the device's 384000 samples a second: down to 384000, the band kept
// and what lies above the new half rate taken out.
TEST(SoundSourceTest, RatesAboveWhatTheDeviceTakesAreResampled)
{
    const uint32_t from = 768000;
    const size_t frames = 76800;  // 0.1 s
    const PlayableSound sound =
        PlayableSoundFromFile(WaveEntry().Format(TaggedFormat(3, 1, from, 32)).Data(FloatSampleBytes(SineFrames(frames, 1, from, 1000, 0.5), 32)).Bytes());
    EXPECT_EQ(sound.description, "WAV 32-bit float 768000 Hz mono, converted to 16-bit PCM, resampled to 384000 Hz");
    const Decoded decoded = DecodeCanonical(sound.wave);
    EXPECT_EQ(decoded.info.samplesPerSecond, WaveMaximumSampleRate);
    ASSERT_EQ(decoded.samples.size(), frames / 2);
    // Every second input sample is an output sample: they agree away from the ends.
    const std::vector<double> sine = SineFrames(frames, 1, from, 1000, 0.5);
    for (size_t n = 1000; n < frames / 2 - 1000; n += 97) EXPECT_NEAR(decoded.samples[n], Expected16(sine[2 * n]), 2) << n;

    // 250 kHz lies above the new rate's 192 kHz: it must not fold back to 134 kHz.
    const Decoded high = DecodeCanonical(
        PlayableSoundFromFile(WaveEntry().Format(TaggedFormat(3, 1, from, 32)).Data(FloatSampleBytes(SineFrames(frames, 1, from, 250000, 0.5), 32)).Bytes())
            .wave);
    EXPECT_LT(Rms(high.samples, 1, 0, 1000), 0.001 * 0.5 * 32768 / std::numbers::sqrt2);

    // Straight through the resampler: a constant stays exactly constant, at the ends too.
    const std::vector<double> constant(3001, 0.25);
    for (const uint32_t to : {384000u, 44100u, 1000000u}) {
        const std::vector<double> out = ResampleFrames(constant, 1, 705600, to);
        EXPECT_EQ(out.size(), (3001u * to + 705599u) / 705600u);
        for (const double value : out) ASSERT_NEAR(value, 0.25, 1e-12) << to;
    }
}

TEST(SoundSourceTest, ConvertedSoundsHaveALengthLimit)
{
    // At one sample a second, an hour is 3600 frames.
    const auto wave = [](size_t frames) {
        return WaveEntry().Format(TaggedFormat(3, 1, 1, 32)).Data(FloatSampleBytes(std::vector<double>(frames, 0.1), 32)).Bytes();
    };
    EXPECT_EQ(DecodeCanonical(PlayableSoundFromFile(wave(MaximumConvertedSoundSeconds)).wave).samples.size(), MaximumConvertedSoundSeconds);
    EXPECT_EQ(ReasonFor(wave(MaximumConvertedSoundSeconds + 1)), "it lasts more than 60 minutes, the longest sound pack converts; shorten it");
}

TEST(SoundSourceTest, DamagedWavesAreRefusedWithTheirReason)
{
    const Bytes samples = FloatSampleBytes(SineFrames(100, 2, 8000, 300, 0.5), 32);
    Bytes wrongGuid = ExtensibleFormatBody(WaveSampleKind::Pcm, 2, 8000, 16, 16, 3);
    wrongGuid[30] = 0x11;
    Bytes shortExtensible = ExtensibleFormatBody(WaveSampleKind::Pcm, 2, 8000, 16, 16, 3);
    shortExtensible.resize(24);
    WaveFormatFields zeroAlign = TaggedFormat(3, 2, 8000, 32);
    zeroAlign.blockAlign = 0;
    const struct {
        const char* name;
        Bytes wave;
        std::string reason;
    } cases[] = {
        {"data cut short", WaveEntry().Format(TaggedFormat(3, 2, 8000, 32)).Data(samples, 5000).Bytes(),
         "it is cut short: its \"data\" chunk declares 5000 bytes, but only 800 follow"},
        {"no data", WaveEntry().Format(TaggedFormat(3, 2, 8000, 32)).Bytes(), "it has no \"data\" chunk"},
        {"no fmt", WaveEntry().Data(samples).Bytes(), "it has no \"fmt \" chunk"},
        {"fmt runs past the end", WaveEntry().Chunk("fmt ", Bytes(16, 0), 40).Bytes(), "its \"fmt \" chunk runs past the end of the file"},
        {"extensible cut short", WaveEntry().Chunk("fmt ", shortExtensible).Data(samples).Bytes(),
         "its extensible format (tag 0xFFFE) is cut short: the \"fmt \" chunk has 24 bytes, the format needs 40"},
        {"unknown subformat", WaveEntry().Chunk("fmt ", wrongGuid).Data(samples).Bytes(),
         "its extensible format has a subformat that is neither PCM nor float; save it as PCM"},
        {"no channels", WaveEntry().Format(TaggedFormat(3, 0, 8000, 32)).Data(samples).Bytes(), "its format has 0 channels"},
        {"rate 0", WaveEntry().Format(TaggedFormat(3, 2, 0, 32)).Data(samples).Bytes(), "its format has a sample rate of 0"},
        {"block align 0", WaveEntry().Format(zeroAlign).Data(samples).Bytes(),
         "its format's block align 0 is not a whole number of bytes for each of 2 channels"},
        {"float of 16 bits", WaveEntry().Format(TaggedFormat(3, 2, 8000, 16)).Data(samples).Bytes(),
         "its floating-point format has 16 bits per sample in 2-byte samples; pack reads 32 and 64 bits"},
        {"PCM wider than its container", WaveEntry().Format([] { auto f = PcmFormat(1, 8000, 16); f.bitsPerSample = 20; return f; }()).Data(samples).Bytes(),
         "its PCM format has 20 bits per sample in 2-byte samples, which pack cannot read"},
        {"only samples", WaveEntry().Format(TaggedFormat(3, 2, 8000, 32)).Data({}).Bytes(), "it decodes to no samples"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReasonFor(c.wave), c.reason);
    }
}

TEST(SoundSourceTest, FilesOfNoSoundKindSayWhatPackTakes)
{
    const std::string text = "ID is not enough: this is a text file named chime.mp3\n";
    const Bytes utf16Text = {0xFF, 0xFE, 'h', 0, 'i', 0, '\n', 0};  // starts like an MPEG frame header
    for (const Bytes& bytes : {Bytes(text.begin(), text.end()), utf16Text, Bytes{}, Bytes{'R', 'I', 'F', 'F'}}) {
        const std::string reason = ReasonFor(bytes);
#ifdef KAMISHIBAI_HAVE_SNDFILE
        EXPECT_EQ(reason, "not a sound file that pack takes: it takes WAV (RIFF WAVE), FLAC, Ogg Vorbis and MP3 files");
#else
        EXPECT_TRUE(reason.starts_with("not a RIFF WAVE file")) << reason;
#endif
    }
    const std::span<const std::string_view> extensions = SoundFileExtensions();
    EXPECT_EQ(extensions.front(), ".wav");
#ifdef KAMISHIBAI_HAVE_SNDFILE
    EXPECT_EQ(std::vector<std::string_view>(extensions.begin(), extensions.end()),
              (std::vector<std::string_view>{".wav", ".flac", ".ogg", ".oga", ".mp3"}));
#endif
}

#ifdef KAMISHIBAI_HAVE_SNDFILE

// A file written by libsndfile in the given format from 16-bit samples.
Bytes EncodeWithSndfile(int format, int channels, int rate, const std::vector<int16_t>& samples)
{
    const std::filesystem::path path = std::filesystem::path(testing::TempDir()) / "sound-source-fixture";
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.string().c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        ADD_FAILURE() << "libsndfile cannot write format " << std::hex << format << ": " << sf_strerror(nullptr);
        return {};
    }
    // The best the lossy encoders do, so that the tones come back clear.
    double bestQuality = 0.0;
    sf_command(file, SFC_SET_COMPRESSION_LEVEL, &bestQuality, sizeof bestQuality);
    EXPECT_EQ(sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size() / channels)),
              static_cast<sf_count_t>(samples.size() / channels));
    sf_close(file);
    std::ifstream in(path, std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(path);
    return bytes;
}

std::vector<int16_t> Sine16(size_t frames, uint16_t channels, uint32_t rate, double frequency, double amplitude)
{
    std::vector<int16_t> samples;
    for (const double sample : SineFrames(frames, channels, rate, frequency, amplitude)) samples.push_back(Expected16(sample));
    return samples;
}

// FLAC is lossless: the very samples come back.
TEST(SoundSourceTest, FlacIsConvertedSampleForSample)
{
    for (const uint16_t channels : {1, 2}) {
        const std::vector<int16_t> samples = Sine16(4410, channels, 44100, 523.25, 0.8);
        const Bytes flac = EncodeWithSndfile(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, channels, 44100, samples);
        const PlayableSound sound = PlayableSoundFromFile(flac);
        EXPECT_TRUE(sound.converted);
        EXPECT_EQ(sound.description, std::string("FLAC 44100 Hz ") + (channels == 1 ? "mono" : "stereo") + ", converted to 16-bit PCM");
        EXPECT_EQ(DecodeCanonical(sound.wave).samples, samples);
    }
    // Six channels in FLAC are in WAV order, mixed down like a WAV's.
    std::vector<int16_t> six(6 * 100, 0);
    for (size_t n = 0; n < 100; ++n) six[6 * n + 4] = 16384;  // back left
    const Decoded mixed = DecodeCanonical(PlayableSoundFromFile(EncodeWithSndfile(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 6, 48000, six)).wave);
    ASSERT_EQ(mixed.samples.size(), 200u);
    EXPECT_EQ(mixed.samples[0], Expected16(0.5 / (2 + 1 / std::numbers::sqrt2)));
    EXPECT_EQ(mixed.samples[1], 0);
}

// Zero crossings of one channel from frame skip on (twice the frequency a
// second), with a margin so that codec noise around zero does not count.
size_t ZeroCrossings(const std::vector<int16_t>& samples, size_t channels, size_t channel, size_t skip)
{
    size_t count = 0;
    int side = 0;
    for (size_t at = skip * channels + channel; at < samples.size(); at += channels) {
        const int now = samples[at] > 2000 ? 1 : samples[at] < -2000 ? -1 : 0;
        if (now != 0 && side != 0 && now != side) ++count;
        if (now != 0) side = now;
    }
    return count;
}

// Lossy kinds: the same length within a frame of the codec, each channel's
// tone at its frequency and about as loud. (MP3 in mono: libsndfile's MP3
// encoder mixes the two tones of a stereo file into each other.)
TEST(SoundSourceTest, OggVorbisAndMp3AreConverted)
{
    const struct {
        const char* kind;
        int format;
        uint16_t channels;
    } cases[] = {
        {"Ogg Vorbis", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2},
        {"MP3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const size_t frames = 44100;
        const std::vector<int16_t> samples = Sine16(frames, c.channels, 44100, 440, 0.5);
        const PlayableSound sound = PlayableSoundFromFile(EncodeWithSndfile(c.format, c.channels, 44100, samples));
        EXPECT_EQ(sound.description,
                  std::string(c.kind) + " 44100 Hz " + (c.channels == 1 ? "mono" : "stereo") + ", converted to 16-bit PCM");
        const Decoded decoded = DecodeCanonical(sound.wave);
        EXPECT_EQ(decoded.info.channels, c.channels);
        EXPECT_EQ(decoded.info.samplesPerSecond, 44100u);
        const size_t decodedFrames = decoded.samples.size() / c.channels;
        EXPECT_NEAR(static_cast<double>(decodedFrames), static_cast<double>(frames), 1152.0);
        const double expected = 0.5 * 32768 / std::numbers::sqrt2;
        for (size_t channel = 0; channel < c.channels; ++channel) {
            EXPECT_NEAR(Rms(decoded.samples, c.channels, channel, 2000), expected, 0.05 * expected) << channel;
            // 440 Hz on the first channel, 880 Hz on the second.
            const double crossings = 2 * 440.0 * (channel + 1) * static_cast<double>(decodedFrames - 2000) / 44100;
            EXPECT_NEAR(static_cast<double>(ZeroCrossings(decoded.samples, c.channels, channel, 2000)), crossings, 0.01 * crossings)
                << channel;
        }
    }
}

TEST(SoundSourceTest, DamagedCompressedFilesAreRefused)
{
    const std::vector<int16_t> samples = Sine16(8000, 1, 8000, 440, 0.5);
    const struct {
        const char* kind;
        int format;
    } cases[] = {
        {"FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"Ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
        {"MP3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const Bytes whole = EncodeWithSndfile(c.format, 1, 8000, samples);
        // Only the first bytes: the stream header is cut.
        const Bytes cut(whole.begin(), whole.begin() + 12);
        const std::string reason = ReasonFor(cut);
        EXPECT_TRUE(reason.starts_with("damaged " + std::string(c.kind) + " ")) << reason;
        // Garbage after the first bytes: refused or decoded, never a crash.
        Bytes scrambled = whole;
        for (size_t k = 64; k < scrambled.size(); k += 7) scrambled[k] ^= 0x5A;
        try {
            const PlayableSound sound = PlayableSoundFromFile(scrambled);
            CheckWaveFile(sound.wave);
        } catch (const ArchiveBuildError&) {
        }
    }
    // A WAV of a compressed form libsndfile decodes (IMA ADPCM) is converted
    // through it; the same form damaged says what it is.
    const Bytes adpcm = EncodeWithSndfile(SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1, 8000, samples);
    const PlayableSound sound = PlayableSoundFromFile(adpcm);
    EXPECT_EQ(sound.description, "WAV IMA ADPCM 8000 Hz mono, converted to 16-bit PCM");
    EXPECT_NEAR(static_cast<double>(DecodeCanonical(sound.wave).samples.size()), 8000.0, 1024.0);
    Bytes badAdpcm = WaveEntry().Format(TaggedFormat(0x11, 1, 8000, 4)).Data(Bytes(100, 0)).Bytes();
    EXPECT_TRUE(ReasonFor(badAdpcm).starts_with("its samples are stored in format tag 0x0011, which pack cannot decode (")) << ReasonFor(badAdpcm);
}

// The whole way: pack a manifest that names a FLAC file, and play it.
class SoundPackTest : public ScrtoolFixture {};

TEST_F(SoundPackTest, PackedFlacPlaysForItsLength)
{
    const Bytes flac = EncodeWithSndfile(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 8000, Sine16(12000, 2, 8000, 440, 0.5));
    Write("chime.flac", flac);
    const std::string scenario = "sound 1021\nwait 5\n";
    Write("scenario.txt", Bytes(scenario.begin(), scenario.end()));
    const std::string manifest = "[scenario]\nfile = \"scenario.txt\"\n[[sound]]\nid = 1021\nfile = \"chime.flac\"\n";
    Write("manifest.toml", Bytes(manifest.begin(), manifest.end()));
    const RunResult packed = Run({"pack", "manifest.toml", "-o", "show.brsc"}, folder_);
    ASSERT_EQ(packed.exitCode, 0) << packed.err;

    const RunResult played = Run({"play", "show.brsc", "--size", "32x24", "--until", "3000"}, folder_);
    ASSERT_EQ(played.exitCode, 0) << played.err;
    // A sound record alone loops; the length is the sound's.
    EXPECT_NE(played.out.find(" sound 1021 loop 1500\n"), std::string::npos) << played.out;

    // What cat gives back is the converted WAV.
    const RunResult cat = Run({"cat", "show.brsc", "SSWv", "1021"}, folder_);
    ASSERT_EQ(cat.exitCode, 0) << cat.err;
    EXPECT_EQ(DecodeCanonical(Bytes(cat.out.begin(), cat.out.end())).samples.size(), 24000u);
}

#endif  // KAMISHIBAI_HAVE_SNDFILE

}  // namespace
