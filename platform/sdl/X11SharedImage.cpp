#include "platform/sdl/X11SharedImage.h"

#include "platform/sdl/X11ErrorTrap.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>

struct X11SharedImage::Parts {
    Display* display = nullptr;  // SDL's connection: requests stay in order with SDL's own
    Window window = 0;
    GC gc = nullptr;
    XShmSegmentInfo segment{};
    XImage* image = nullptr;
    bool attached = false;

    ~Parts()
    {
        if (attached) {
            // The server may still be reading from the memory.
            XShmDetach(display, &segment);
            XSync(display, False);
        }
        if (image != nullptr) {
            image->data = nullptr;  // the shared memory is not Xlib's to free
            XDestroyImage(image);
        }
        if (segment.shmaddr != nullptr && segment.shmaddr != reinterpret_cast<char*>(-1)) shmdt(segment.shmaddr);
        if (gc != nullptr) XFreeGC(display, gc);
    }
};

std::unique_ptr<X11SharedImage> X11SharedImage::Make(SDL_Window* window, int32_t width, int32_t height)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
    auto parts = std::make_unique<Parts>();
    parts->display = info.info.x11.display;
    parts->window = info.info.x11.window;
    Display* display = parts->display;
    if (!XShmQueryExtension(display)) return nullptr;

    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, parts->window, &attributes) == 0) return nullptr;
    const Visual* visual = attributes.visual;
    // Bytes blue, green, red, unused: 32 bits per pixel, red in the third
    // byte, least significant byte first.
    if (attributes.depth != 24 || visual->red_mask != 0xFF0000 || visual->green_mask != 0xFF00 ||
        visual->blue_mask != 0xFF || ImageByteOrder(display) != LSBFirst)
        return nullptr;

    parts->image = XShmCreateImage(display, attributes.visual, 24, ZPixmap, nullptr, &parts->segment,
                                   static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (parts->image == nullptr || parts->image->bits_per_pixel != 32) return nullptr;
    const size_t bytes = size_t(parts->image->bytes_per_line) * size_t(height);
    parts->segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (parts->segment.shmid < 0) return nullptr;
    parts->segment.shmaddr = static_cast<char*>(shmat(parts->segment.shmid, nullptr, 0));
    // Marked for removal at once: it goes when both sides let go, even if
    // this process is killed.
    shmctl(parts->segment.shmid, IPC_RMID, nullptr);
    if (parts->segment.shmaddr == reinterpret_cast<char*>(-1)) return nullptr;
    parts->image->data = parts->segment.shmaddr;
    parts->segment.readOnly = True;

    {
        // A server on another machine refuses the memory.
        XSync(display, False);
        X11ErrorTrap trap(display);
        const Status status = XShmAttach(display, &parts->segment);
        if (status == 0 || trap.Failed()) return nullptr;
    }
    parts->attached = true;

    parts->gc = XCreateGC(display, parts->window, 0, nullptr);
    if (parts->gc == nullptr) return nullptr;
    XSetForeground(display, parts->gc, BlackPixel(display, DefaultScreen(display)));
    return std::unique_ptr<X11SharedImage>(new X11SharedImage(std::move(parts), width, height));
}

X11SharedImage::X11SharedImage(std::unique_ptr<Parts> parts, int32_t width, int32_t height)
    : parts_(std::move(parts)), width_(width), height_(height)
{
}

X11SharedImage::~X11SharedImage()
{
    if (goneNotice_) goneNotice_();
}

uint8_t* X11SharedImage::ScanLine(int32_t row)
{
    return reinterpret_cast<uint8_t*>(parts_->image->data) + size_t(row) * size_t(parts_->image->bytes_per_line);
}

void X11SharedImage::Put(const TRect& rect)
{
    const int32_t left = std::max(rect.left, 0), top = std::max(rect.top, 0);
    const int32_t right = std::min(rect.right, width_), bottom = std::min(rect.bottom, height_);
    if (right <= left || bottom <= top) return;
    XShmPutImage(parts_->display, parts_->window, parts_->gc, parts_->image, left, top, left, top,
                 static_cast<unsigned>(right - left), static_cast<unsigned>(bottom - top), False);
    // The server reads the memory when it gets to the request; waiting for
    // it means the next frame never changes pixels it has yet to read.
    XSync(parts_->display, False);
}

void X11SharedImage::ClearWindow(const TRect& rect)
{
    if (rect.Width() <= 0 || rect.Height() <= 0) return;
    XFillRectangle(parts_->display, parts_->window, parts_->gc, rect.left, rect.top,
                   static_cast<unsigned>(rect.Width()), static_cast<unsigned>(rect.Height()));
    XFlush(parts_->display);
}
