// X11ErrorTrap: while one lives, an X error only marks the trap failed.
// Xlib's default handler ends the process on any error, which a question
// about a window that may be gone, or an offer of shared memory that a
// remote server refuses, must not do.
//
// The handler is the process's, so traps must not overlap; the saver sets
// them only while starting, on its main thread.
#pragma once

#include <X11/Xlib.h>

class X11ErrorTrap {
public:
    explicit X11ErrorTrap(Display* display) : display_(display)
    {
        failed_ = false;
        previous_ = XSetErrorHandler(Note);
    }
    ~X11ErrorTrap()
    {
        XSync(display_, False);
        XSetErrorHandler(previous_);
    }
    X11ErrorTrap(const X11ErrorTrap&) = delete;
    X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

    // Whether any request made so far failed (waits for the server's
    // answers to all of them).
    bool Failed()
    {
        XSync(display_, False);
        return failed_;
    }

private:
    static int Note(Display*, XErrorEvent*)
    {
        failed_ = true;
        return 0;
    }

    static inline bool failed_ = false;
    Display* display_;
    XErrorHandler previous_;
};
