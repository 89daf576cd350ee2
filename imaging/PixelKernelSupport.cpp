#include "imaging/PixelKernelSupport.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

bool ClipLikeCopy(const DirectBmpControl& destination, const TRect& destinationRect, const DirectBmpControl& source,
                  const TRect& sourceRect, ClippedArea& area)
{
    // In 64 bits: callers' rectangles may lie anywhere in the 32-bit plane.
    int64_t w = std::min(destinationRect.Width(), sourceRect.Width());
    int64_t sx = sourceRect.left;
    int64_t dx = destinationRect.left;
    if (sx < 0) {
        w += sx;
        dx -= sx;
        sx = 0;
    }
    if (dx < 0) {
        w += dx;
        sx -= dx;
        dx = 0;
    }
    if (sx + w > ReachableWidth(source)) w = ReachableWidth(source) - sx;
    if (dx + w > ReachableWidth(destination)) w = ReachableWidth(destination) - dx;

    int64_t h = std::min(destinationRect.Height(), sourceRect.Height());
    int64_t sy = sourceRect.top;
    int64_t dy = destinationRect.top;
    if (sy < 0) {
        h += sy;
        dy -= sy;
        sy = 0;
    }
    if (dy < 0) {
        h += dy;
        sy -= dy;
        dy = 0;
    }
    if (sy + h > ReachableHeight(source)) h = ReachableHeight(source) - sy;
    if (dy + h > ReachableHeight(destination)) h = ReachableHeight(destination) - dy;

    if (w <= 0 || h <= 0) return false;
    // Every value is now inside a buffer, so it fits 32 bits.
    area.sourceX = static_cast<int32_t>(sx);
    area.sourceY = static_cast<int32_t>(sy);
    area.destinationX = static_cast<int32_t>(dx);
    area.destinationY = static_cast<int32_t>(dy);
    area.width = static_cast<int32_t>(w);
    area.height = static_cast<int32_t>(h);
    return true;
}

namespace {

struct ByteRange {
    uintptr_t begin = UINTPTR_MAX;
    uintptr_t end = 0;
};

ByteRange RangeOfRows(const DirectBmpControl& buffer, const RowBytes& bytes)
{
    ByteRange range;
    for (int32_t r = 0; r < bytes.rows; ++r) {
        const uint8_t* row = buffer.Rows[bytes.firstRow + r];
        if (row == nullptr) continue;
        const uintptr_t begin = reinterpret_cast<uintptr_t>(row) + bytes.offset;
        range.begin = std::min(range.begin, begin);
        range.end = std::max(range.end, begin + bytes.length);
    }
    return range;
}

}  // namespace

bool RowBytesOverlap(const DirectBmpControl& a, const RowBytes& aBytes, const DirectBmpControl& b,
                     const RowBytes& bBytes)
{
    const ByteRange first = RangeOfRows(a, aBytes);
    const ByteRange second = RangeOfRows(b, bBytes);
    return first.begin < second.end && second.begin < first.end;
}

bool AnyRowMissing(const DirectBmpControl& buffer, int32_t firstRow, int32_t rows)
{
    for (int32_t r = 0; r < rows; ++r)
        if (buffer.Rows[firstRow + r] == nullptr) return true;
    return false;
}

StretchKind PlanStretchCopy(DirectBmpControl& destination, const TRect& destinationRect,
                            const DirectBmpControl& source, const TRect& sourceRect)
{
    const int d = destination.BitsPerPixel;
    const int s = source.BitsPerPixel;
    if ((d != 24 && d != 32) || (s != 8 && s != 24 && s != 32)) return StretchKind::Refused;
    if (sourceRect.Width() == destinationRect.Width() && sourceRect.Height() == destinationRect.Height()) {
        Copy(destination, destinationRect, source, sourceRect);
        return StretchKind::Copied;
    }
    if (sourceRect.left < 0 || sourceRect.top < 0 || destinationRect.left < 0 || destinationRect.top < 0 ||
        sourceRect.right > ReachableWidth(source) || destinationRect.right > ReachableWidth(destination) ||
        sourceRect.bottom > ReachableHeight(source) || destinationRect.bottom > ReachableHeight(destination)) {
        return StretchKind::Refused;
    }
    if (sourceRect.Width() <= 0 || sourceRect.Height() <= 0 || destinationRect.Width() <= 0 ||
        destinationRect.Height() <= 0) {
        return StretchKind::Refused;
    }
    // Enlarging also reads the row below the rectangle when there is one.
    const int32_t sourceRows =
        static_cast<int32_t>(std::min<int64_t>(int64_t{sourceRect.bottom} + 1, ReachableHeight(source)) -
                             sourceRect.top);
    if (AnyRowMissing(source, sourceRect.top, sourceRows) ||
        AnyRowMissing(destination, destinationRect.top, destinationRect.bottom - destinationRect.top)) {
        return StretchKind::Refused;
    }
    const bool enlarge = sourceRect.Width() < destinationRect.Width() || sourceRect.Height() < destinationRect.Height();
    return enlarge ? StretchKind::Enlarge : StretchKind::Shrink;
}

