// The row source and the row sink: with blocks and slots of any size, a run
// must see the rows that reading number after number gives, leave the bytes
// that writing cell after cell leaves and print the same dots and message,
// wherever the stream flushes and wherever it fails.
#include "grid/pipeline/row_sink.hpp"
#include "grid/pipeline/row_source.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/console.hpp"
#include "base/failure.hpp"
#include "base/messages.hpp"
#include "grid/files/text_input.hpp"
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

// Writing behind: `slot_cells` cells per slot, two slots, `workers` workers
// (none: the row loop formats each slot itself); with `flushes`, the
// stream's buffers written by them too, two at a time.
struct Behind {
  TextThreads threads;
  Behind(OutStream& out, const RowShape& shape, const std::string& name, std::size_t slot_cells, int workers,
         bool flushes) {
    EXPECT_EQ(threads.pool.start(workers), workers);
    if (flushes) {
      threads.flushes_behind = threads.flushes.start(out, threads.pool, 2, print_dot);
      EXPECT_TRUE(threads.flushes_behind);
    }
    threads.writes_behind = threads.writer.start(out, threads.pool, shape, -9999, name, slot_cells, 2, print_dot,
                                                 threads.flushing());
    EXPECT_TRUE(threads.writes_behind);
  }
};

struct Written {
  int code = -1;          // -1: every row went out
  std::string printed;    // dots, then the message of a failure
  std::string bytes;      // in the file, or buffered when the writes failed
};

