// WaveOutDevice: the Windows saver's wave output, waveOut through the wave
// mapper (the system picks the device for each format).
//
// Notices come from the driver's callback thread; ErrorText is the system's
// own text in UTF-8; PurgeOtherSounds stops what PlaySound is playing.
#pragma once

#include "platform/WaveDevice.h"

#include <memory>

std::unique_ptr<WaveOutput> MakeSystemWaveOutput();
