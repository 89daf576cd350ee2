// How much memory this process holds in RAM now: the resident set on Linux,
// the working set on Windows. Empty when the system does not say.
#pragma once

#include <cstdint>
#include <optional>

std::optional<uint64_t> ResidentMemoryBytes();
