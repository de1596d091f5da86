// Where the row loop's input rows come from: read from a binary input stream
// row by row or ahead in runs of rows, or taken from a text input's cells
// read ahead in blocks. Which of
// them is settled once, before the first row; each row then takes one branch.
#pragma once

#include <cstdint>
#include <string>

#include "grid/files/byte_streams.hpp"
#include "grid/files/rows.hpp"
#include "grid/grid_types.hpp"
#include "grid/pipeline/binary_row_source.hpp"
#include "grid/pipeline/row_sink.hpp"
#include "grid/pipeline/text_cell_source.hpp"

namespace plotveil {

struct RowSource {
  InStream* in = nullptr;
  GridEncoding encoding = GridEncoding::ascii;
  const std::string* name = nullptr;
  RowShape shape;
  double* cells = nullptr;          // the input's row buffer, W + 1 cells
  float* narrow = nullptr;          // W + 1 floats for single rows wider than the stream's buffer
  TextCellSource* ahead = nullptr;  // a text input's cells read ahead
  RowSink* written_first = nullptr; // written out before a short row ends the run
  CellText* texts = nullptr;        // W + 1 texts, for a text input that keeps them
  const CellText* row_texts = nullptr;  // set by read_row: the row's texts, if kept
  BinaryRowSource* rows_ahead = nullptr;  // a binary input's rows read ahead
};

// The cells of row `row` at indexes 1 to W: in the row buffer, or where the
// cells read ahead lie (valid until the next call). A row the input cannot
// supply whole ends the run with code 5, naming the input and the whole cells
// read, once the rows handed to `written_first` are written. With texts kept,
// `row_texts` is where the row's texts lie, as long as the cells.
const double* read_row(RowSource& source, std::int64_t row);

}  // namespace plotveil
