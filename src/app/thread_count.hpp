// How many threads share a run's work, the main thread among them:
// PLOTVEIL_THREADS when it holds a whole number from 1 up, else one per core.
#pragma once

namespace plotveil {

// More than this many are taken as this many.
inline constexpr int kMaxThreads = 64;

// `setting` is the variable's value (nullptr when unset), `cores` what the
// system reports (0 when it cannot tell). A value that is not all decimal
// digits, or is 0, is ignored.
int thread_count(const char* setting, unsigned cores);

// The count for this process, from its environment.
int thread_count_from_environment();

}  // namespace plotveil
