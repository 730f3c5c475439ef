#pragma once

// Named steps of the stored-transit state machine at which a test can stop
// the server dead, as a power cut or a SIGKILL would: PARVIX_CRASH_AT=step
// (or step:N for the N-th time the step is reached). Unset, reaching a step
// costs one comparison.
namespace CrashPoint {
void reach(const char* step);
}
