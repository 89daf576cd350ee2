#include "shell/linux/SdlViewer.h"

#include "platform/MainThreadCalls.h"
#include "platform/sdl/SdlCanvas.h"
#include "scenario/PlayerTrace.h"
#include "shell/common/ViewerSession.h"
// After our own headers: Xlib defines None, Bool and Status as macros.
#include "platform/sdl/X11ErrorTrap.h"

#include <SDL.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace {

// Linux has no screen-saver password of the saver's own: the screen locker
// asks for the user's password, not the show.
class NoPassword final : public ScreenSaverPassword {
public:
    std::optional<int64_t> UsePasswordValue() override { return std::nullopt; }
    PasswordVerdict Verify() override { return PasswordVerdict::NoLibrary; }
};

// A connection of the saver's own to the display, for questions asked
// before SDL has a window.
using OwnDisplay = std::unique_ptr<Display, int (*)(Display*)>;
OwnDisplay OpenOwnDisplay()
{
    return OwnDisplay(XOpenDisplay(nullptr), XCloseDisplay);
}

// Whether the X window exists.
bool WindowExists(uint64_t id)
{
    const OwnDisplay display = OpenOwnDisplay();
    if (display == nullptr) return false;
    X11ErrorTrap trap(display.get());
    XWindowAttributes attributes{};
    const Status status = XGetWindowAttributes(display.get(), static_cast<Window>(id), &attributes);
    return status != 0 && !trap.Failed();
}

// Whether a window manager that follows the desktop conventions runs: it
// names a window of its own on the root window, and that window names it
// back.
bool WindowManagerRunning()
{
    const OwnDisplay display = OpenOwnDisplay();
    if (display == nullptr) return false;
    const Atom check = XInternAtom(display.get(), "_NET_SUPPORTING_WM_CHECK", True);
    if (check == 0) return false;
    X11ErrorTrap trap(display.get());
    const auto checkWindow = [&display, check](Window window) -> Window {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        Window found = 0;
        if (XGetWindowProperty(display.get(), window, check, 0, 1, False, XA_WINDOW, &type, &format, &count, &after,
                               &data) == Success &&
            type == XA_WINDOW && format == 32 && count == 1)
            found = *reinterpret_cast<Window*>(data);
        if (data != nullptr) XFree(data);
        return found;
    };
    const Window manager = checkWindow(DefaultRootWindow(display.get()));
    const bool running = manager != 0 && checkWindow(manager) == manager;
    return running && !trap.Failed();
}

uint64_t RootWindowId()
{
    const OwnDisplay display = OpenOwnDisplay();
    return display != nullptr ? DefaultRootWindow(display.get()) : 0;
}

// The windows of one run: the one the show draws in, and black covers for
// the other monitors in full screen.
class ViewerWindows {
public:
    ~ViewerWindows()
    {
        for (SDL_Window* cover : covers_) SDL_DestroyWindow(cover);
        if (show_ != nullptr) SDL_DestroyWindow(show_);
    }

