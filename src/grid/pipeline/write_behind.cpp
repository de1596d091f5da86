#include "grid/pipeline/write_behind.hpp"

#include <new>
#include <utility>

#include "base/failure.hpp"
#include "base/platform.hpp"
#include "grid/files/rows.hpp"

namespace plotveil {

void WriteBehind::write_extent(void* context) {
  auto& extent = *static_cast<Extent*>(context);
  extent.written = write_at(extent.owner->out_->file, extent.bytes, extent.size, extent.position);
}

bool WriteBehind::start(OutStream& out, WorkerPool& pool, int buffers, RowWritten row_written) {
  AllocationMayFail may_fail;
  buffers_.reset(new (std::nothrow) Buffer[static_cast<std::size_t>(buffers)]);
  if (!buffers_) return false;
  for (int k = 0; k < buffers; ++k) {
    buffers_[k].bytes.reset(new (std::nothrow) char[out.capacity]);
    if (!buffers_[k].bytes) return false;
  }
  out_ = &out;
  pool_ = &pool;
  row_written_ = row_written;
  total_ = buffers;
  next_position_ = written_end_ = virtual_start_ = out.position;
  out.hand_over = FlushHandOver{hand_over, row_done, this};
  return true;
}

void WriteBehind::submit(Extent& extent, const char* bytes, std::size_t size) {
  extent.owner = this;
  extent.bytes = bytes;
  extent.size = size;
  extent.position = next_position_;
  extent.pending = true;
  extent.job.work = write_extent;
  extent.job.context = &extent;
  next_position_ += size;
  pending_.push_back(&extent);
  pool_->submit(extent.job);
}

// A full buffer is flushed where it ends: it goes to a worker, and the
// stream takes the buffer handed over `total_` flushes ago, once that one is
// known written.
bool WriteBehind::hand_over(OutStream& out, void* context) {
  auto& self = *static_cast<WriteBehind*>(context);
  if (out.used == 0) return !out.broken;
  Buffer& buffer = self.buffers_[self.handed_ % static_cast<std::uint64_t>(self.total_)];
  if (!self.release(buffer.extent)) return false;
  std::swap(buffer.bytes, out.buffer);
  self.submit(buffer.extent, buffer.bytes.get(), out.used);
  ++self.handed_;
  self.virtual_used_ = out.used;
  out.position += out.used;
  out.used = 0;
  return self.add_point(out.site);
}

void WriteBehind::take_text() {
  virtual_used_ = out_->used;
  if (out_->used > 0) submit(header_, out_->buffer.get(), out_->used);
  out_->position += out_->used;
  out_->used = 0;
}

bool WriteBehind::account_text(const char* text, std::size_t size, std::size_t cell_room, std::int64_t row) {
  const std::size_t capacity = out_->capacity;
  std::size_t done = 0;
  while (done < size) {
    const std::size_t room = capacity - virtual_used_;
    if (room < cell_room) {
      if (!add_point(FlushSite{row, 0})) return false;
      continue;
    }
    const std::size_t stop = cells_taken(text, done, size, room, cell_room);
    virtual_used_ += stop - done;
    done = stop;
  }
  return true;
}

void WriteBehind::write_text(Extent& extent, const char* bytes, std::size_t size) { submit(extent, bytes, size); }

// The bytes writing in order holds are flushed here. A write known to have
// failed before the end of them makes this the flush that fails.
bool WriteBehind::add_point(FlushSite site) {
  const std::uint64_t end = virtual_start_ + virtual_used_;
  virtual_start_ = end;
  virtual_used_ = 0;
  points_.push_back(FlushPoint{end, site});
  ++points_made_;
  if (failed_ && failed_at_ < end) return fail_at_point();
  return true;
}

void WriteBehind::row_done(void* context) {
  auto& self = *static_cast<WriteBehind*>(context);
  if (self.dots_.empty() && self.points_written_ == self.points_made_) {
    self.row_written_();
    return;
  }
  if (self.dots_.empty() || self.dots_.back().after_points != self.points_made_) {
    self.dots_.push_back(WaitingDots{self.points_made_, 0});
  }
  ++self.dots_.back().rows;
}

void WriteBehind::print_dots() {
  while (!dots_.empty() && dots_.front().after_points <= points_written_) {
    for (std::uint64_t k = 0; k < dots_.front().rows; ++k) row_written_();
    dots_.pop_front();
  }
}

// Waits for the oldest extent not yet checked; the flush points its bytes
// complete are then known written, and the rows after them get their dots.
bool WriteBehind::check_oldest() {
  Extent& extent = *pending_.front();
  pool_->wait(extent.job);
  pending_.pop_front();
  extent.pending = false;
  if (!failed_) {
    if (extent.written == extent.size) {
      written_end_ = extent.position + extent.size;
    } else {
      failed_ = true;
      failed_at_ = written_end_ = extent.position + extent.written;
    }
  }
  while (!points_.empty() && points_.front().end <= written_end_) {
    points_.pop_front();
    ++points_written_;
  }
  if (failed_ && !points_.empty()) return fail_at_point();
  print_dots();
  return true;
}

// The oldest flush point not known written is where writing in order fails:
// the dots before it, then the writes stop and the file is cut back.
bool WriteBehind::fail_at_point() {
  print_dots();
  dots_.clear();
  out_->failed_site = points_.front().site;
  cut_back();
  return false;
}

void WriteBehind::cut_back() {
  while (!pending_.empty()) {
    pool_->wait(pending_.front()->job);
    pending_.front()->pending = false;
    pending_.pop_front();
  }
  platform::truncate_file(out_->file, failed_at_);
  next_position_ = failed_at_;
  out_->used = 0;  // what the stream holds comes after the failure: never written
  out_->broken = true;
  give_back();
}

bool WriteBehind::release(Extent& extent) {
  while (extent.pending) {
    if (!check_oldest()) return false;
  }
  return true;
}

void WriteBehind::give_back() {
  out_->position = next_position_;
  out_->hand_over = FlushHandOver{};
  platform::seek_file(out_->file, out_->position);
}

bool WriteBehind::settle() {
  if (out_ == nullptr || out_->hand_over.flush == nullptr) return true;
  while (!pending_.empty()) {
    if (!check_oldest()) return false;
  }
  print_dots();
  if (failed_) {
    cut_back();  // after the last flush point: closing the output fails
    return true;
  }
  give_back();
  return true;
}

void WriteBehind::abandon() {
  if (out_ == nullptr || out_->hand_over.flush == nullptr) return;
  while (!pending_.empty() && !failed_) {
    Extent& extent = *pending_.front();
    pool_->wait(extent.job);
    pending_.pop_front();
    extent.pending = false;
    if (extent.written == extent.size) {
      written_end_ = extent.position + extent.size;
    } else {
      failed_ = true;
      failed_at_ = extent.position + extent.written;
    }
  }
  dots_.clear();
  if (failed_) {
    cut_back();
    return;
  }
  give_back();
}

}  // namespace plotveil