namespace {

double QuotientAsDouble(int32_t numerator, int32_t denominator)
{
    return static_cast<double>(static_cast<long double>(numerator) / static_cast<long double>(denominator));
}

}  // namespace

int64_t EnlargeStep(int32_t from, int32_t to)
{
    return static_cast<int64_t>(static_cast<long double>(QuotientAsDouble(from, to)) * 1024);
}

int64_t ShrinkScale(int32_t from, int32_t to)
{
    return static_cast<int64_t>(static_cast<long double>(QuotientAsDouble(to, from)) * 1024);
}

int64_t ShrinkInverse(int32_t from, int32_t to)
{
    return static_cast<int64_t>(1 / static_cast<long double>(QuotientAsDouble(to, from)) * 1024);
}

namespace {

// Below this many pixel visits, waking a worker costs more than it saves.
constexpr int64_t MinimumParallelCost = 64 * 1024;
constexpr int MaximumHelpers = 7;

// A small pool of helper threads, started on first use and kept for the
// life of the process. The threads are detached and the pool is never
// destroyed: at exit the operating system ends them, so no exit path waits
// on a thread that may already be gone (Windows ends other threads before
// static destructors run).
class RowWorkers {
public:
    static RowWorkers& Instance()
    {
        static RowWorkers* const workers = new RowWorkers();
        return *workers;
    }

    int HelperCount() const { return helperCount_; }

    // False when another job holds the workers; the caller then runs the
    // rows itself.
    bool Run(int32_t rows, void (*body)(void*, int32_t, int32_t), void* context)
    {
        std::unique_lock<std::mutex> job(jobMutex_, std::try_to_lock);
        if (!job.owns_lock()) return false;

        uint64_t generation = 0;
        int32_t bands = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            body_ = body;
            context_ = context;
            rows_ = rows;
            // Two bands per thread even out rows of unequal cost.
            bands = std::min<int32_t>(rows, 2 * (helperCount_ + 1));
            bands_ = bands;
            nextBand_ = 0;
            unfinishedBands_ = bands_;
            generation = ++generation_;
        }
        wake_.notify_all();
        RunBands(generation, body, context, rows, bands);

        std::unique_lock<std::mutex> lock(mutex_);
        finished_.wait(lock, [this] { return unfinishedBands_ == 0; });
        return true;
    }

private:
    RowWorkers()
    {
        const unsigned cores = std::thread::hardware_concurrency();
        const int wanted = cores > 1 ? std::min<int>(static_cast<int>(cores) - 1, MaximumHelpers) : 0;
        for (int i = 0; i < wanted; ++i) {
            try {
                std::thread(&RowWorkers::HelperLoop, this).detach();
                ++helperCount_;
            } catch (...) {
                break;  // fewer helpers, same results
            }
        }
    }

    void HelperLoop()
    {
        uint64_t seen = 0;
        for (;;) {
            void (*body)(void*, int32_t, int32_t) = nullptr;
            void* context = nullptr;
            int32_t rows = 0;
            int32_t bands = 0;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [&] { return generation_ != seen; });
                seen = generation_;
                body = body_;
                context = context_;
                rows = rows_;
                bands = bands_;
            }
            RunBands(seen, body, context, rows, bands);
        }
    }

    // Bands are claimed under the lock and only while the job's generation
    // is current, so a helper that wakes late never runs an old job's body
    // on a newer job's bands.
    void RunBands(uint64_t generation, void (*body)(void*, int32_t, int32_t), void* context, int32_t rows,
                  int32_t bands)
    {
        for (;;) {
            int32_t band = 0;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (generation_ != generation || nextBand_ >= bands_) return;
                band = nextBand_++;
            }
            const int32_t first = static_cast<int32_t>(int64_t{rows} * band / bands);
            const int32_t end = static_cast<int32_t>(int64_t{rows} * (band + 1) / bands);
            body(context, first, end);
            bool last = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                last = --unfinishedBands_ == 0;
            }
            if (last) finished_.notify_all();
        }
    }

    int helperCount_ = 0;
    std::mutex jobMutex_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    uint64_t generation_ = 0;
    void (*body_)(void*, int32_t, int32_t) = nullptr;
    void* context_ = nullptr;
    int32_t rows_ = 0;
    int32_t bands_ = 0;
    int32_t nextBand_ = 0;
    int32_t unfinishedBands_ = 0;
};

}  // namespace

void RunRowBands(int32_t rows, int64_t costPerRow, void (*body)(void* context, int32_t firstRow, int32_t endRow),
                 void* context)
{
    if (rows <= 0) return;
    if (rows >= 2 && int64_t{rows} * costPerRow >= MinimumParallelCost) {
        RowWorkers* workers = nullptr;
        try {
            workers = &RowWorkers::Instance();
        } catch (...) {
            workers = nullptr;  // no memory for the pool: this thread does the work
        }
        if (workers != nullptr && workers->HelperCount() > 0 && workers->Run(rows, body, context)) return;
    }
    body(context, 0, rows);
}
