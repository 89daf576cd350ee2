// The four settings written as a table row in settings tests:
// {wait, effect, speed, sound}.
#pragma once

#include "settings/SlideshowPreference.h"

#include <cstdint>

struct Values {
    int16_t wait;
    int16_t effect;
    int16_t speed;
    bool sound;
};

inline SlideshowPreference Make(Values values)
{
    return SlideshowPreference::From(values.wait, values.effect, values.speed, values.sound);
}

inline const SlideshowPreference Defaults = Make({5, 1, 2, true});
