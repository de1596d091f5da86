// The row source and the row sink: read ahead or in series, written behind or
// in series, a run must see the same rows, leave the same bytes and print the
// same dots and message, wherever the stream flushes and wherever it fails.
#include "grid/pipeline/row_sink.hpp"
#include "grid/pipeline/row_source.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/console.hpp"
#include "captured_run.hpp"
#include "grid/pipeline/text_threads.hpp"
#include "temp_file.hpp"

namespace plotveil {
namespace {

using testing::CapturedRun;
using testing::exit_code_of;
using testing::TempFile;

void print_dot() { console_write("."); }

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Writing behind: `slot_cells` cells per slot, two slots, one worker.
struct Behind {
  TextThreads threads;
  Behind(OutStream& out, const RowShape& shape, const std::string& name, std::size_t slot_cells) {
    EXPECT_EQ(threads.pool.start(1), 1);
    threads.writes_behind = threads.writer.start(out, threads.pool, shape, name, slot_cells, 2, print_dot);
    EXPECT_TRUE(threads.writes_behind);
  }
};

struct Written {
  int code = -1;          // -1: every row went out
  std::string printed;    // dots, then the message of a failure
  std::string bytes;      // in the file, or buffered when the writes failed
};

// Writes `rows` rows of `width` cells through a sink: in series when
// `slot_cells` is 0, else behind. The stream holds `capacity` bytes; with
// `refuse`, every write to the file fails.
Written write_rows(int width, int rows, std::size_t slot_cells, std::size_t capacity, bool refuse) {
  CapturedRun captured;
  TempFile file("");
  const std::string name = "out.asc";
  OutStream out;
  EXPECT_TRUE(open_output(out, file.path()));
  out.capacity = capacity;
  platform::File writable = out.file;
  platform::FileIdentity identity;
  if (refuse) out.file = platform::open_for_reading(file.path(), identity);
  const RowShape shape = row_shape(width);
  std::vector<double> row(static_cast<std::size_t>(width) + 1);
  Written written;
  {
    std::unique_ptr<Behind> behind;
    if (slot_cells > 0) behind = std::make_unique<Behind>(out, shape, name, slot_cells);
    RowSink sink = row_sink(out, OutputFormat::text, shape, name, row.data(),
                            behind ? &behind->threads.writer : nullptr, print_dot);
    EXPECT_EQ(sink.kind, slot_cells == 0 ? RowSink::Kind::stream
                         : static_cast<std::size_t>(width) <= slot_cells ? RowSink::Kind::into_slots
                                                                          : RowSink::Kind::through_row);
    written.code = exit_code_of([&] {
      for (int r = 1; r <= rows; ++r) {
        double* cells = row_space(sink);
        // Cells of one to seven characters, so rows differ in length.
        for (int c = 1; c <= width; ++c) cells[c] = (r * 37 + c * 11) % 97 * (c % 3 == 0 ? 1000.25 : 1.0);
        write_row(sink, r);
      }
      finish_rows(sink);
    });
  }
  written.printed = captured.printed();
  if (refuse) {
    written.bytes.assign(out.buffer.get(), out.used);
    platform::close_file(out.file);
    out.file = writable;
    out.used = 0;
  } else {
    EXPECT_TRUE(close_output(out));
    written.bytes = file_bytes(file.path());
  }
  return written;
}

TEST(RowSink, BehindWritesTheBytesAndFailsAtTheRowOfWritingInSeries) {
  for (bool refuse : {false, true}) {
    for (std::size_t capacity : {40, 64, 4096}) {
      for (int width : {1, 4, 9}) {
        const Written alone = write_rows(width, 20, 0, capacity, refuse);
        // 4096 bytes hold all twenty rows: nothing is written to the file yet.
        const bool fails = refuse && capacity < 4096;
        EXPECT_EQ(alone.code, fails ? 6 : -1);
        if (!fails) {
          EXPECT_EQ(alone.printed, std::string(20, '.'));
        }
        for (std::size_t slot_cells : {1, 3, 4, 16}) {
          SCOPED_TRACE("refuse " + std::to_string(refuse) + ", capacity " + std::to_string(capacity) +
                       ", width " + std::to_string(width) + ", slot " + std::to_string(slot_cells));
          const Written behind = write_rows(width, 20, slot_cells, capacity, refuse);
          EXPECT_EQ(behind.code, alone.code);
          EXPECT_EQ(behind.printed, alone.printed);
          EXPECT_EQ(behind.bytes, alone.bytes);
        }
      }
    }
  }
}

struct Read {
  int code = -1;
  std::string printed;
  std::vector<double> cells;  // of every row read
};

// Reads rows of `width` cells from the text `body` until the run ends: in
// series when `block_bytes` is 0, else ahead in blocks of that size.
Read read_rows(const std::string& body, int width, int rows, std::size_t block_bytes) {
  CapturedRun captured;
  TempFile file(body);
  const std::string name = "grid.asc";
  InStream in;
  EXPECT_EQ(open_input(in, file.path()), OpenInput::ok);
  rewind_input(in, true);
  const RowShape shape = row_shape(width);
  std::vector<double> row(static_cast<std::size_t>(width) + 1);
  std::vector<float> narrow(static_cast<std::size_t>(width) + 1);
  Read read;
  TextThreads threads;
  RowSource source{&in, GridEncoding::ascii, &name, shape, row.data(), narrow.data(), nullptr, nullptr};
  if (block_bytes > 0) {
    EXPECT_EQ(threads.pool.start(1), 1);
    EXPECT_TRUE(threads.sources[0].start(in, threads.pool, block_bytes, 3));
    source.ahead = &threads.sources[0];
  }
  read.code = exit_code_of([&] {
    for (int r = 1; r <= rows; ++r) {
      const double* cells = read_row(source, r);
      read.cells.insert(read.cells.end(), cells + 1, cells + 1 + width);
    }
  });
  read.printed = captured.printed();
  return read;
}

TEST(RowSource, AheadTakesTheRowsAndStopsWhereReadingInSeriesDoes) {
  struct Case {
    const char* body;
    int code;
    const char* printed;
  };
  const Case cases[] = {
      {"1 2 3\r\n4.5 -6 7e2\r\n8 9 10\r\n", -1, ""},
      {"1 2 3\n4 5 6\n7 8", 5, "error reading from grid.asc in row 3 (2 values read)\n"},
      {"1 2 3 4 nan 6 7 8 9", 5, "error reading from grid.asc in row 2 (1 values read)\n"},
      {"1 2 3 4 5 6 7 8 9 10\x1a 11", -1, ""},
      {"1 2 3 4 5 6 7 8\x1a 9", 5, "error reading from grid.asc in row 3 (2 values read)\n"},
  };
  for (const Case& c : cases) {
    const Read alone = read_rows(c.body, 3, 3, 0);
    EXPECT_EQ(alone.code, c.code) << c.body;
    EXPECT_EQ(alone.printed, c.printed) << c.body;
    for (std::size_t block : {1, 2, 5, 64}) {
      SCOPED_TRACE(std::string(c.body) + ", block " + std::to_string(block));
      const Read ahead = read_rows(c.body, 3, 3, block);
      EXPECT_EQ(ahead.code, alone.code);
      EXPECT_EQ(ahead.printed, alone.printed);
      EXPECT_EQ(ahead.cells, alone.cells);
    }
  }
}

}  // namespace
}  // namespace plotveil
