// Input: the bytes of one sound entry ("SSWv" id 1), any bytes at all.
//
// The player loads the entry from an in-memory archive (stored interleaved
// and encrypted) and, when the load succeeds, plays it once and then as a
// loop on the virtual wave output, its workers pumped on this thread, for a
// bounded stretch of virtual time.
//
// Oracles: the load agrees with the RIFF walk over the bytes; a failed load
// opens no device; every block handed to the device fits the block size,
// the read position never passes the data length; after Stop nothing stays
// open or prepared and no worker is left.
#include "platform/MainThreadCalls.h"
#include "platform/VirtualWaveOutput.h"
#include "sound/WaveDataControl.h"
#include "sound/WaveFormat.h"
#include "ZULResourceUtilLib/ResArchive.h"
#include "fuzz/FuzzArchive.h"

#include <cstdlib>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

// Blocks larger than this are not played here (a byte rate up to 2^30 is a
// valid load, but two such blocks are gigabytes).
constexpr int32_t PlayableBufferBytes = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20)) return 0;
    const std::vector<uint8_t> entry(data, data + size);

    ResArchive archive;
    const EntryRecord& record = OpenSingleEntryArchive(archive, ResTagSound, 1, entry, 0x534F554Eu, "sound_fuzz.brsc");

    VirtualWaveOutput::Settings settings;
    settings.recordBytes = false;
    settings.pcmOnly = size % 2 == 0;  // odd-sized inputs also reach devices that take any format
    VirtualWaveOutput output(settings);
    MainThreadCalls calls;
    oWaveDataControl player(output, calls, {}, WaveWorkerMode::Pumped);

    const WaveInfo walk = ParseWave(entry);
    ResCursor cursor{record, 0};
    const int status = player.Load(archive, cursor);
    Check(status == walk.status);
    if (status != WaveStatusOk) {
        player.Play(0);
        Check(!player.DeviceOpen() && output.Openings() == 0);
        return 0;
    }
    Check(player.DataLength() == walk.dataLength && player.DurationMs() == walk.durationMs);
    Check(player.BufferBytes() == walk.bufferBytes);
    if (player.BufferBytes() > PlayableBufferBytes) return 0;

    for (const int loopCount : {1, 0}) {
        if (loopCount == 0) {
            ResCursor again{record, 0};
            Check(player.Load(archive, again) == WaveStatusOk);
        }
        player.Play(loopCount);
        for (int step = 0; step < 64 && player.DeviceOpen(); ++step) {
            output.Advance(250);
            player.PumpWorkers();
            calls.RunPending();
            Check(player.ReadPosition() <= player.DataLength());
            Check(output.CurrentQueuedBytes() <= 2u * static_cast<uint32_t>(player.BufferBytes()));
        }
        player.Stop();
        player.PumpWorkers();
        calls.RunPending();
        Check(!player.DeviceOpen() && output.OpenDevices() == 0 && output.PreparedBlocks() == 0);
        Check(player.LiveWorkers() == 0);
    }
    return 0;
}
