// The rows of a text output turned into text behind the row loop. Masked rows
// are gathered into slots of cells; worker threads write each slot's numbers
// as text, and the row loop copies finished text into the output stream in
// order, flushing it at exactly the bytes where writing cell after cell would,
// so a failing write leaves the same bytes in the file and names the same row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "grid/files/byte_streams.hpp"
#include "grid/files/rows.hpp"
#include "grid/numbers/cell_text.hpp"
#include "grid/pipeline/worker_pool.hpp"
#include "grid/pipeline/write_behind.hpp"

namespace plotveil {

class TextRowWriter {
 public:
  using RowWritten = void (*)();

  TextRowWriter() = default;
  TextRowWriter(const TextRowWriter&) = delete;
  TextRowWriter& operator=(const TextRowWriter&) = delete;

  // `slots` slots of `slot_cells` cells each. `row_written` runs once a row's
  // text is all in the stream. Cells of the value `nodata` (the same bits)
  // are written as the header writes it. With `at_offsets`, which writes the
  // output's buffers behind, each slot's text is written from the slot at its
  // offset instead of through the stream. False when the memory cannot be
  // had.
  bool start(OutStream& out, WorkerPool& pool, const RowShape& shape, double nodata, const std::string& out_name,
             std::size_t slot_cells, int slots, RowWritten row_written, WriteBehind* at_offsets = nullptr);

  // Hands over cells 1 to W of row `row` and their texts (cell_text.hpp).
  // Text of earlier rows may be written meanwhile; a row that cannot be
  // written ends the run with code 6.
  void add_row(const double* cells, const CellText* texts, std::int64_t row);

  // True when a row fits a slot, so that row_space() can take it.
  bool rows_fit_slots() const { return static_cast<std::size_t>(shape_.width) <= slot_cells_; }
  // Where the next row's cells 1 to W go, straight into a slot, and `texts`
  // where their texts go; only when rows fit slots (else add_row copies them
  // in pieces). Rows handed over earlier may be written meanwhile.
  double* row_space(CellText*& texts);
  // The cells at row_space() are row `row`.
  void row_filled(std::int64_t row);

  // Writes every row handed over.
  void finish();

  struct Slot {
    const TextRowWriter* owner = nullptr;
    std::unique_ptr<double[]> cells;  // at indexes 1 to count
    std::unique_ptr<CellText[]> cell_texts;  // their kept texts, or 0
    std::size_t count = 0;
    std::int64_t first_row = 0;
    std::int32_t first_column = 1;
    std::unique_ptr<char[]> text;
    std::size_t text_size = 0;
    std::unique_ptr<std::size_t[]> row_ends;  // text offsets after each finished row
    std::size_t row_end_count = 0;
    Job job;
    WriteBehind::Extent written;  // the text on its way into the file, at offsets
  };
  static void format_slot(Slot& slot);

 private:
  template <bool kExactNodata>
  static void format_cells(Slot& slot);
  void submit_filled();
  void write_oldest();
  void write_text(const char* text, std::size_t size, std::int64_t row);

  OutStream* out_ = nullptr;
  WorkerPool* pool_ = nullptr;
  WriteBehind* at_offsets_ = nullptr;
  RowShape shape_;
  // Where six digits do not read the no-data value back, its cells are
  // written with the header's text of it, `nodata_length_` bytes; else 0.
  std::uint64_t nodata_bits_ = 0;
  char nodata_text_[kMaxExactNumberText] = {};
  std::size_t nodata_length_ = 0;
  std::size_t cell_room_ = kTextCellRoom;  // the most bytes a cell and its separator take
  const std::string* out_name_ = nullptr;
  RowWritten row_written_ = nullptr;
  std::size_t slot_cells_ = 0;
  int slot_total_ = 0;
  std::unique_ptr<Slot[]> slots_;
  int filling_ = 0;   // the slot rows go into
  int oldest_ = 0;    // the first slot handed to the workers and not yet written
  int pending_ = 0;   // slots handed to the workers and not yet written
};

}  // namespace plotveil
