#include "app/thread_count.hpp"

#include <cstdlib>
#include <thread>

namespace plotveil {

int thread_count(const char* setting, unsigned cores) {
  const int fallback = cores == 0                                 ? 1
                       : cores > static_cast<unsigned>(kMaxThreads) ? kMaxThreads
                                                                    : static_cast<int>(cores);
  if (setting == nullptr || *setting == '\0') return fallback;
  int count = 0;
  for (const char* p = setting; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return fallback;
    count = count * 10 + (*p - '0');
    if (count > kMaxThreads) count = kMaxThreads + 1;  // saturates, however long
  }
  if (count == 0) return fallback;
  return count > kMaxThreads ? kMaxThreads : count;
}

int thread_count_from_environment() {
  return thread_count(std::getenv("PLOTVEIL_THREADS"), std::thread::hardware_concurrency());
}

}  // namespace plotveil
