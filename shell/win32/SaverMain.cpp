// The saver's entry: reads its names from the string table, picks its mode
// from the command line and runs it.
//
// Full screen and preview make the viewer window and run the message loop
// until it closes; the password mode hands over to the system's dialog; the
// configuration mode shows the settings dialog over the window that was in
// front. An
// error that reaches the entry is shown once in a message box, and the
// program always returns 0, as the display settings expect of a saver.
#include "platform/MainThreadCalls.h"
#include "platform/TextRenderer.h"
#include "platform/win32/WaveOutDevice.h"
#include "shell/common/IntegerText.h"
#include "shell/common/SaverCommandLine.h"
#include "shell/win32/StartupValues.h"
#include "shell/win32/SystemPassword.h"
#include "shell/win32/TConfigForm.h"
#include "shell/win32/TViewForm.h"
#include "platform/win32/WideText.h"
#include "sound/WaveDataControl.h"
#include "ZULResourceUtilLib/SubtractiveRandom.h"

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace {

// The build picks where the settings live: the ini file beside the saver,
// or the current user's registry key.
#if KAMISHIBAI_SAVER_STORE_REGISTRY
constexpr PreferenceStoreKind SaverPreferenceStore = PreferenceStoreKind::Registry;
#else
constexpr PreferenceStoreKind SaverPreferenceStore = DefaultPreferenceStore;
#endif

constexpr UINT SaverNameEntry = 1;
constexpr UINT SettingsFileEntry = 1001;

std::vector<std::string> CommandLineArguments()
{
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr) return arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(Utf8Of(words[i]));
    LocalFree(words);
    return arguments;
}

HWND WindowOfNumber(int32_t number)
{
    // Window handles are 32-bit values, sign-extended on 64-bit Windows.
    return reinterpret_cast<HWND>(static_cast<intptr_t>(number));
}

// Where the sound player's notices go: the viewer, once it exists. The end
// notice comes from a worker thread, hence the atomic.
struct SoundNotices {
    std::atomic<HWND> window{nullptr};
    bool errorShown = false;
};

// Full screen and preview: the slide show until the viewer closes.
void RunViewer(HINSTANCE instance, const StartupValues& startup)
{
    // The queue, like the sound player, serves the whole process; it is
    // never freed, since a timer thread on its way out may still use it.
    static MainThreadCalls* calls = new MainThreadCalls;
    SubtractiveRandom random;
    random.Seed(static_cast<int32_t>(GetTickCount()));
    const std::unique_ptr<TextRenderer> text = MakeTextRenderer();

    SoundNotices notices;
    WaveOwner owner;
    owner.endNotice = [&notices](uint64_t opening) {
        PostMessageW(notices.window.load(), SoundEndMessage, static_cast<WPARAM>(opening), 0);
    };
    // A device that cannot play is said once; the show goes on silently,
    // and the box is shown from the message loop, not inside a step.
    owner.reportError = [&notices](const std::string& error) {
        if (notices.errorShown) return;
        notices.errorShown = true;
        auto message = std::make_unique<std::string>(error);
        if (PostMessageW(notices.window.load(), ShowErrorMessage, 0, reinterpret_cast<LPARAM>(message.get())))
            message.release();
    };
    const std::unique_ptr<WaveOutput> output = MakeSystemWaveOutput();
    auto sound = std::make_unique<oWaveDataControl>(*output, *calls, owner);

    ViewerProcess process;
    process.calls = calls;
    process.sound = sound.get();
    process.random = &random;
    process.text = text.get();
    {
        TViewForm viewer(instance, startup, process);
        notices.window = viewer.Handle();
        MSG message;
        while (viewer.Open() && GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        notices.window = nullptr;
    }
    // The sound stops and its workers end (it runs their last calls itself);
    // then nothing is left that the queue should run.
    sound.reset();
    calls->Shutdown();
}

void RunSaver(HINSTANCE instance)
{
    StartupValues startup;
    startup.SaverName = LoadStringOr(instance, SaverNameEntry, "ScreenSaver");
    startup.SettingsFileName = LoadStringOr(instance, SettingsFileEntry, "ScreenSaver.ini");
    startup.Preferences = PreferenceEnvironment::OfThisProgram(SaverPreferenceStore);
    startup.Language = CurrentUserLanguage();

    const SaverCommand command = ParseSaverCommandLine(CommandLineArguments());
    startup.NoTopmost = command.noTopmost;
    switch (command.mode) {
    case SaverMode::Configuration:
        startup.ConfigOwner = GetForegroundWindow();
        ShowConfigDialog(instance, startup, startup.Preferences);
        return;
    case SaverMode::FullScreen: RunViewer(instance, startup); return;
    case SaverMode::Preview:
        startup.PreviewParent = WindowOfNumber(IntegerOfText(command.windowArgument));
        ShowWindow(startup.PreviewParent, SW_SHOW);
        GetWindowRect(startup.PreviewParent, &startup.PreviewRect);
        startup.PreviewMode = true;
        RunViewer(instance, startup);
        return;
    case SaverMode::PasswordChange:
        ChangeScreenSaverPassword(WindowOfNumber(ParseIntegerText(command.windowArgument).value_or(0)));
        return;
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    try {
        RunSaver(instance);
    } catch (const std::exception& failure) {
        ShowErrorBox(nullptr, failure.what());
    }
    return 0;
}
