#include "grid/pipeline/text_row_writer.hpp"

#include <bit>
#include <cstring>
#include <new>

#include "base/failure.hpp"
#include "grid/numbers/writing/fixed_texts.hpp"

namespace plotveil {
namespace {

void format_job(void* context) {
  TextRowWriter::format_slot(*static_cast<TextRowWriter::Slot*>(context));
}

}  // namespace

bool TextRowWriter::start(OutStream& out, WorkerPool& pool, const RowShape& shape, double nodata,
                          const std::string& out_name, std::size_t slot_cells, int slots,
                          RowWritten row_written, WriteBehind* at_offsets) {
  out_ = &out;
  pool_ = &pool;
  at_offsets_ = at_offsets;
  shape_ = shape;
  // A reader takes a cell for no data only when its text reads back as the
  // header's no-data value: -1234567 is no "-1.23457e+006".
  char six[kMaxNumberText];
  const std::size_t six_length = static_cast<std::size_t>(format_number(nodata, six) - six);
  const std::size_t exact_length = static_cast<std::size_t>(format_exact_number(nodata, nodata_text_) - nodata_text_);
  const bool exact = exact_length != six_length || std::memcmp(six, nodata_text_, six_length) != 0;
  nodata_bits_ = std::bit_cast<std::uint64_t>(nodata);
  nodata_length_ = exact ? exact_length : 0;
  cell_room_ = exact && exact_length + 2 > kTextCellRoom ? exact_length + 2 : kTextCellRoom;
  out_name_ = &out_name;
  row_written_ = row_written;
  constexpr std::size_t kMostSlotCells = std::size_t{1} << 24;
  slot_cells = slot_cells < 1 ? 1 : slot_cells > kMostSlotCells ? kMostSlotCells : slot_cells;
  slot_cells_ = slot_cells;
  slot_total_ = slots;
  AllocationMayFail may_fail;
  slots_.reset(new (std::nothrow) Slot[static_cast<std::size_t>(slots)]);
  if (!slots_) return false;
  for (int s = 0; s < slots; ++s) {
    Slot& slot = slots_[s];
    slot.owner = this;
    slot.cells.reset(new (std::nothrow) double[slot_cells + 1]);
    slot.cell_texts.reset(new (std::nothrow) CellText[slot_cells + 1]);
    slot.text.reset(new (std::nothrow) char[slot_cells * cell_room_]);
    slot.row_ends.reset(new (std::nothrow) std::size_t[slot_cells]);
    if (!slot.cells || !slot.cell_texts || !slot.text || !slot.row_ends) return false;
    slot.job.work = format_job;
    slot.job.context = &slot;
  }
  if (at_offsets != nullptr) at_offsets->take_text();
  return true;
}

void TextRowWriter::format_slot(Slot& slot) {
  if (slot.owner->nodata_length_ == 0) {
    format_cells<false>(slot);
  } else {
    format_cells<true>(slot);
  }
}

// Each cell as its number (its kept text, when it has one), taken a row's run
// at a time: every cell of a run but a row's last ends in a tab, and that one
// in CR LF where rows end in one (in a tab too where ncols is fractional).
// With kExactNodata, no-data cells as the header writes them.
template <bool kExactNodata>
void TextRowWriter::format_cells(Slot& slot) {
  const TextRowWriter& owner = *slot.owner;
  const RowShape shape = owner.shape_;
  const std::size_t width = static_cast<std::size_t>(shape.width);
  const std::size_t count = slot.count;
  const double* cells = slot.cells.get() + 1;
  CellText* texts = slot.cell_texts.get() + 1;
  std::size_t* row_ends = slot.row_ends.get();
  char* const text = slot.text.get();
  char* p = text;
  std::size_t ends = 0;
  fill_fixed_texts(cells, texts, count);
  auto put_cell = [&](std::size_t i) {
    if constexpr (kExactNodata) {
      if (std::bit_cast<std::uint64_t>(cells[i]) == owner.nodata_bits_) {
        std::memcpy(p, owner.nodata_text_, owner.nodata_length_);
        p += owner.nodata_length_;
        return;
      }
    }
    p = texts[i] != 0 ? put_cell_text(texts[i], p) : format_number(cells[i], p);
  };
  std::size_t column = static_cast<std::size_t>(slot.first_column);
  for (std::size_t i = 0; i < count;) {
    const std::size_t to_row_end = width + 1 - column;
    const bool ends_row = count - i >= to_row_end;
    const std::size_t run_end = ends_row ? i + to_row_end : count;
    const std::size_t tabbed_end = ends_row && shape.line_end ? run_end - 1 : run_end;
    for (; i < tabbed_end; ++i) {
      put_cell(i);
      *p++ = '\t';
    }
    if (i < run_end) {
      put_cell(i);
      *p++ = '\r';
      *p++ = '\n';
      ++i;
    }
    // A run that does not end a row ends the slot.
    if (ends_row) row_ends[ends++] = static_cast<std::size_t>(p - text);
    column = 1;
  }
  slot.text_size = static_cast<std::size_t>(p - text);
  slot.row_end_count = ends;
}

void TextRowWriter::add_row(const double* cells, const CellText* texts, std::int64_t row) {
  const std::size_t width = static_cast<std::size_t>(shape_.width);
  std::size_t column = 1;
  while (column <= width) {
    Slot& slot = slots_[filling_];
    if (slot.count == 0) {
      slot.first_row = row;
      slot.first_column = static_cast<std::int32_t>(column);
    }
    std::size_t n = slot_cells_ - slot.count;
    if (n > width + 1 - column) n = width + 1 - column;
    std::memcpy(slot.cells.get() + 1 + slot.count, cells + column, n * sizeof(double));
    std::memcpy(slot.cell_texts.get() + 1 + slot.count, texts + column, n * sizeof(CellText));
    slot.count += n;
    column += n;
    if (slot.count == slot_cells_) submit_filled();
  }
}

double* TextRowWriter::row_space(CellText*& texts) {
  const std::size_t width = static_cast<std::size_t>(shape_.width);
  // A row that does not fit the slot's rest starts the next slot.
  if (slot_cells_ - slots_[filling_].count < width) submit_filled();
  Slot& slot = slots_[filling_];
  texts = slot.cell_texts.get() + slot.count;
  return slot.cells.get() + slot.count;
}

void TextRowWriter::row_filled(std::int64_t row) {
  Slot& slot = slots_[filling_];
  if (slot.count == 0) {
    slot.first_row = row;
    slot.first_column = 1;
  }
  slot.count += static_cast<std::size_t>(shape_.width);
  if (slot.count == slot_cells_) submit_filled();
}

void TextRowWriter::submit_filled() {
  Slot& slot = slots_[filling_];
  // The slot's text from last time must be in the file before it is written
  // anew.
  if (at_offsets_ != nullptr && !at_offsets_->release(slot.written)) fail_write(*out_, *out_name_);
  pool_->submit(slot.job);
  filling_ = (filling_ + 1) % slot_total_;
  // With every slot in flight, the next one to fill is the oldest.
  if (++pending_ == slot_total_) write_oldest();
}

void TextRowWriter::write_oldest() {
  Slot& slot = slots_[oldest_];
  pool_->wait(slot.job);
  const char* text = slot.text.get();
  std::size_t from = 0;
  std::int64_t row = slot.first_row;
  for (std::size_t k = 0; k < slot.row_end_count; ++k, ++row) {
    write_text(text + from, slot.row_ends[k] - from, row);
    from = slot.row_ends[k];
    row_done(*out_, row_written_);
  }
  if (from < slot.text_size) write_text(text + from, slot.text_size - from, row);
  if (at_offsets_ != nullptr) at_offsets_->write_text(slot.written, text, slot.text_size);
  slot.count = 0;
  oldest_ = (oldest_ + 1) % slot_total_;
  --pending_;
}

// Text of whole cells of row `row`: into the stream, or with the slot's
// text written at offsets, only where writing it would flush.
void TextRowWriter::write_text(const char* text, std::size_t size, std::int64_t row) {
  if (at_offsets_ == nullptr) {
    write_row_text(*out_, text, size, cell_room_, row, *out_name_);
  } else if (!at_offsets_->account_text(text, size, cell_room_, row)) {
    fail_write(*out_, *out_name_);
  }
}

void TextRowWriter::finish() {
  if (slots_[filling_].count > 0) submit_filled();
  while (pending_ > 0) write_oldest();
}

}  // namespace plotveil
