#include "sound/SilentSoundPlayer.h"

int SilentSoundPlayer::Load(ResArchive& archive, const ResCursor& cursor)
{
    ResCursor walk = cursor;
    const WaveInfo info = ReadWave(archive, walk, format_);
    format_ = info.format;
    durationMs_ = info.durationMs;
    problem_ = info.status != WaveStatusOk ? WaveFailureText(info.failure) : "";
    return info.status;
}
