// ProgressLine: how far a long job has come, as one line on standard error
// that is rewritten in place: "scrtool pack: 12 of 240  IMG_0012.jpg  about
// 1:42 left". Only when standard error is a terminal (a person watching)
// and the user did not ask for quiet: otherwise nothing is drawn, and only
// warnings are written.
//
// Warnings go through Warn, which clears the line first, so that a warning
// never ends up in the middle of it. Callers that call from several threads
// serialise the calls themselves.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

class ProgressLine {
public:
    ProgressLine(std::string command, bool shown);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void Show(size_t done, size_t total, const std::string& item);
    // "scrtool: WHERE: warning: TEXT" on a line of its own.
    void Warn(const std::string& where, const std::string& text);
    void Clear();
    bool Shown() const { return shown_; }

private:
    std::string command_;
    bool shown_;
    bool drawn_ = false;
    size_t drawnLength_ = 0;
    std::chrono::steady_clock::time_point start_;
};

// "1:42", "1:02:03": a time left, whole seconds.
std::string RemainingTimeText(long long seconds);
// text cut at a UTF-8 character boundary to at most `bytes` bytes, with "…" at the cut.
std::string ShortenedText(const std::string& text, size_t bytes);
