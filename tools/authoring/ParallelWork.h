// ParallelWork: independent pieces of work spread over the machine's cores.
//
// Each index is handed out once, in increasing order, to whichever worker is
// free, so that a slow piece never holds the others back. Results must be
// kept by index: the order in which pieces finish differs from run to run,
// and whatever is built from them must not.
#pragma once

#include <cstddef>
#include <functional>

// The workers to use when the caller names no number: one per core.
unsigned DefaultWorkerCount();

// Calls work(i) for every i from 0 to count - 1 on up to `workers` threads
// (0: DefaultWorkerCount(); 1: all on the calling thread) and returns when
// all calls have returned. work must not throw: catch inside and keep the
// failure by index.
void RunInParallel(size_t count, unsigned workers, const std::function<void(size_t index)>& work);
