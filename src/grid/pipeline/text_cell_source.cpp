#include "grid/pipeline/text_cell_source.hpp"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/failure.hpp"
#include "grid/files/text_input.hpp"
#include "grid/numbers/reading/text_block.hpp"
#include "grid/numbers/reading/white_space.hpp"

namespace plotveil {
namespace {

void read_range_job(void* context) { TextCellSource::read_range(*static_cast<TextCellSource::Block*>(context)); }

}  // namespace

bool TextCellSource::start(InStream& in, WorkerPool& pool, std::size_t block_bytes, int blocks, bool keep_texts) {
  in_ = &in;
  pool_ = &pool;
  block_bytes_ = block_bytes;
  data_start_ = next_start_ = input_offset(in);
  // A cell takes two bytes at least, its number and white space ("1 2"), and
  // a range's last word may run kWordReach bytes past it.
  block_cells_ = (block_bytes + kWordReach) / 2 + 2;
  block_total_ = blocks;
  {
    AllocationMayFail may_fail;
    blocks_.reset(new (std::nothrow) Block[static_cast<std::size_t>(blocks)]);
    if (!blocks_) return false;
    for (int b = 0; b < blocks; ++b) {
      Block& block = blocks_[b];
      block.owner = this;
      // Cells are left unset: only the pages the numbers fill become resident.
      block.text.reset(new (std::nothrow) char[1 + block_bytes + kWordReach + 1 + kTextBlockReach]());
      block.cells.reset(new (std::nothrow) double[block_cells_ + 1]);
      if (!block.text || !block.cells) return false;
      if (keep_texts) {
        block.texts.reset(new (std::nothrow) CellText[block_cells_ + 1]);
        if (!block.texts) return false;
      }
      block.job.work = read_range_job;
      block.job.context = &block;
    }
  }
  for (int b = 0; b < blocks; ++b) cut(blocks_[b]);
  return true;
}

void TextCellSource::cut(Block& block) {
  block.start = next_start_;
  next_start_ += block_bytes_;
  block.count = 0;
  block.stops = false;
  block.long_word = kNoLongWord;
  pool_->submit(block.job);
}

// The range's bytes are read with the one before them, which tells whether
// the range begins inside a word, and up to kWordReach after them, for the
// word that runs past its end.
void TextCellSource::read_range(Block& block) {
  const TextCellSource& owner = *block.owner;
  const std::size_t range = owner.block_bytes_;
  const bool first = block.start == owner.data_start_;
  const std::size_t lead = first ? 0 : 1;
  char* const text = block.text.get();
  const std::size_t asked = lead + range + kWordReach;
  // A read that fails ends the data as the end of the file does.
  std::size_t got = read_at(owner.in_->file, text, asked, block.start - lead);
  bool data_ends = got < asked;
  // A text grid's data ends at its first 0x1A byte.
  if (const void* mark = std::memchr(text, 0x1A, got)) {
    got = static_cast<std::size_t>(static_cast<const char*>(mark) - text);
    data_ends = true;
  }
  std::size_t from = lead;
  if (lead == 1) {
    if (got == 0) {  // the data ended before the range
      block.stops = true;
      return;
    }
    // The end of the word before: not this range's.
    if (!is_text_space(text[0])) {
      while (from < got && !is_text_space(text[from])) ++from;
    }
  }
  const std::size_t range_end = lead + range;
  std::size_t end = 0;
  bool ends_data = false;
  if (from >= got) {
    ends_data = data_ends;
    end = from = got;
  } else if (from >= range_end) {
    end = from;  // no word begins in the range
  } else if (got <= range_end) {
    end = got;
    ends_data = true;
  } else {
    // The range's last word runs on to white space, or to the end of the data.
    end = range_end;
    while (end < got && !is_text_space(text[end - 1]) && !is_text_space(text[end])) ++end;
    if (end == got && !is_text_space(text[end - 1])) {
      if (data_ends) {
        ends_data = true;
      } else {
        // Too long to read here: the row loop reads it from the stream.
        while (end > from && !is_text_space(text[end - 1])) --end;
        block.long_word = block.start - lead + end;
      }
    }
  }
  text[end] = ' ';
  bool stops = false;
  CellText* texts = block.texts ? block.texts.get() + 1 : nullptr;
  block.count = read_text_block(text + from, end - from, block.cells.get() + 1, texts, stops);
  if (stops) block.long_word = kNoLongWord;
  block.stops = stops || ends_data;
}

// A word longer than kWordReach, such as a number of a million digits, is read
// here from the stream in the scanner's bounded memory. It is a cell only
// when its number runs to the white space or the end of the data after it.
void TextCellSource::read_word_from_stream(Block& block) {
  const std::uint64_t at = block.long_word;
  block.long_word = kNoLongWord;
  double& cell = block.cells[block.count + 1];
  seek_input(*in_, at);
  if (read_number(*in_, cell) && at_word_end(*in_)) {
    if (block.texts) block.texts[block.count + 1] = 0;
    ++block.count;
    return;
  }
  block.stops = true;
}

TextCellSource::Block& TextCellSource::current_block() {
  Block& block = blocks_[current_];
  if (!current_waited_) {
    pool_->wait(block.job);
    if (block.long_word != kNoLongWord) read_word_from_stream(block);
    current_waited_ = true;
    taken_ = 0;
  }
  return block;
}

const double* TextCellSource::next_row(double* row, CellText* row_texts, std::size_t count, std::size_t& got,
                                       const CellText*& texts) {
  Block& block = current_block();
  if (block.count - taken_ >= count) {
    const double* cells = block.cells.get() + taken_;
    texts = block.texts ? block.texts.get() + taken_ : nullptr;
    taken_ += count;
    got = count;
    return cells;
  }
  got = take(row + 1, count, block.texts && row_texts ? row_texts + 1 : nullptr);
  texts = block.texts ? row_texts : nullptr;
  return row;
}

std::size_t TextCellSource::take(double* cells, std::size_t count, CellText* texts) {
  std::size_t done = 0;
  while (done < count) {
    Block& block = current_block();
    std::size_t left = block.count - taken_;
    if (left > 0) {
      std::size_t n = left < count - done ? left : count - done;
      std::memcpy(cells + done, block.cells.get() + 1 + taken_, n * sizeof(double));
      if (texts != nullptr) std::memcpy(texts + done, block.texts.get() + 1 + taken_, n * sizeof(CellText));
      taken_ += n;
      done += n;
      continue;
    }
    if (block.stops) return done;
    cut(block);
    current_ = (current_ + 1) % block_total_;
    current_waited_ = false;
  }
  return done;
}

}  // namespace plotveil
