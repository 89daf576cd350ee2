// scrtool wav ARCHIVE ID: a sound entry as the player loads it.
//
// The entry goes through the player's own Load (over a virtual output, so
// nothing plays), and the fields the load leaves are printed as key=value
// lines. A load that fails still prints them (status negative), and the
// failure's one line goes to stderr.

#include "tools/scrtool/ToolSupport.h"

#include "platform/MainThreadCalls.h"
#include "platform/VirtualWaveOutput.h"
#include "sound/WaveDataControl.h"
#include "sound/WaveFormat.h"

#include <cstdio>

namespace {

int RunWav(const ToolArguments& arguments)
{
    const std::string& archivePath = arguments.positional[0];
    const std::optional<uint32_t> id = ParseId(arguments.positional[1]);
    if (!id)
        return ReportUsage("wav", "ID must be a decimal number from 0 to 4294967295, got '" + arguments.positional[1] + "'");

    ResArchive archive;
    if (!OpenToolArchive(archive, archivePath)) return ExitFailure;
    const std::string entryName = "sound " + std::to_string(*id);
    const std::optional<ResEntryLocation> found = FindToolEntry(archive, archivePath, ResTagSound, *id, "sound");
    if (!found) return ExitFailure;
    const EntryRecord* record = found->record;

    ResCursor cursor;
    cursor.entry = *record;
    VirtualWaveOutput output;
    MainThreadCalls calls;
    oWaveDataControl player(output, calls, {}, WaveWorkerMode::Pumped);
    const int status = player.Load(archive, cursor);

    const WaveFormatFields& format = player.Format();
    std::printf("format_tag=%u\n", unsigned{format.formatTag});
    std::printf("channels=%u\n", unsigned{format.channels});
    std::printf("samples_per_sec=%lu\n", static_cast<unsigned long>(format.samplesPerSecond));
    std::printf("avg_bytes_per_sec=%lu\n", static_cast<unsigned long>(format.averageBytesPerSecond));
    std::printf("block_align=%u\n", unsigned{format.blockAlign});
    std::printf("bits_per_sample=%u\n", unsigned{format.bitsPerSample});
    std::printf("frame_bytes=%ld\n", static_cast<long>(player.FrameBytes()));
    std::printf("buffer_bytes=%ld\n", static_cast<long>(player.BufferBytes()));
    std::printf("duration_ms=%lu\n", static_cast<unsigned long>(player.DurationMs()));
    std::printf("data_length=%lu\n", static_cast<unsigned long>(player.DataLength()));
    std::printf("status=%d\n", status);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        ReportError("cannot write to standard output");
        return ExitFailure;
    }
    if (status != WaveStatusOk) {
        // The walk once more, for the reason: the player keeps only the status.
        ResCursor again;
        again.entry = *record;
        const WaveInfo info = ReadWave(archive, again);
        ReportError(archivePath + ": " + entryName + " does not load: " + WaveFailureText(info.failure));
        return ExitFailure;
    }
    return ExitSuccess;
}

const ToolCommandRegistration Registration({
    .name = "wav",
    .summary = "show a sound entry's format, sizes and duration as the player loads it",
    .usage = "scrtool wav ARCHIVE ID",
    .help = "Loads sound ID (the entry ID of the group SSWv) as the screen saver's sound\n"
            "player does and prints what the load found, one key=value line each:\n"
            "\n"
            "  format_tag, channels, samples_per_sec, avg_bytes_per_sec, block_align,\n"
            "  bits_per_sample   the wave format from the \"fmt \" chunk\n"
            "  frame_bytes       bytes per sample frame\n"
            "  buffer_bytes      bytes per output block (two seconds of sound)\n"
            "  duration_ms       the length of the sound in milliseconds\n"
            "  data_length       bytes of sample data (the \"data\" chunk's size)\n"
            "  status            0 loaded; -3 not a RIFF file; -4 not WAVE; -1 broken\n"
            "\n"
            "A sound whose load fails is still described (with its status) and the\n"
            "command then fails with one line naming the problem.\n"
            "\n"
            "ARCHIVE is a side file or a program with an archive appended to it; a\n"
            "bare file name is looked up in the current directory.\n",
    .argumentCount = 2,
    .options = {},
    .run = RunWav,
});

}  // namespace
