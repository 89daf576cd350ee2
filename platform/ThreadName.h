// Names the calling thread for debuggers and system monitors. Names longer
// than the system keeps (15 bytes on Linux) are cut; failures are ignored.
#pragma once

void SetCurrentThreadName(const char* name);
