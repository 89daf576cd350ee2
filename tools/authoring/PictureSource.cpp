#include "tools/authoring/PictureSource.h"

#include "imaging/DirectBmpControl.h"
#include "imaging/PictureLoader.h"
#include "platform/JpegDecoder.h"
#include "platform/Stream.h"
#include "platform/Utf8Path.h"
#include "ZULResourceUtilLib/LittleEndian.h"
#if KAMISHIBAI_HAVE_WEBP
#include "tools/authoring/WebpPicture.h"
#endif
#if KAMISHIBAI_HAVE_HEIF
#include "tools/authoring/HeifPicture.h"
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <system_error>

namespace {

// ---------------------------------------------------------------------------
// Loading

RgbaImage FromJpeg(std::span<const uint8_t> bytes)
{
    TBytesStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
    // With the saver's own limit, so that a stream its loader would refuse
    // is refused here too.
    JpegFrameDimensions frame;
    const std::unique_ptr<TBitmap> bitmap = DecodeJpeg(stream, JpegLimits{0, 0, MaximumPictureBytes}, &frame);
    if (!bitmap && frame.width > 0 && frame.height > 0 &&
        !PictureWithinMemoryLimit(static_cast<uint64_t>(frame.width), static_cast<uint64_t>(frame.height)))
        throw PictureSourceError("the JPEG picture is " + std::to_string(frame.width) + " x " +
                                 std::to_string(frame.height) + " pixels: larger than the " +
                                 std::to_string(MaximumPictureBytes >> 20) + " MB a picture may take");
    if (!bitmap || bitmap->PixelFormat() != TPixelFormat::Bits24)
        throw PictureSourceError("JPEG data is damaged or of a kind that cannot be decoded");
    RgbaImage image;
    image.width = bitmap->Width();
    image.height = bitmap->Height();
    image.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4);
    uint8_t* out = image.pixels.data();
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* row = bitmap->ScanLine(y);
        for (int32_t x = 0; x < image.width; ++x, row += 3, out += 4) {
            out[0] = row[2];
            out[1] = row[1];
            out[2] = row[0];
            out[3] = 255;
        }
    }
    return image;
}

// "RIFF", a length, "WEBP": the RIFF form every WebP file is.
bool HasWebpHeader(std::span<const uint8_t> bytes)
{
    return bytes.size() >= 12 && std::equal(bytes.begin(), bytes.begin() + 4, "RIFF") &&
           std::equal(bytes.begin() + 8, bytes.begin() + 12, "WEBP");
}

// A HEIF file starts with its ftyp box: size, "ftyp", the major brand, a
// minor version, then compatible brands up to the box's end. Any of the
// brands of still images and image sequences, HEVC-coded or generic, makes
// it one; a box longer than the bytes at hand is read as far as they go.
bool HasHeifImageBrand(std::span<const uint8_t> bytes)
{
    if (bytes.size() < 16 || !std::equal(bytes.begin() + 4, bytes.begin() + 8, "ftyp")) return false;
    const uint32_t boxSize = uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
    if (boxSize < 16) return false;
    const size_t end = std::min<size_t>(boxSize, bytes.size());
    static constexpr const char* brands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx",
                                             "hevm", "hevs", "mif1", "msf1"};
    const auto isImageBrand = [&](size_t at) {
        return std::any_of(std::begin(brands), std::end(brands), [&](const char* brand) {
            return std::equal(bytes.begin() + static_cast<ptrdiff_t>(at), bytes.begin() + static_cast<ptrdiff_t>(at + 4), brand);
        });
    };
    if (isImageBrand(8)) return true;
    for (size_t at = 16; at + 4 <= end; at += 4)
        if (isImageBrand(at)) return true;
    return false;
}

// ".jpg, .jpeg, .png, ...": the extensions this build reads, for messages.
std::string ExtensionNames()
{
    std::string names;
    for (const std::string_view extension : PictureFileExtensions()) {
        if (!names.empty()) names += ", ";
        names += extension;
    }
    return names;
}

// ---------------------------------------------------------------------------
// Colours. Inside the converter a colour is 0xRRGGBB.

int Red(uint32_t colour) { return static_cast<int>(colour >> 16 & 0xFF); }
int Green(uint32_t colour) { return static_cast<int>(colour >> 8 & 0xFF); }
int Blue(uint32_t colour) { return static_cast<int>(colour & 0xFF); }
int Channel(uint32_t colour, int channel) { return static_cast<int>(colour >> (16 - 8 * channel) & 0xFF); }

