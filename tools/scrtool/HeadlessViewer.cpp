#include "tools/scrtool/HeadlessViewer.h"

HeadlessViewer::HeadlessViewer(const HeadlessOptions& options)
    : clock(options.clockStart), text(MakeTextRenderer()), canvas(options.width, options.height, text.get())
{
    random.Seed(options.seed);
    if (options.trace != nullptr) {
        std::FILE* out = options.trace;
        trace = std::make_unique<PlayerTrace>(clock, options.clockStart, [out](const std::string& line) {
            std::fputs(line.c_str(), out);
            std::fputc('\n', out);
        });
    }
    PlayerServices services;
    services.clock = &clock;
    services.canvas = &canvas;
    services.sound = &sound;
    services.random = &random;
    services.text = text.get();
    services.observer = trace.get();
    ViewerSetup setup;
    setup.width = options.width;
    setup.height = options.height;
    setup.settings = options.settings;
    setup.soundOff = options.soundOff;
    player = std::make_unique<ScenarioPlayer>(services, setup);
}
