// A regular output written by worker threads at offsets in the file while the
// row loop goes on. What is written are extents, in order and end to end: the
// stream's full buffers, or the text of a text writer's slots straight from
// them. Where writing in order would flush its buffer (flush points, each
// with the row it is made in) is kept apart: for the stream's buffers at
// their ends, for text found as write_row_text finds it, without a copy. The
// dots of rows finished after a flush point wait until the bytes before it
// are known written. So a write found to have failed later prints the same
// dots and names the same row as writing in order does, and the file is cut
// back to the bytes written in order before the failure.
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

  // Bytes written at a place in the file by a worker.
  struct Extent {
    WriteBehind* owner = nullptr;
    const char* bytes = nullptr;
    std::size_t size = 0;
    std::uint64_t position = 0;
    std::size_t written = 0;
    bool pending = false;  // handed over and not yet checked
    Job job;
  };

  WriteBehind() = default;
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Takes over the flushes of `out`, a regular file, with `buffers` buffers
  // of its capacity in flight; `row_written` prints a row's dot. False when
  // their memory cannot be had; then `out` is as it was.
  bool start(OutStream& out, WorkerPool& pool, int buffers, RowWritten row_written);

  // From here on the text of rows comes through account_text and
  // write_text instead of the stream, whose bytes so far are written first.
  void take_text();

  // The flush points of `size` bytes of whole cells of row `row`, as
  // write_row_text finds them; the bytes themselves go by write_text. False
  // when a flush point is where an earlier write failed (out.failed_site
  // then says where it was made).
  bool account_text(const char* text, std::size_t size, std::size_t cell_room, std::int64_t row);

  // Hands `extent`, which must not be pending, over to be written: `size`
  // bytes at `bytes`, after those handed over before.
  void write_text(Extent& extent, const char* bytes, std::size_t size);

  // Returns once `extent` is written and checked, with every one before it:
  // false when a write failed at a flush point made so far.
  bool release(Extent& extent);

  // Waits for every write and gives `out` back to writing in order, at the
  // file's position after them. False when one failed at a flush point: the
  // dots of the rows before it are printed, out.failed_site says where it was
  // made, and the file holds the bytes written in order before the failure.
  // A failure after the last flush point leaves `out` broken, so that closing
  // it fails.
  bool settle();

  // After a failure elsewhere: every write waited for, then as settle(), but
  // printing no dots.
  void abandon();

 private:
  struct Buffer {
    std::unique_ptr<char[]> bytes;
    Extent extent;
  };
  struct FlushPoint {
    std::uint64_t end = 0;  // the bytes before it are flushed there
    FlushSite site;
  };
  // Dots waiting: runs of rows finished after the same number of flush points.
  struct WaitingDots {
    std::uint64_t after_points = 0;
    std::uint64_t rows = 0;
  };

  static void write_extent(void* context);
  static bool hand_over(OutStream& out, void* context);
  static void row_done(void* context);
  void submit(Extent& extent, const char* bytes, std::size_t size);
  bool add_point(FlushSite site);
  bool check_oldest();
  bool fail_at_point();
  void print_dots();
  void cut_back();
  void give_back();

  OutStream* out_ = nullptr;
  WorkerPool* pool_ = nullptr;
  RowWritten row_written_ = nullptr;
  int total_ = 0;
  std::unique_ptr<Buffer[]> buffers_;
  std::uint64_t handed_ = 0;          // stream buffers handed over
  Extent header_;                     // the stream's bytes when text takes over
  std::deque<Extent*> pending_;       // in the order handed over
  std::uint64_t next_position_ = 0;   // where the next extent goes
  std::uint64_t written_end_ = 0;     // the bytes before it are written, in order
  bool failed_ = false;
  std::uint64_t failed_at_ = 0;       // where the first failed write stopped
  // Where writing in order would stand: its buffer's first byte in the file,
  // and how many bytes it holds.
  std::uint64_t virtual_start_ = 0;
  std::size_t virtual_used_ = 0;
  std::deque<FlushPoint> points_;     // not yet known written
  std::uint64_t points_made_ = 0;
  std::uint64_t points_written_ = 0;
  std::deque<WaitingDots> dots_;
};

}  // namespace plotveil
