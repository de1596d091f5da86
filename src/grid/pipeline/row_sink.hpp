// Where the row loop's output rows go: written into a binary output stream row
// by row, or handed to a text output written behind in slots. Which of them is
// settled once, before the first row; each row then takes one branch.
#pragma once

#include <cstdint>
#include <string>

#include "grid/files/byte_streams.hpp"
#include "grid/files/rows.hpp"
#include "grid/grid_types.hpp"
#include "grid/pipeline/text_row_writer.hpp"
#include "grid/pipeline/write_behind.hpp"

namespace plotveil {

struct RowSink {
  enum class Kind : std::uint8_t {
    stream,        // binary: write_row_cells into the stream, row by row
    into_slots,    // masked straight into the writer's slots
    through_row,   // rows wider than a slot: copied from the row buffer in pieces
  };
  Kind kind = Kind::stream;
  OutStream* out = nullptr;
  OutputFormat format;
  RowShape shape;
  const std::string* out_name = nullptr;
  double* cells = nullptr;                      // the output row buffer, W + 1 cells
  CellText* texts = nullptr;                    // W + 1 texts beside it, for a text output
  TextRowWriter* behind = nullptr;              // a text output's writer
  WriteBehind* flushes = nullptr;               // the output's flushes, when written behind
  TextRowWriter::RowWritten row_written = nullptr;  // once a row's bytes are all in the stream
  CellText* space_texts = nullptr;              // set by row_space: where a text output's texts go
};

// A sink over `out` row by row, or over `behind` when it is not null (then it
// took `row_written` when it started, and `texts` holds W + 1); `flushes`,
// when not null, writes the stream's buffers behind.
RowSink row_sink(OutStream& out, OutputFormat format, const RowShape& shape, const std::string& out_name,
                 double* cells, CellText* texts, TextRowWriter* behind, TextRowWriter::RowWritten row_written,
                 WriteBehind* flushes = nullptr);

// Where the next row's cells go, at indexes 1 to W; for a text output,
// `space_texts` is then where their texts go (cell_text.hpp), at the same
// indexes.
double* row_space(RowSink& sink);

// The cells at row_space() are row `row`: they go to the output, and every
// row whose bytes are then all in the stream gets its row_written (with
// text written behind, that may be earlier rows, or none yet). A row that
// cannot be written ends the run with code 6.
void write_row(RowSink& sink, std::int64_t row);

// Writes every row handed over and waits for the flushes written behind; a
// failed one ends the run with code 6. Running it again does nothing.
void finish_rows(RowSink& sink);

}  // namespace plotveil
