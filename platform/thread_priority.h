// Priority and name of the calling thread, as the process table shows them.
#pragma once

namespace vorlanx {

// Moves the calling thread `steps` priority steps above (positive) or below (negative)
// normal: one nice level per step. Raising needs CAP_SYS_NICE; without it the thread
// keeps its priority. Best effort; nothing is reported.
void SetCurrentThreadPriorityStep(int steps);

// Names the calling thread (the first 15 bytes are kept). Best effort.
void SetCurrentThreadName(const char* name);

}  // namespace vorlanx
