// How a run ends early: one message on standard output, then the process exit
// with a fixed code. Nothing else in the tool calls exit().
#pragma once

namespace plotveil {

enum class ExitCode : int {
  success = 0,
  usage_or_setup = 1,      // usage, prompt refused, header unreadable, unusable size, no memory
  header_mismatch = 2,
  write_into_output = 4,   // header, statistics, final flush or close of the output
  short_input_row = 5,
  write_row = 6,
  input_file = 98,         // missing, unreadable or unrecognised input
};

// Prints the printf-style message to standard output (through the console),
// runs the registered cleanup (which stops the worker threads and flushes
// what the output holds), and ends the process with `code`.
[[noreturn]] [[gnu::format(printf, 2, 3)]] void fail(ExitCode code, const char* format, ...);

// Ends the process with `code` without a message, after the same cleanup.
[[noreturn]] void end_process(ExitCode code);

// The cleanup that runs before a failure exit: the run registers one here once
// the output is open, which stops its worker threads and flushes the output
// stream, so rows already written reach the file.
using FailureCleanup = void (*)(void* context);
void set_failure_cleanup(FailureCleanup cleanup, void* context);

// From the call on, an allocation that fails (operator new, the nothrow form
// too) calls `report`, which says so in the program's own words and ends the
// process: never an exception, never an abort. A reserve kept from the start
// is given back first, so the report has memory to print with.
using MemoryReport = void (*)();
void report_memory_failures(MemoryReport report);

// Within its scope a failed nothrow allocation returns nothing instead: for
// memory the run can go on without (it then works on fewer threads).
class AllocationMayFail {
 public:
  AllocationMayFail();
  ~AllocationMayFail();
  AllocationMayFail(const AllocationMayFail&) = delete;
  AllocationMayFail& operator=(const AllocationMayFail&) = delete;

 private:
  void (*saved_)();
};

// What ends the process. Normally std::exit; test and fuzz harnesses install a
// handler that throws instead, so a failure can be observed in process.
using ExitHandler = void (*)(int code);
void set_exit_handler(ExitHandler handler);

}  // namespace plotveil
