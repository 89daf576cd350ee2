// Clock: the multimedia timer of the machine.
//
// TimeGetTime() returns milliseconds as an unsigned 32-bit value that wraps
// after about 49.7 days. Callers compare times only through unsigned 32-bit
// differences, so the wrap does no harm.
#pragma once

#include <cstdint>

uint32_t TimeGetTime();