    void Make(const SdlViewerSetup& setup)
    {
        switch (setup.mode) {
        case LinuxViewMode::Window:
            show_ = SDL_CreateWindow("Kamishibai", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, setup.width,
                                     setup.height, SDL_WINDOW_RESIZABLE);
            width_ = setup.width;
            height_ = setup.height;
            break;
        case LinuxViewMode::ForeignWindow:
        case LinuxViewMode::RootWindow: {
            const uint64_t id = setup.mode == LinuxViewMode::RootWindow ? RootWindowId() : setup.foreignWindow;
            if (id == 0) throw std::runtime_error("there is no X display to draw on");
            if (!WindowExists(id)) throw std::runtime_error("cannot draw into window 0x" + Hex(id) + ": no such window");
            show_ = SDL_CreateWindowFrom(reinterpret_cast<void*>(static_cast<uintptr_t>(id)));
            if (show_ == nullptr)
                throw std::runtime_error("cannot draw into window 0x" + Hex(id) + ": " + SDL_GetError());
            SDL_GetWindowSize(show_, &width_, &height_);
            return;
        }
        case LinuxViewMode::FullScreen: {
            // A window manager is asked to make the windows full screen
            // and answers at once. Without one, SDL would wait 100 ms for an
            // answer that never comes, and a borderless window of the
            // monitor's size is all that full screen needs.
            const Uint32 fullScreen = WindowManagerRunning() ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0;
            const int displays = SDL_GetNumVideoDisplays();
            for (int display = 0; display < displays; ++display) {
                SDL_Rect bounds{};
                if (SDL_GetDisplayBounds(display, &bounds) != 0) continue;
                SDL_Window* window =
                    SDL_CreateWindow("Kamishibai", bounds.x, bounds.y, bounds.w, bounds.h,
                                     SDL_WINDOW_BORDERLESS | fullScreen);
                if (window == nullptr) continue;
                if (show_ == nullptr) {
                    show_ = window;
                    width_ = bounds.w;
                    height_ = bounds.h;
                } else {
                    covers_.push_back(window);
                }
            }
            SDL_ShowCursor(SDL_DISABLE);
            PaintCovers();
            break;
        }
        }
        if (show_ == nullptr) throw std::runtime_error(std::string("cannot open a window: ") + SDL_GetError());
    }

    void PaintCovers()
    {
        for (SDL_Window* cover : covers_) {
            SDL_Surface* surface = SDL_GetWindowSurface(cover);
            if (surface == nullptr) continue;
            SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
            SDL_UpdateWindowSurface(cover);
        }
    }

    SDL_Window* Show() const { return show_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }

private:
    static std::string Hex(uint64_t value)
    {
        char text[24];
        std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
        return text;
    }

    SDL_Window* show_ = nullptr;
    std::vector<SDL_Window*> covers_;
    int32_t width_ = 0;
    int32_t height_ = 0;
};

class ViewerLoop {
public:
    ViewerLoop(const SdlViewerSetup& setup, const SdlViewerEvents& events) : setup_(setup), events_(events) {}

    int Run()
    {
        windows_.Make(setup_);
        // Only the ordinary window may be resized, and then shows the show
        // scaled to fit.
        const auto scaling = setup_.mode == LinuxViewMode::Window ? SdlCanvas::Scaling::Fit : SdlCanvas::Scaling::Fixed;
        canvas_ = std::make_unique<SdlCanvas>(windows_.Show(), windows_.Width(), windows_.Height(), setup_.text, scaling);

        ViewerServices services;
        services.calls = setup_.calls;
        services.canvas = canvas_.get();
        services.sound = setup_.sound;
        services.random = setup_.random;
        services.text = setup_.text;
        services.makeScreenBitmap = [this](int32_t width, int32_t height) {
            return canvas_->MakeScreenBitmap(width, height);
        };
        services.stepFailed = [this](const std::exception& failure) {
            std::fprintf(stderr, "kamishibai: %s\n", failure.what());
            failed_ = true;
            running_ = false;
        };
        if (setup_.traceLine)
            trace_ = std::make_unique<PlayerTrace>(clock_, clock_.Now(), setup_.traceLine);
        services.observer = trace_.get();
        ViewerStart start;
        start.width = windows_.Width();
        start.height = windows_.Height();
        start.settings = setup_.settings;
        start.archivePaths = setup_.archivePaths;
        session_ = std::make_unique<ViewerSession>(services, start);
        int x = 0, y = 0;
        SDL_GetGlobalMouseState(&x, &y);
        session_->SetStartCursor(TPoint{x, y});

        if (!session_->Start())
            throw std::runtime_error("not enough memory for a screen of " + std::to_string(windows_.Width()) + " x " +
                                     std::to_string(windows_.Height()) + " pixels");
        // The loop waits on the step queue, not on SDL: the timer hands a step
        // over every 10 ms, and SDL's own wake-up message cannot reach a
        // window another program made. Input waits at most one step.
        while (running_) {
            setup_.calls->WaitAndRunPending(std::chrono::milliseconds(10));
            SDL_Event event;
            while (running_ && SDL_PollEvent(&event)) Handle(event);
            if (running_ && canvas_->Changed()) canvas_->Present();
            if (!firstDrawingShown_ && canvas_->Draws() > 0) {
                firstDrawingShown_ = true;
                if (setup_.reportFirstDrawingSince) ReportFirstDrawing();
            }
        }
        // No step reaches the session from here on; then it goes, and the
        // windows after it.
        session_->Stop();
        session_.reset();
        return failed_ ? 1 : 0;
    }

private:
    bool FullScreen() const { return setup_.mode == LinuxViewMode::FullScreen; }
    bool Foreign() const { return setup_.mode == LinuxViewMode::ForeignWindow || setup_.mode == LinuxViewMode::RootWindow; }

