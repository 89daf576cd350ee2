#include "tools/scrtool/ProgressLine.h"

#include <cstdio>

namespace {

// Room on an 80-column terminal for the name, beside the counts and the time.
constexpr size_t ItemBytes = 32;

}  // namespace

std::string RemainingTimeText(long long seconds)
{
    if (seconds < 0) seconds = 0;
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

std::string ShortenedText(const std::string& text, size_t bytes)
{
    if (text.size() <= bytes) return text;
    size_t cut = bytes >= 3 ? bytes - 3 : 0;  // room for the ellipsis's three bytes
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
    return text.substr(0, cut) + "\xE2\x80\xA6";
}

ProgressLine::ProgressLine(std::string command, bool shown)
    : command_(std::move(command)), shown_(shown), start_(std::chrono::steady_clock::now())
{
}

ProgressLine::~ProgressLine()
{
    Clear();
}

void ProgressLine::Show(size_t done, size_t total, const std::string& item)
{
    if (!shown_) return;
    std::string line = "scrtool " + command_ + ": " + std::to_string(done) + " of " + std::to_string(total) + "  " +
                       ShortenedText(item, ItemBytes);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    // After a few items the pace says something about the rest.
    if (done >= 2 && done < total && elapsed >= 1.0)
        line += "  about " + RemainingTimeText(static_cast<long long>(elapsed / static_cast<double>(done) *
                                                                      static_cast<double>(total - done) + 0.5)) +
                " left";
    // Back to the start of the line, and spaces over what a longer line left
    // (no terminal escapes: a Windows console may not take them).
    const size_t length = line.size();
    if (length < drawnLength_) line.append(drawnLength_ - length, ' ');
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
    drawnLength_ = length;
}

void ProgressLine::Warn(const std::string& where, const std::string& text)
{
    Clear();
    std::fprintf(stderr, "scrtool: %s: warning: %s\n", where.c_str(), text.c_str());
    std::fflush(stderr);
}

void ProgressLine::Clear()
{
    if (!drawn_) return;
    std::fprintf(stderr, "\r%s\r", std::string(drawnLength_, ' ').c_str());
    std::fflush(stderr);
    drawn_ = false;
    drawnLength_ = 0;
}
