// x_window_host WxH: makes a plain X window of that size, as a screen-saver
// daemon would for its hack, prints its id in decimal on standard output and
// keeps it until killed. The Linux saver's screen test hands the id to
// kamishibai --window-id.
//
// x_window_host --close ID: asks the window ID to close as a window
// manager's close button does (WM_DELETE_WINDOW); the screen tests run
// without a window manager.
#include <X11/Xlib.h>

#include <cstring>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

int AskToClose(const char* id)
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return 1;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(std::strtoul(id, nullptr, 0));
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--close") == 0) return AskToClose(argv[2]);
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