    void ReportFirstDrawing() const
    {
        const auto elapsed = std::chrono::steady_clock::now() - *setup_.reportFirstDrawingSince;
        std::fprintf(stderr, "kamishibai: first drawing on screen %.1f ms after start\n",
                     std::chrono::duration<double, std::milli>(elapsed).count());
    }

    void TryClose()
    {
        NoPassword password;
        if (session_->CloseQuery(password) != CloseAnswer::Refuse) running_ = false;
    }

    void Handle(const SDL_Event& event)
    {
        if (event.type == events_.soundEnded) {
            if (setup_.soundEnded) setup_.soundEnded(reinterpret_cast<uintptr_t>(event.user.data1));
            return;
        }
        switch (event.type) {
        case SDL_QUIT: running_ = false; return;  // SIGTERM, SIGINT
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_CLOSE && !Foreign()) TryClose();
            if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) canvas_->WindowResized();
            if (event.window.event == SDL_WINDOWEVENT_EXPOSED || event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                canvas_->Present(true);
                windows_.PaintCovers();
            }
            return;
        case SDL_KEYDOWN:
            if (FullScreen() && session_->KeyPressed()) TryClose();
            if (setup_.mode == LinuxViewMode::Window &&
                (event.key.keysym.sym == SDLK_ESCAPE || event.key.keysym.sym == SDLK_q))
                TryClose();
            return;
        case SDL_MOUSEBUTTONDOWN:
            if (FullScreen() && session_->ButtonPressed()) TryClose();
            return;
        case SDL_MOUSEMOTION:
            if (FullScreen()) {
                // Motion events carry the window's coordinates; the rule is
                // about the screen's.
                int left = 0, top = 0;
                if (SDL_Window* window = SDL_GetWindowFromID(event.motion.windowID))
                    SDL_GetWindowPosition(window, &left, &top);
                if (session_->PointerMoved(TPoint{left + event.motion.x, top + event.motion.y})) TryClose();
            }
            return;
        default: return;
        }
    }

    const SdlViewerSetup& setup_;
    const SdlViewerEvents& events_;
    ViewerWindows windows_;
    SystemClock clock_;
    std::unique_ptr<PlayerTrace> trace_;
    std::unique_ptr<SdlCanvas> canvas_;
    std::unique_ptr<ViewerSession> session_;
    bool running_ = true;
    bool failed_ = false;
    bool firstDrawingShown_ = false;
};

}  // namespace

SdlViewerEvents RegisterSdlViewerEvents()
{
    const uint32_t first = SDL_RegisterEvents(1);
    if (first == static_cast<uint32_t>(-1)) throw std::runtime_error("SDL has no event numbers left");
    return SdlViewerEvents{first};
}

int RunSdlViewer(const SdlViewerSetup& setup, const SdlViewerEvents& events)
{
    try {
        ViewerLoop loop(setup, events);
        return loop.Run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kamishibai: %s\n", error.what());
        return 1;
    }
}
