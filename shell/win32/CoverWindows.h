// CoverWindows: black windows over every monitor but the primary one while
// the saver runs full screen, so that no desktop shows beside the slide
// show. They belong to the viewer (owned windows, gone with it), hide the
// cursor as it does, and hand their input to it: any key or click ends the
// saver from any monitor, and so does moving the pointer far enough.
#pragma once

#include <windows.h>

#include <vector>

class TViewForm;

constexpr wchar_t CoverClassName[] = L"KamishibaiCover";

class CoverWindows {
public:
    // One window for each monitor that does not lie at the primary
    // monitor's place; topmost unless asked otherwise.
    void Create(HINSTANCE instance, TViewForm& viewer, bool topmost);
    size_t Count() const { return windows_.size(); }

private:
    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    std::vector<HWND> windows_;
};