// Writes `rows` rows of `width` cells: cell after cell, as the reference, when
// `slot_cells` is 0, else through a sink with slots of that size. The stream holds `capacity` bytes; with
// `refuse`, every write to the file fails.
Written write_rows(int width, int rows, std::size_t slot_cells, int workers, std::size_t capacity, bool refuse,
                   bool flushes = false) {
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
    // Cells of one to seven characters, so rows differ in length.
    auto fill = [&](double* cells, int r) {
      for (int c = 1; c <= width; ++c) cells[c] = (r * 37 + c * 11) % 97 * (c % 3 == 0 ? 1000.25 : 1.0);
    };
    if (slot_cells == 0) {
      // Each cell its number and a tab, CR LF after a row's last, flushed
      // before a cell that may not fit the room left.
      written.code = exit_code_of([&] {
        for (int r = 1; r <= rows; ++r) {
          fill(row.data(), r);
          for (int c = 1; c <= width; ++c) {
            std::size_t room = 0;
            output_space(out, room);
            if (room < kTextCellRoom && !flush_output_for(out, kTextCellRoom)) {
              fail(ExitCode::write_row, msg::error_writing_row, r, name.c_str());
            }
            char* const start = output_space(out, room);
            char* p = format_number(row[c], start);
            p = c < width ? put(p, "\t") : put(p, "\r\n");
            commit_output(out, static_cast<std::size_t>(p - start));
          }
          print_dot();
        }
      });
    } else {
      Behind behind(out, shape, name, slot_cells, workers, flushes);
      std::vector<CellText> texts(row.size());
      RowSink sink = row_sink(out, kTextOutput, shape, name, row.data(), texts.data(), &behind.threads.writer,
                              print_dot, behind.threads.flushing());
      EXPECT_EQ(sink.kind, static_cast<std::size_t>(width) <= slot_cells ? RowSink::Kind::into_slots
                                                                       : RowSink::Kind::through_row);
      written.code = exit_code_of([&] {
        for (int r = 1; r <= rows; ++r) {
          double* cells = row_space(sink);
          fill(cells, r);
          // Every other cell goes as a kept text.
          for (int c = 1; c <= width; ++c) sink.space_texts[c] = (r + c) % 2 ? cell_text_of(cells[c]) : 0;
          write_row(sink, r);
        }
        finish_rows(sink);
      });
    }
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
        const Written alone = write_rows(width, 20, 0, 0, capacity, refuse);
        // 4096 bytes hold all twenty rows: nothing is written to the file yet.
        const bool fails = refuse && capacity < 4096;
        EXPECT_EQ(alone.code, fails ? 6 : -1);
        if (!fails) {
          EXPECT_EQ(alone.printed, std::string(20, '.'));
        }
        for (std::size_t slot_cells : {1, 3, 4, 16}) {
          const int workers = static_cast<int>(slot_cells % 2);
          SCOPED_TRACE("refuse " + std::to_string(refuse) + ", capacity " + std::to_string(capacity) +
                       ", width " + std::to_string(width) + ", slot " + std::to_string(slot_cells) +
                       ", workers " + std::to_string(workers));
          const Written behind = write_rows(width, 20, slot_cells, workers, capacity, refuse);
          EXPECT_EQ(behind.code, alone.code);
          EXPECT_EQ(behind.printed, alone.printed);
          EXPECT_EQ(behind.bytes, alone.bytes);
          // Text written behind at offsets fails at the same row; what a
          // failure left in the stream is never written.
          const Written flushed = write_rows(width, 20, slot_cells, workers, capacity, refuse, true);
          EXPECT_EQ(flushed.code, alone.code);
          EXPECT_EQ(flushed.printed, alone.printed);
          if (!refuse) {
            EXPECT_EQ(flushed.bytes, alone.bytes);
          }
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

// Reads rows of `width` cells from the text `body` until the run ends: number
// after number, each a whole word, as the reference, when `block_bytes` is 0, else ahead in blocks
// of that size.
Read read_rows(const std::string& body, int width, int rows, std::size_t block_bytes, int workers) {
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
    EXPECT_EQ(threads.pool.start(workers), workers);
    EXPECT_TRUE(threads.sources[0].start(in, threads.pool, block_bytes, 3));
    source.ahead = &threads.sources[0];
  }
  read.code = exit_code_of([&] {
    for (int r = 1; r <= rows; ++r) {
      if (block_bytes == 0) {
        for (int c = 1; c <= width; ++c) {
          if (!read_number(in, row[c]) || !at_word_end(in)) fail_short_row(name, r, c - 1);
        }
        read.cells.insert(read.cells.end(), row.begin() + 1, row.end());
        continue;
      }
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
  // Words longer than the bytes a block reads past its end are read from the
  // stream.
  const std::string long_third = "0." + std::string(5000, '3');
  const std::string long_last = "1 2 3 4 5 6 7 8 " + long_third;
  const std::string long_middle = "\r\n  1 2 " + long_third + "\t4 5 6 7 8 9\r\n";
  const std::string long_unwhole = "1 2 3 1" + std::string(5000, '0') + "x 5 6 7 8 9";
  const std::string long_at_end = "1 2 3 4 5 6 7 8 9" + std::string(5000, '9') + "\x1a 10";
  const Case cases[] = {
      {long_last.c_str(), -1, ""},
      {long_middle.c_str(), -1, ""},
      {long_unwhole.c_str(), 5, "error reading from grid.asc in row 2 (0 values read)\n"},
      {long_at_end.c_str(), -1, ""},
      {"1 2 3\r\n4.5 -6 7e2\r\n8 9 10\r\n", -1, ""},
      {"1 2 3\n4 5 6\n7 8", 5, "error reading from grid.asc in row 3 (2 values read)\n"},
      {"1 2 3 4 nan 6 7 8 9", 5, "error reading from grid.asc in row 2 (1 values read)\n"},
      {"1 2 3 4 5 6 7 8 9 10\x1a 11", -1, ""},
      {"1 2 3 4 5 6 7 8\x1a 9", 5, "error reading from grid.asc in row 3 (2 values read)\n"},
  };
  for (const Case& c : cases) {
    const Read alone = read_rows(c.body, 3, 3, 0, 0);
    EXPECT_EQ(alone.code, c.code) << c.body;
    EXPECT_EQ(alone.printed, c.printed) << c.body;
    for (std::size_t block : {1, 2, 5, 64, 4099}) {
      const int workers = static_cast<int>(block % 2);
      SCOPED_TRACE(std::string(c.body).substr(0, 40) + ", block " + std::to_string(block) + ", workers " + std::to_string(workers));
      const Read ahead = read_rows(c.body, 3, 3, block, workers);
      EXPECT_EQ(ahead.code, alone.code);
      EXPECT_EQ(ahead.printed, alone.printed);
      EXPECT_EQ(ahead.cells, alone.cells);
    }
  }
}

}  // namespace
}  // namespace plotveil
