#include "base/failure.hpp"

#include <cstdarg>
#include <cstdlib>
#include <new>

#include "base/console.hpp"

namespace plotveil {
namespace {

FailureCleanup g_cleanup = nullptr;
void* g_cleanup_context = nullptr;
ExitHandler g_exit_handler = nullptr;
MemoryReport g_memory_report = nullptr;
void* g_memory_reserve = nullptr;
constexpr std::size_t kMemoryReserve = 64 * 1024;

void memory_failed() {
  std::set_new_handler(nullptr);  // a failure while reporting must not come back here
  std::free(g_memory_reserve);
  g_memory_reserve = nullptr;
  g_memory_report();
  std::abort();  // a report always ends the process
}

}  // namespace

void report_memory_failures(MemoryReport report) {
  g_memory_report = report;
  if (g_memory_reserve == nullptr) g_memory_reserve = std::malloc(kMemoryReserve);
  if (g_memory_reserve == nullptr) report();
  std::set_new_handler(memory_failed);
}

AllocationMayFail::AllocationMayFail() : saved_(std::set_new_handler(nullptr)) {}
AllocationMayFail::~AllocationMayFail() { std::set_new_handler(saved_); }

void set_failure_cleanup(FailureCleanup cleanup, void* context) {
  g_cleanup = cleanup;
  g_cleanup_context = context;
}

void set_exit_handler(ExitHandler handler) { g_exit_handler = handler; }

void end_process(ExitCode code) {
  if (g_cleanup != nullptr) {
    FailureCleanup cleanup = g_cleanup;
    g_cleanup = nullptr;  // a cleanup that fails must not run twice
    cleanup(g_cleanup_context);
  }
  console_flush();
  if (g_exit_handler != nullptr) g_exit_handler(static_cast<int>(code));
  std::exit(static_cast<int>(code));
}

void fail(ExitCode code, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  console_vprint(format, args);
  va_end(args);
  end_process(code);
}

}  // namespace plotveil
