// x_window_host WxH: makes a plain X window of that size, as a screen-saver
// daemon would for its hack, prints its id in decimal on standard output and
// keeps it until killed. The Linux saver's screen test hands the id to
// kamishibai --window-id.
#include <X11/Xlib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv)
{
    int width = 320, height = 240;
    if (argc > 1 && std::sscanf(argv[1], "%dx%d", &width, &height) != 2) {
        std::fprintf(stderr, "usage: x_window_host WxH\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "x_window_host: no display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 10, 10, width, height, 0,
                                              BlackPixel(display, screen), WhitePixel(display, screen));
    XStoreName(display, window, "x_window_host");
    XMapWindow(display, window);
    XSync(display, False);
    std::printf("%lu\n", static_cast<unsigned long>(window));
    std::fflush(stdout);
    // The window lives as long as the process; the test kills it.
    for (;;) pause();
}
