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

void read_block_job(void* context) {
  auto& block = *static_cast<TextCellSource::Block*>(context);
  CellText* texts = block.texts ? block.texts.get() + 1 : nullptr;
  block.count = read_text_block(block.text.get(), block.size, block.cells.get() + 1, texts, block.stops);
}

}  // namespace

bool TextCellSource::start(InStream& in, WorkerPool& pool, std::size_t block_bytes, int blocks, bool keep_texts) {
  in_ = &in;
  pool_ = &pool;
  block_bytes_ = block_bytes;
  // A cell takes two bytes at least, its number and white space ("1 2").
  block_cells_ = block_bytes / 2 + 2;
  block_total_ = blocks;
  {
    AllocationMayFail may_fail;
    blocks_.reset(new (std::nothrow) Block[static_cast<std::size_t>(blocks)]);
    if (!blocks_) return false;
    for (int b = 0; b < blocks; ++b) {
      // Cells are left unset: only the pages the numbers fill become resident.
      blocks_[b].text.reset(new (std::nothrow) char[block_bytes + 1 + kTextBlockReach]());
      blocks_[b].cells.reset(new (std::nothrow) double[block_cells_ + 1]);
      if (!blocks_[b].text || !blocks_[b].cells) return false;
      if (keep_texts) {
        blocks_[b].texts.reset(new (std::nothrow) CellText[block_cells_ + 1]);
        if (!blocks_[b].texts) return false;
      }
      blocks_[b].job.work = read_block_job;
      blocks_[b].job.context = &blocks_[b];
    }
  }
  for (int b = 0; b < blocks; ++b) cut(blocks_[b]);
  return true;
}

void TextCellSource::cut(Block& block) {
  block.size = 0;
  block.count = 0;
  block.stops = false;
  block.ready = true;
  if (data_over_) {
    block.stops = true;
    return;
  }
  // What the buffer holds (what reading the header left there), then the
  // file's bytes read straight into the block; what follows the cut goes back.
  char* text = block.text.get();
  const std::size_t reach = block_bytes_ + 1;
  const std::size_t held = std::min(buffered_input(*in_), reach);
  std::memcpy(text, input_bytes(*in_), held);
  consume_input(*in_, held);
  const std::size_t got = held < reach ? held + read_input_direct(*in_, text + held, reach - held) : held;
  if (got == 0) {
    data_over_ = true;
    block.stops = true;
    return;
  }
  std::size_t size = got;
  if (got > block_bytes_) {
    // Cut at the last white space within reach: the number after it may go on.
    size = block_bytes_;
    while (size > 0 && !is_text_space(text[size])) --size;
    put_back_input(*in_, text + size, got - size);
    if (size == 0) {
      read_word_from_stream(block);
      return;
    }
  }
  text[size] = ' ';
  block.size = size;
  block.ready = false;
  pool_->submit(block.job);
}

// A word longer than a block, such as a number of a million digits, is read
// here from the stream in the scanner's bounded memory. It is a cell only
// when its number runs to the white space or the end of the data after it.
void TextCellSource::read_word_from_stream(Block& block) {
  double& cell = block.cells[block.count + 1];
  if (read_number(*in_, cell) && at_word_end(*in_)) {
    if (block.texts) block.texts[block.count + 1] = 0;
    ++block.count;
    return;
  }
  block.stops = true;
  data_over_ = true;
}

TextCellSource::Block& TextCellSource::current_block() {
  Block& block = blocks_[current_];
  if (!current_waited_) {
    if (!block.ready) pool_->wait(block.job);
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
