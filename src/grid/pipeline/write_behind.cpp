#include "grid/pipeline/write_behind.hpp"

#include <new>
#include <utility>

#include "base/failure.hpp"
#include "base/platform.hpp"

namespace plotveil {
namespace {

void write_flush_job(void* context) { WriteBehind::write_flush(*static_cast<WriteBehind::Flush*>(context)); }

}  // namespace

bool WriteBehind::start(OutStream& out, WorkerPool& pool, int buffers, RowWritten row_written) {
  AllocationMayFail may_fail;
  flushes_.reset(new (std::nothrow) Flush[static_cast<std::size_t>(buffers)]);
  if (!flushes_) return false;
  for (int k = 0; k < buffers; ++k) {
    Flush& flush = flushes_[k];
    flush.owner = this;
    flush.bytes.reset(new (std::nothrow) char[out.capacity]);
    if (!flush.bytes) return false;
    flush.job.work = write_flush_job;
    flush.job.context = &flush;
  }
  out_ = &out;
  pool_ = &pool;
  row_written_ = row_written;
  total_ = buffers;
  out.hand_over = FlushHandOver{hand_over, row_done, this};
  return true;
}

void WriteBehind::write_flush(Flush& flush) {
  const platform::File file = flush.owner->out_->file;
  flush.written = 0;
  while (flush.written < flush.size) {
    const std::int64_t put =
        platform::write_file_at(file, flush.bytes.get() + flush.written, flush.size - flush.written,
                                flush.position + flush.written);
    if (put <= 0) break;
    flush.written += static_cast<std::size_t>(put);
  }
}

// The buffer goes to a worker, and the stream takes the buffer of the flush
// made `total_` flushes ago, once that one is known written.
bool WriteBehind::hand_over(OutStream& out, void* context) {
  auto& self = *static_cast<WriteBehind*>(context);
  if (self.failed_) return false;
  if (out.used == 0) return true;
  while (self.handed_ - self.checked_ >= static_cast<std::uint64_t>(self.total_)) {
    if (!self.check_oldest(true)) return false;
  }
  Flush& flush = self.flushes_[self.handed_ % static_cast<std::uint64_t>(self.total_)];
  std::swap(flush.bytes, out.buffer);
  flush.size = out.used;
  flush.position = out.position;
  flush.site = out.site;
  out.position += out.used;
  out.used = 0;
  ++self.handed_;
  self.pool_->submit(flush.job);
  return true;
}

void WriteBehind::row_done(void* context) {
  auto& self = *static_cast<WriteBehind*>(context);
  if (self.dots_.empty() && self.checked_ == self.handed_) {
    self.row_written_();
    return;
  }
  if (self.dots_.empty() || self.dots_.back().after_flushes != self.handed_) {
    self.dots_.push_back(WaitingDots{self.handed_, 0});
  }
  ++self.dots_.back().rows;
}

void WriteBehind::print_dots() {
  while (!dots_.empty() && dots_.front().after_flushes <= checked_) {
    for (std::uint64_t k = 0; k < dots_.front().rows; ++k) row_written_();
    dots_.pop_front();
  }
}

// Waits for the oldest flush not yet checked. A failed one ends the writing:
// the dots of the rows finished before it was made are printed (with
// `print_dots`), every later flush is waited for and the file is cut back to
// the bytes written in order.
bool WriteBehind::check_oldest(bool print) {
  Flush& flush = flushes_[checked_ % static_cast<std::uint64_t>(total_)];
  pool_->wait(flush.job);
  if (flush.written == flush.size) {
    ++checked_;
    if (print) print_dots();
    return true;
  }
  failed_ = true;
  if (print) print_dots();
  dots_.clear();
  const std::uint64_t end = flush.position + flush.written;
  out_->failed_site = flush.site;
  out_->broken = true;
  for (std::uint64_t k = checked_ + 1; k < handed_; ++k) pool_->wait(flushes_[k % static_cast<std::uint64_t>(total_)].job);
  checked_ = handed_;
  platform::truncate_file(out_->file, end);
  out_->position = end;
  out_->used = 0;  // what the stream holds comes after the failure: never written
  give_back();
  return false;
}

void WriteBehind::give_back() {
  out_->hand_over = FlushHandOver{};
  platform::seek_file(out_->file, out_->position);
}

bool WriteBehind::settle() {
  if (out_ == nullptr || out_->hand_over.flush == nullptr) return !failed_;
  bool written = !failed_;
  while (written && checked_ < handed_) written = check_oldest(true);
  print_dots();
  give_back();
  return written;
}

void WriteBehind::abandon() {
  if (out_ == nullptr || out_->hand_over.flush == nullptr) return;
  while (!failed_ && checked_ < handed_) check_oldest(false);
  dots_.clear();
  give_back();
}

}  // namespace plotveil