uint32_t MakeColour(int red, int green, int blue)
{
    return static_cast<uint32_t>(red) << 16 | static_cast<uint32_t>(green) << 8 | static_cast<uint32_t>(blue);
}

// Every pixel laid over the background, as 0xRRGGBB.
std::vector<uint32_t> OpaqueColours(const RgbaImage& image, uint32_t background)
{
    std::vector<uint32_t> colours(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
    const uint8_t* pixel = image.pixels.data();
    for (uint32_t& colour : colours) {
        const unsigned alpha = pixel[3];
        int channel[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned under = static_cast<unsigned>(Channel(background, c));
            channel[c] = alpha == 255 ? pixel[c]
                                      : static_cast<int>((pixel[c] * alpha + under * (255 - alpha) + 127) / 255);
        }
        colour = MakeColour(channel[0], channel[1], channel[2]);
        pixel += 4;
    }
    return colours;
}

int Luma(uint32_t colour)
{
    return (Red(colour) * 299 + Green(colour) * 587 + Blue(colour) * 114 + 500) / 1000;
}

// ---------------------------------------------------------------------------
// Median cut

struct ColourCount {
    uint32_t colour;
    uint64_t count;
};

// The picture's distinct colours with their pixel counts, in colour order.
std::vector<ColourCount> Histogram(const std::vector<uint32_t>& colours)
{
    std::vector<uint32_t> sorted(colours);
    std::sort(sorted.begin(), sorted.end());
    std::vector<ColourCount> histogram;
    for (size_t k = 0; k < sorted.size();) {
        size_t end = k + 1;
        while (end < sorted.size() && sorted[end] == sorted[k]) ++end;
        histogram.push_back({sorted[k], end - k});
        k = end;
    }
    return histogram;
}

// Pixel-weighted sums over a set of colours: the squared error of the set
// around its mean is sumSquares − sum² / count, over the three channels.
struct Moments {
    uint64_t count = 0;
    std::array<uint64_t, 3> sum{};
    std::array<uint64_t, 3> sumSquares{};

    void Add(const ColourCount& entry)
    {
        count += entry.count;
        for (int c = 0; c < 3; ++c) {
            const uint64_t value = static_cast<uint64_t>(Channel(entry.colour, c));
            sum[c] += value * entry.count;
            sumSquares[c] += value * value * entry.count;
        }
    }
    void Add(const Moments& other)
    {
        count += other.count;
        for (int c = 0; c < 3; ++c) {
            sum[c] += other.sum[c];
            sumSquares[c] += other.sumSquares[c];
        }
    }
    Moments Minus(const Moments& part) const
    {
        Moments rest;
        rest.count = count - part.count;
        for (int c = 0; c < 3; ++c) {
            rest.sum[c] = sum[c] - part.sum[c];
            rest.sumSquares[c] = sumSquares[c] - part.sumSquares[c];
        }
        return rest;
    }
    double Error() const
    {
        if (count == 0) return 0;
        double error = 0;
        for (int c = 0; c < 3; ++c) {
            const double total = static_cast<double>(sum[c]);
            error += static_cast<double>(sumSquares[c]) - total * total / static_cast<double>(count);
        }
        return error;
    }
    uint32_t Mean() const
    {
        int channel[3];
        for (int c = 0; c < 3; ++c) channel[c] = static_cast<int>((sum[c] + count / 2) / count);
        return MakeColour(channel[0], channel[1], channel[2]);
    }
};

// The median cut works on cells: the picture's colours with the lowest
// `shift` bits of each channel dropped, each cell carrying the exact moments
// of its pixels, so that errors and means stay those of the real colours.
// The shift is the smallest that leaves at most MaximumCells cells: every
// colour is its own cell in most pictures, while photographs with millions
// of colours are cut in neighbourhoods of 2 × 2 × 2 to 8 × 8 × 8 colours.
constexpr size_t MaximumCells = 32768;
constexpr int RefinementRounds = 4;

struct Cell {
    uint32_t key;  // the cell's coordinates, (256 >> shift) steps per channel, red highest
    int shift;
    Moments moments;

    int Coordinate(int channel) const
    {
        const int bits = 8 - shift;
        return static_cast<int>(key >> (bits * (2 - channel)) & ((1u << bits) - 1));
    }
};

uint32_t CellKey(uint32_t colour, int shift)
{
    const int bits = 8 - shift;
    return static_cast<uint32_t>(Red(colour) >> shift) << (2 * bits) | static_cast<uint32_t>(Green(colour) >> shift) << bits |
           static_cast<uint32_t>(Blue(colour) >> shift);
}

std::vector<Cell> CellsAt(const std::vector<ColourCount>& histogram, int shift)
{
    const int bits = 8 - shift;
    std::vector<Cell> cells;
    if (shift == 0) {
        for (const ColourCount& entry : histogram) {
            cells.push_back({CellKey(entry.colour, shift), 0, {}});
            cells.back().moments.Add(entry);
        }
        return cells;
    }
    std::vector<int32_t> slot(size_t{1} << (3 * bits), -1);
    for (const ColourCount& entry : histogram) {
        int32_t& index = slot[CellKey(entry.colour, shift)];
        if (index < 0) {
            index = static_cast<int32_t>(cells.size());
            cells.push_back({CellKey(entry.colour, shift), shift, {}});
        }
        cells[static_cast<size_t>(index)].moments.Add(entry);
    }
    return cells;
}

std::vector<Cell> MakeCells(const std::vector<ColourCount>& histogram)
{
    int shift = 0;
    for (size_t count = histogram.size(); count > MaximumCells && shift < 3;) {
        ++shift;
        const int bits = 8 - shift;
        std::vector<bool> seen(size_t{1} << (3 * bits));
        count = 0;
        for (const ColourCount& entry : histogram) {
            const uint32_t key = CellKey(entry.colour, shift);
            if (!seen[key]) {
                seen[key] = true;
                ++count;
            }
        }
    }
    return CellsAt(histogram, shift);
}

struct Box {
    size_t begin, end;  // a run of the cells
    Moments moments;
    double error;
};

Box MakeBox(const std::vector<Cell>& cells, size_t begin, size_t end)
{
    Box box{begin, end, {}, 0};
    for (size_t k = begin; k < end; ++k) box.moments.Add(cells[k].moments);
    box.error = box.moments.Error();
    return box;
}

// Splits a box of at least two cells in two, at the threshold on one of the
// three channels that leaves the least squared error in the halves. Each
// channel's candidates come from per-level sums, so no sorting is needed;
// the halves are sets, and their sums do not depend on the order of the
// cells.
std::pair<Box, Box> SplitBox(std::vector<Cell>& cells, const Box& box)
{
    const size_t levels = size_t{256} >> cells[box.begin].shift;
    int bestChannel = -1;
    int bestThreshold = 0;
    double bestError = std::numeric_limits<double>::infinity();
    std::vector<Moments> byLevel(levels);
    for (int channel = 0; channel < 3; ++channel) {
        std::fill(byLevel.begin(), byLevel.end(), Moments{});
        for (size_t k = box.begin; k < box.end; ++k)
            byLevel[static_cast<size_t>(cells[k].Coordinate(channel))].Add(cells[k].moments);
        Moments lower;  // levels 0 to threshold
        for (size_t threshold = 0; threshold + 1 < levels; ++threshold) {
            lower.Add(byLevel[threshold]);
            if (lower.count == 0 || lower.count == box.moments.count) continue;  // one side empty
            const double error = lower.Error() + box.moments.Minus(lower).Error();
            if (error < bestError) {
                bestError = error;
                bestChannel = channel;
                bestThreshold = static_cast<int>(threshold);
            }
        }
    }
    // Two distinct cells differ in some channel, so a threshold was found.
    const auto middle = std::partition(cells.begin() + static_cast<ptrdiff_t>(box.begin), cells.begin() + static_cast<ptrdiff_t>(box.end),
                                       [&](const Cell& cell) { return cell.Coordinate(bestChannel) <= bestThreshold; });
    const size_t cut = static_cast<size_t>(middle - cells.begin());
    return {MakeBox(cells, box.begin, cut), MakeBox(cells, cut, box.end)};
}

// A few rounds of moving each palette colour to the mean of the cells
// nearest to it (Lloyd's iteration): the boxes' cuts are straight planes,
// and cells near a cut are often nearer to the neighbouring box's mean.
// Sums are integers, so the result does not depend on the order of the cells.
void RefinePalette(const std::vector<Cell>& cells, std::vector<uint32_t>& palette)
{
    for (int round = 0; round < RefinementRounds; ++round) {
        std::vector<uint8_t> entries(palette.size() * 4, 0);
        for (size_t i = 0; i < palette.size(); ++i) {
            entries[4 * i] = static_cast<uint8_t>(Blue(palette[i]));
            entries[4 * i + 1] = static_cast<uint8_t>(Green(palette[i]));
            entries[4 * i + 2] = static_cast<uint8_t>(Red(palette[i]));
        }
        const NearestColour nearest(entries);
        std::vector<Moments> members(palette.size());
        for (const Cell& cell : cells) {
            const uint32_t mean = cell.moments.Mean();
            members[nearest.Find(Red(mean), Green(mean), Blue(mean))].Add(cell.moments);
        }
        bool moved = false;
        for (size_t i = 0; i < palette.size(); ++i) {
            if (members[i].count == 0) continue;  // keeps its colour
            const uint32_t mean = members[i].Mean();
            moved = moved || mean != palette[i];
            palette[i] = mean;
        }
        if (!moved) break;
    }
}

// At most `size` colours standing for the histogram, in colour order.
std::vector<uint32_t> ChoosePalette(const std::vector<ColourCount>& histogram, size_t size)
{
    std::vector<uint32_t> palette;
    if (histogram.size() <= size) {
        for (const ColourCount& entry : histogram) palette.push_back(entry.colour);
        return palette;
    }
    std::vector<Cell> cells = MakeCells(histogram);
    std::vector<Box> boxes{MakeBox(cells, 0, cells.size())};
    while (boxes.size() < size) {
        size_t chosen = boxes.size();
        for (size_t k = 0; k < boxes.size(); ++k)
            if (boxes[k].end - boxes[k].begin >= 2 && (chosen == boxes.size() || boxes[k].error > boxes[chosen].error))
                chosen = k;
        if (chosen == boxes.size()) break;
        auto [first, second] = SplitBox(cells, boxes[chosen]);
        boxes[chosen] = first;
        boxes.push_back(second);
    }
    for (const Box& box : boxes) palette.push_back(box.moments.Mean());
    RefinePalette(cells, palette);
    std::sort(palette.begin(), palette.end());
    return palette;
}

// ---------------------------------------------------------------------------
// Index pictures

uint8_t Clamp(int value)
{
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

void PutIndex(uint8_t* row, int32_t x, int depth, unsigned index)
{
    const unsigned bit = static_cast<unsigned>(x) * static_cast<unsigned>(depth);
    const unsigned shift = 8 - static_cast<unsigned>(depth) - bit % 8;
    row[bit / 8] = static_cast<uint8_t>(row[bit / 8] | index << shift);
}

// Maps a working colour (channels already in 0..255) to a palette index and
// the colour that index stands for.
struct IndexChoice {
    unsigned index;
    std::array<int, 3> colour;
};

// Writes the index of every pixel: channels is 3 (colour) or 1 (grey level in
// [0]); choose maps working values to an entry.
template <int Channels, typename Choose>
void WriteIndices(ConvertedPicture& picture, const std::vector<std::array<uint8_t, Channels>>& values, Dithering dithering,
                  Choose choose)
{
    const int32_t width = picture.width;
    if (dithering == Dithering::None) {
        for (int32_t y = 0; y < picture.height; ++y) {
            uint8_t* row = picture.rows.data() + static_cast<size_t>(y) * picture.stride;
            for (int32_t x = 0; x < width; ++x) {
                const auto& value = values[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
                std::array<int, 3> working{};
                for (int c = 0; c < Channels; ++c) working[c] = value[c];
                PutIndex(row, x, picture.depth, choose(working).index);
            }
        }
        return;
    }
    // Floyd-Steinberg: errors in sixteenths, one row of them ahead, with a
    // spare column at each end; rows run left to right and back again.
    const size_t columns = static_cast<size_t>(width) + 2;
    std::vector<std::array<int, 3>> current(columns), next(columns);
    for (int32_t y = 0; y < picture.height; ++y) {
        uint8_t* row = picture.rows.data() + static_cast<size_t>(y) * picture.stride;
        const bool forward = y % 2 == 0;
        const int step = forward ? 1 : -1;
        for (int32_t i = 0; i < width; ++i) {
            const int32_t x = forward ? i : width - 1 - i;
            const size_t column = static_cast<size_t>(x) + 1;
            const auto& value = values[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
            std::array<int, 3> working{};
            for (int c = 0; c < Channels; ++c) working[c] = Clamp(value[c] + ((current[column][c] + 8) >> 4));
            const IndexChoice chosen = choose(working);
            PutIndex(row, x, picture.depth, chosen.index);
            for (int c = 0; c < Channels; ++c) {
                const int error = working[c] - chosen.colour[c];
                current[column + step][c] += error * 7;
                next[column - step][c] += error * 3;
                next[column][c] += error * 5;
                next[column + step][c] += error * 1;
            }
        }
        current.swap(next);
        std::fill(next.begin(), next.end(), std::array<int, 3>{});
    }
}

// The grey ramp of a pixel buffer of this depth, as written by its layout.
std::vector<int> GreyRamp(int depth)
{
    std::vector<int> levels(size_t{1} << depth);
    for (size_t i = 0; i < levels.size(); ++i) {
        switch (depth) {
        case 1: levels[i] = i == 0 ? 0 : 255; break;
        case 4: levels[i] = i == 15 ? 255 : static_cast<int>(i) * 16; break;
        default: levels[i] = static_cast<int>(i); break;
        }
    }
    return levels;
}

void ConvertGrey(ConvertedPicture& picture, const std::vector<uint32_t>& colours, Dithering dithering)
{
    const std::vector<int> levels = GreyRamp(picture.depth);
    // Nearest level for every grey value, the lower index on ties.
    std::array<unsigned, 256> nearest{};
    for (int value = 0; value < 256; ++value) {
        unsigned best = 0;
        for (unsigned i = 1; i < levels.size(); ++i)
            if (std::abs(levels[i] - value) < std::abs(levels[best] - value)) best = i;
        nearest[static_cast<size_t>(value)] = best;
    }
    for (size_t i = 0; i < levels.size(); ++i)
        std::fill_n(picture.palette.begin() + static_cast<ptrdiff_t>(4 * i), 3, static_cast<uint8_t>(levels[i]));

    std::vector<std::array<uint8_t, 1>> greys(colours.size());
    for (size_t k = 0; k < colours.size(); ++k) greys[k][0] = static_cast<uint8_t>(Luma(colours[k]));
    WriteIndices<1>(picture, greys, dithering, [&](const std::array<int, 3>& working) {
        const unsigned index = nearest[static_cast<size_t>(working[0])];
        return IndexChoice{index, {levels[index], 0, 0}};
    });
}

void ConvertQuantised(ConvertedPicture& picture, const std::vector<uint32_t>& colours, Dithering dithering)
{
    const std::vector<ColourCount> histogram = Histogram(colours);
    const std::vector<uint32_t> chosen = ChoosePalette(histogram, size_t{1} << picture.depth);
    for (size_t i = 0; i < chosen.size(); ++i) {
        picture.palette[4 * i] = static_cast<uint8_t>(Blue(chosen[i]));
        picture.palette[4 * i + 1] = static_cast<uint8_t>(Green(chosen[i]));
        picture.palette[4 * i + 2] = static_cast<uint8_t>(Red(chosen[i]));
    }
    // Entries past the chosen colours are black fillers that no pixel uses.
    const NearestColour nearest(std::span<const uint8_t>(picture.palette.data(), 4 * chosen.size()));
    auto choose = [&](const std::array<int, 3>& working) {
        const unsigned index = nearest.Find(working[0], working[1], working[2]);
        return IndexChoice{index, {Red(chosen[index]), Green(chosen[index]), Blue(chosen[index])}};
    };

    std::vector<std::array<uint8_t, 3>> values(colours.size());
    for (size_t k = 0; k < colours.size(); ++k)
        values[k] = {static_cast<uint8_t>(Red(colours[k])), static_cast<uint8_t>(Green(colours[k])),
                     static_cast<uint8_t>(Blue(colours[k]))};
    WriteIndices<3>(picture, values, dithering, choose);
}

// ---------------------------------------------------------------------------
// Direct colour pictures

uint16_t To565(uint32_t colour)
{
    const unsigned red = static_cast<unsigned>(Red(colour) * 31 + 127) / 255;
    const unsigned green = static_cast<unsigned>(Green(colour) * 63 + 127) / 255;
    const unsigned blue = static_cast<unsigned>(Blue(colour) * 31 + 127) / 255;
    return static_cast<uint16_t>(red << 11 | green << 5 | blue);
}

void ConvertDirect(ConvertedPicture& picture, const std::vector<uint32_t>& colours)
{
    for (int32_t y = 0; y < picture.height; ++y) {
        uint8_t* out = picture.rows.data() + static_cast<size_t>(y) * picture.stride;
        const uint32_t* colour = colours.data() + static_cast<size_t>(y) * static_cast<size_t>(picture.width);
        for (int32_t x = 0; x < picture.width; ++x, ++colour) {
            switch (picture.depth) {
            case 16:
                WriteLe16(out, To565(*colour));
                out += 2;
                break;
            case 24:
                *out++ = static_cast<uint8_t>(Blue(*colour));
                *out++ = static_cast<uint8_t>(Green(*colour));
                *out++ = static_cast<uint8_t>(Red(*colour));
                break;
            default:
                *out++ = static_cast<uint8_t>(Blue(*colour));
                *out++ = static_cast<uint8_t>(Green(*colour));
                *out++ = static_cast<uint8_t>(Red(*colour));
                *out++ = 255;
                break;
            }
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------

PictureFileKind PictureFileKindOf(std::span<const uint8_t> bytes)
{
    if (HasPngSignature(bytes)) return PictureFileKind::Png;
    if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) return PictureFileKind::Jpeg;
    if (HasWebpHeader(bytes)) return PictureFileKind::Webp;
    if (HasHeifImageBrand(bytes)) return PictureFileKind::Heif;
    return PictureFileKind::Unknown;
}

std::span<const std::string_view> PictureFileExtensions()
{
    static constexpr std::string_view extensions[] = {
        ".jpg", ".jpeg", ".png",
#if KAMISHIBAI_HAVE_WEBP
        ".webp",
#endif
#if KAMISHIBAI_HAVE_HEIF
        ".heic", ".heif",
#endif
    };
    return extensions;
}

void CheckPictureSourceSize(std::string_view kind, int64_t width, int64_t height)
{
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width <= 0 || height <= 0)
        throw PictureSourceError("the " + std::string(kind) + " picture is " + size + " pixels: it has no pixels");
    if (width > MaximumBufferDimension || height > MaximumBufferDimension)
        throw PictureSourceError("the " + std::string(kind) + " picture is " + size + " pixels: more than the " +
                                 std::to_string(MaximumBufferDimension) + " pixels a side a picture may have");
    if (!PictureWithinMemoryLimit(static_cast<uint64_t>(width), static_cast<uint64_t>(height)))
        throw PictureSourceError("the " + std::string(kind) + " picture is " + size + " pixels: larger than the " +
                                 std::to_string(MaximumPictureBytes >> 20) + " MB a picture may take");
}

RgbaImage DecodePictureSource(std::span<const uint8_t> bytes)
{
    switch (PictureFileKindOf(bytes)) {
    case PictureFileKind::Png:
        try {
            return DecodePng(bytes);
        } catch (const PngError& error) {
            throw PictureSourceError(std::string("PNG: ") + error.what());
        }
    case PictureFileKind::Jpeg: return FromJpeg(bytes);
    case PictureFileKind::Webp:
#if KAMISHIBAI_HAVE_WEBP
        return DecodeWebp(bytes);
#else
        throw PictureSourceError("a WebP picture: this build of scrtool does not read WebP (convert it to JPEG or PNG)");
#endif
    case PictureFileKind::Heif:
#if KAMISHIBAI_HAVE_HEIF
        return DecodeHeif(bytes);
#else
        throw PictureSourceError("a HEIF picture: this build of scrtool does not read HEIF (convert it to JPEG or PNG)");
#endif
    case PictureFileKind::Unknown: break;
    }
    throw PictureSourceError("not a picture file of a kind this build reads (" + ExtensionNames() + ")");
}

RgbaImage LoadPictureSource(const std::filesystem::path& path)
{
    const std::string name = Utf8FromPath(path);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) throw PictureSourceError(name + ": is a directory, not a picture file");
    std::ifstream file(path, std::ios::binary);
    if (!file) throw PictureSourceError(name + ": cannot open: " + std::generic_category().message(errno));
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) throw PictureSourceError(name + ": cannot read");
    try {
        return DecodePictureSource(bytes);
    } catch (const PictureSourceError& error) {
        throw PictureSourceError(name + ": " + error.what());
    }
}

PictureEntryFields ConvertedPicture::Fields(PictureStorage storage) const
{
    PictureEntryFields fields;
    fields.depth = static_cast<uint8_t>(depth);
    fields.paletteCount = static_cast<uint16_t>(palette.size() / 4);
    fields.stride = stride;
    fields.width = static_cast<uint16_t>(width);
    fields.height = static_cast<uint16_t>(height);
    fields.storageKind = static_cast<uint8_t>(storage);
    return fields;
}

ConvertedPicture ConvertPicture(const RgbaImage& image, const PictureConversion& conversion)
{
    const int depth = conversion.depth;
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32)
        throw PictureSourceError("depth " + std::to_string(depth) + " is not one of 1, 4, 8, 16, 24 and 32");
    if (image.width <= 0 || image.height <= 0 || image.width > MaximumBufferDimension ||
        image.height > MaximumBufferDimension)
        throw PictureSourceError("picture size " + std::to_string(image.width) + " x " + std::to_string(image.height) +
                                 " is not between 1 and " + std::to_string(MaximumBufferDimension) +
                                 " pixels in each direction");
    if (image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4)
        throw PictureSourceError("picture bytes do not match its size");

    ConvertedPicture picture;
    picture.depth = depth;
    picture.width = image.width;
    picture.height = image.height;
    picture.stride = PictureStride(depth, image.width);
    picture.rows.assign(static_cast<size_t>(picture.stride) * static_cast<size_t>(image.height), 0);
    const std::vector<uint32_t> colours = OpaqueColours(image, conversion.background);
    if (depth > 8) {
        ConvertDirect(picture, colours);
        return picture;
    }
    picture.palette.assign(size_t{4} << depth, 0);
    if (conversion.palette == PaletteChoice::Grey)
        ConvertGrey(picture, colours, conversion.dithering);
    else
        ConvertQuantised(picture, colours, conversion.dithering);
    return picture;
}

// ---------------------------------------------------------------------------
// Nearest palette colour

NearestColour::NearestColour(std::span<const uint8_t> palette)
{
    for (size_t i = 0; i + 4 <= palette.size(); i += 4)
        byGreen_.push_back({palette[i + 2], palette[i + 1], palette[i], static_cast<unsigned>(i / 4)});
    std::sort(byGreen_.begin(), byGreen_.end(), [](const Entry& a, const Entry& b) {
        return a.green != b.green ? a.green < b.green : a.index < b.index;
    });
}

unsigned NearestColour::Find(int red, int green, int blue) const
{
    // Outwards from the entries nearest in green; a side stops once its green
    // difference alone exceeds the best distance (equal may still tie).
    const auto start = std::lower_bound(byGreen_.begin(), byGreen_.end(), green,
                                        [](const Entry& entry, int value) { return entry.green < value; });
    int best = std::numeric_limits<int>::max();
    unsigned bestIndex = 0;
    auto consider = [&](const Entry& entry) {
        const int dr = entry.red - red, dg = entry.green - green, db = entry.blue - blue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < best || (distance == best && entry.index < bestIndex)) {
            best = distance;
            bestIndex = entry.index;
        }
    };
    auto up = start, down = start;
    bool upOpen = up != byGreen_.end(), downOpen = down != byGreen_.begin();
    while (upOpen || downOpen) {
        if (upOpen) {
            const int dg = up->green - green;
            if (dg * dg > best) {
                upOpen = false;
            } else {
                consider(*up);
                upOpen = ++up != byGreen_.end();
            }
        }
        if (downOpen) {
            const int dg = green - (down - 1)->green;
            if (dg * dg > best) {
                downOpen = false;
            } else {
                consider(*(down - 1));
                downOpen = --down != byGreen_.begin();
            }
        }
    }
    return bestIndex;
}

unsigned NearestColourReference(std::span<const uint8_t> palette, int red, int green, int blue)
{
    int best = std::numeric_limits<int>::max();
    unsigned bestIndex = 0;
    for (size_t i = 0; i + 4 <= palette.size(); i += 4) {
        const int dr = palette[i + 2] - red, dg = palette[i + 1] - green, db = palette[i] - blue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < best) {
            best = distance;
            bestIndex = static_cast<unsigned>(i / 4);
        }
    }
    return bestIndex;
}
