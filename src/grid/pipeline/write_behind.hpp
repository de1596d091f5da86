// A regular output's full buffers written by worker threads at their offsets
// in the file while the row loop fills the next buffer. The flushes are made
// where writing in order makes them; each keeps where it was made, and the
// dots of rows finished after it wait until it is known written. So a flush
// found to have failed later prints the same dots and names the same row as
// writing in order does, and the file is cut back to the bytes written in
// order before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>

#include "grid/files/byte_streams.hpp"
#include "grid/pipeline/worker_pool.hpp"

namespace plotveil {

class WriteBehind {
 public:
  using RowWritten = void (*)();

  WriteBehind() = default;
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Takes over the flushes of `out`, a regular file, with `buffers` buffers
  // of its capacity in flight; `row_written` prints a row's dot. False when
  // their memory cannot be had; then `out` is as it was.
  bool start(OutStream& out, WorkerPool& pool, int buffers, RowWritten row_written);

  // Waits for every flush and gives `out` back to writing in order, at the
  // file's position after them. False when one failed: the dots of the rows
  // before it are printed, out.failed_site says where it was made, and the
  // file holds the bytes written in order before the failure.
  bool settle();

  // After a failure elsewhere: every flush waited for, then as settle(), but
  // printing no dots.
  void abandon();

  struct Flush {
    WriteBehind* owner = nullptr;
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    std::uint64_t position = 0;
    std::size_t written = 0;
    FlushSite site;
    Job job;
  };
  static void write_flush(Flush& flush);

 private:
  static bool hand_over(OutStream& out, void* context);
  static void row_done(void* context);
  bool check_oldest(bool print_dots);
  void print_dots();
  void give_back();

  OutStream* out_ = nullptr;
  WorkerPool* pool_ = nullptr;
  RowWritten row_written_ = nullptr;
  int total_ = 0;
  std::unique_ptr<Flush[]> flushes_;
  std::uint64_t handed_ = 0;   // flushes handed over so far
  std::uint64_t checked_ = 0;  // of them, known written whole
  bool failed_ = false;
  // Dots waiting: runs of rows finished after the same number of flushes.
  struct WaitingDots {
    std::uint64_t after_flushes = 0;
    std::uint64_t rows = 0;
  };
  std::deque<WaitingDots> dots_;
};

}  // namespace plotveil
