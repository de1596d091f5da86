// Writes a grid and its mask of ROWS x COLS cells into a folder, each in the
// three encodings plotveil reads:
//   grid.asc mask.asc  text: tab-separated header, CR LF line ends, cells
//                      separated by blanks (grid) or tabs (mask)
//   grid.dbl mask.dbl  double binary: twelve-value header, then the rows
//   grid.flt mask.flt  single binary: the same in 32-bit values
// With --text-only only the two text files are written. With --shapes the
// grid is written too as text in the forms GDAL's AAIGrid driver gives other
// programs' rasters (its header, a blank before each cell, LF line ends):
//   grid_f32.asc   a Float32 raster: each cell's float with up to 20 digits
//                  ("827.50897216796875")
//   grid_f64.asc   a Float64 raster: each double with up to 20 digits
//   grid_int.asc   an integer raster: whole metres
// Each of them agrees with mask.asc, header and all.
//
// The output depends on ROWS and COLS alone: cells come from integer hashing
// and integer arithmetic, so every machine writes the same bytes. A cell is an
// elevation in thousandths of a metre; its text form has three decimals and its
// binary form is the nearest double (or single) to that decimal, so a text grid
// and its binary twin hold the same values. About 10 % of the grid's cells and
// 30 % of the mask's are no-data (-9999).
//
// Usage: make_grids FOLDER [ROWS [COLS]] [--text-only] [--shapes]

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kNodata = -9999;
constexpr std::int64_t kNodataCell = std::numeric_limits<std::int64_t>::min();

// Geometry shared by both grids; every value is exact in single precision, so
// text, double and single headers all read back to equal doubles.
constexpr double kXllCorner = 480000.0;
constexpr double kYllCorner = 5300000.0;
constexpr double kCellSize = 12.5;

std::uint64_t mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

// A triangle wave of period 2 * half, between 0 and half.
std::int64_t tent(std::int64_t x, std::int64_t half) {
  std::int64_t m = x % (2 * half);
  if (m < 0) m += 2 * half;
  return m < half ? m : 2 * half - m;
}

struct Layer {
  std::uint64_t seed;
  unsigned nodata_per_mille;
  std::int64_t base;
};

// Elevation of one cell in thousandths, or kNodataCell.
std::int64_t cell_value(const Layer& layer, std::int64_t r, std::int64_t c, std::int64_t cols) {
  const std::uint64_t h = mix(layer.seed ^ static_cast<std::uint64_t>(r * cols + c));
  if (h % 1000 < layer.nodata_per_mille) return kNodataCell;
  const std::int64_t noise = static_cast<std::int64_t>((h >> 20) % 20000);
  return layer.base + 600 * tent(r + 2 * c, 977) + 450 * tent(3 * r - c + 100000, 1451) + noise;
}

struct Stats {
  double count = 0, min = 0, max = 0, sum = 0, sum_sq = 0;
  void add(double v) {
    if (count == 0 || v < min) min = v;
    if (count == 0 || v > max) max = v;
    count += 1;
    sum += v;
    sum_sq += v * v;
  }
  // count, minimum, maximum, sum, mean, sample standard deviation
  void fill(double* out) const {
    out[0] = count;
    out[1] = min;
    out[2] = max;
    out[3] = sum;
    out[4] = count > 0 ? sum / count : static_cast<double>(kNodata);
    out[5] = count > 1 ? std::sqrt(std::max(0.0, (sum_sq - sum * sum / count) / (count - 1)))
                       : static_cast<double>(kNodata);
  }
};

class Output {
 public:
  explicit Output(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "wb")) {
    if (file_ == nullptr) die("cannot create");
    buffer_.reset(new char[kBuffer]);
    std::setvbuf(file_, buffer_.get(), _IOFBF, kBuffer);
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  ~Output() {
    if (file_ != nullptr) std::fclose(file_);
  }

  void write(const void* data, std::size_t size) {
    if (std::fwrite(data, 1, size, file_) != size) die("cannot write");
  }
  void write_at(long offset, const void* data, std::size_t size) {
    if (std::fseek(file_, offset, SEEK_SET) != 0) die("cannot seek in");
    write(data, size);
  }
  void close() {
    const int rc = std::fclose(file_);
    file_ = nullptr;
    if (rc != 0) die("cannot write");
  }

 private:
  static constexpr std::size_t kBuffer = 1 << 20;
  [[noreturn]] void die(const char* what) const {
    std::printf("make_grids: %s %s\n", what, path_.c_str());
    std::exit(1);
  }
  std::string path_;
  std::FILE* file_;
  std::unique_ptr<char[]> buffer_;
};

// Appends a cell in text: "-9999" for no-data, otherwise three decimals.
char* put_cell(char* p, std::int64_t milli) {
  if (milli == kNodataCell) {
    std::memcpy(p, "-9999", 5);
    return p + 5;
  }
  if (milli < 0) {
    *p++ = '-';
    milli = -milli;
  }
  char digits[24];
  int n = 0;
  std::int64_t whole = milli / 1000;
  do {
    digits[n++] = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole > 0);
  while (n > 0) *p++ = digits[--n];
  const int frac = static_cast<int>(milli % 1000);
  *p++ = '.';
  *p++ = static_cast<char>('0' + frac / 100);
  *p++ = static_cast<char>('0' + frac / 10 % 10);
  *p++ = static_cast<char>('0' + frac % 10);
  return p;
}

std::string text_header(std::int64_t rows, std::int64_t cols) {
  char text[256];
  std::snprintf(text, sizeof text,
                "ncols\t%lld\r\nnrows\t%lld\r\nxllcorner\t%.0f\r\nyllcorner\t%.0f\r\n"
                "cellsize\t%.1f\r\nnodata_value\t%lld\r\n",
                static_cast<long long>(cols), static_cast<long long>(rows), kXllCorner, kYllCorner,
                kCellSize, static_cast<long long>(kNodata));
  return text;
}

// One grid in a text form GDAL writes (--shapes), row by row.
class GdalText {
 public:
  enum class Kind { float32, float64, integer };
  GdalText(const std::string& path, Kind kind, std::int64_t rows, std::int64_t cols) : kind_(kind), text_(path) {
    char header[256];
    std::snprintf(header, sizeof header,
                  "ncols        %lld\nnrows        %lld\nxllcorner    %.12f\nyllcorner    %.12f\n"
                  "cellsize     %.12f\nNODATA_value %s%lld\n",
                  static_cast<long long>(cols), static_cast<long long>(rows), kXllCorner, kYllCorner, kCellSize,
                  kind == Kind::integer ? "" : " ", static_cast<long long>(kNodata));
    text_.write(header, std::strlen(header));
    line_.resize(static_cast<std::size_t>(cols) * 28 + 2);
  }

  void add_row(const std::vector<std::int64_t>& cells) {
    char* p = line_.data();
    for (std::int64_t milli : cells) {
      *p++ = ' ';
      if (milli == kNodataCell) {
        p += std::snprintf(p, 28, "%lld", static_cast<long long>(kNodata));
      } else if (kind_ == Kind::integer) {
        p += std::snprintf(p, 28, "%lld", static_cast<long long>(milli / 1000));
      } else {
        const double v = static_cast<double>(milli) / 1000.0;
        p += std::snprintf(p, 28, "%.20g", kind_ == Kind::float32 ? static_cast<double>(static_cast<float>(v)) : v);
      }
    }
    *p++ = '\n';
    text_.write(line_.data(), static_cast<std::size_t>(p - line_.data()));
  }

  void finish() { text_.close(); }

 private:
  Kind kind_;
  Output text_;
  std::vector<char> line_;
};

// One grid in its three encodings, written row by row.
class GridFiles {
 public:
  GridFiles(const std::string& folder, const char* stem, char separator, std::int64_t rows,
            std::int64_t cols, bool text_only)
      : separator_(separator), text_only_(text_only), text_(folder + "/" + stem + ".asc") {
    const std::string header = text_header(rows, cols);
    text_.write(header.data(), header.size());
    line_.resize(static_cast<std::size_t>(cols) * 24 + 2);
    if (text_only_) return;
    doubles_ = std::make_unique<Output>(folder + "/" + stem + ".dbl");
    singles_ = std::make_unique<Output>(folder + "/" + stem + ".flt");
    // Statistics fields are filled in at the end.
    double head[12] = {static_cast<double>(cols), static_cast<double>(rows), kXllCorner, kYllCorner,
                       kCellSize, static_cast<double>(kNodata)};
    write_header(head);
    double_row_.resize(static_cast<std::size_t>(cols));
    single_row_.resize(static_cast<std::size_t>(cols));
  }

  void add_row(const std::vector<std::int64_t>& cells) {
    char* p = line_.data();
    for (std::size_t c = 0; c < cells.size(); ++c) {
      if (c > 0) *p++ = separator_;
      p = put_cell(p, cells[c]);
    }
    *p++ = '\r';
    *p++ = '\n';
    text_.write(line_.data(), static_cast<std::size_t>(p - line_.data()));
    if (text_only_) return;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      // Division of two exact integers rounds once: the nearest double to the decimal.
      const double v = cells[c] == kNodataCell ? static_cast<double>(kNodata)
                                               : static_cast<double>(cells[c]) / 1000.0;
      double_row_[c] = v;
      single_row_[c] = static_cast<float>(v);
      if (cells[c] != kNodataCell) stats_.add(v);
    }
    doubles_->write(double_row_.data(), double_row_.size() * sizeof(double));
    singles_->write(single_row_.data(), single_row_.size() * sizeof(float));
  }

  void finish() {
    text_.close();
    if (text_only_) return;
    double head[12] = {};
    stats_.fill(head + 6);
    float narrow[6];
    for (int i = 0; i < 6; ++i) narrow[i] = static_cast<float>(head[6 + i]);
    doubles_->write_at(6 * sizeof(double), head + 6, 6 * sizeof(double));
    singles_->write_at(6 * sizeof(float), narrow, sizeof narrow);
    doubles_->close();
    singles_->close();
  }

 private:
  void write_header(const double* head) {
    float narrow[12];
    for (int i = 0; i < 12; ++i) narrow[i] = static_cast<float>(head[i]);
    doubles_->write(head, 12 * sizeof(double));
    singles_->write(narrow, sizeof narrow);
  }

  char separator_;
  bool text_only_;
  Output text_;
  std::unique_ptr<Output> doubles_, singles_;
  std::vector<char> line_;
  std::vector<double> double_row_;
  std::vector<float> single_row_;
  Stats stats_;
};

bool parse_count(const char* text, std::int64_t& out) {
  char* end = nullptr;
  const long long v = std::strtoll(text, &end, 10);
  if (end == text || *end != '\0' || v < 1 || v > 1000000) return false;
  out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Binary cells are written from memory as they stand; on disk they are little-endian IEEE 754.
  static_assert(std::endian::native == std::endian::little);
  static_assert(std::numeric_limits<double>::is_iec559 && std::numeric_limits<float>::is_iec559);
  std::vector<const char*> positional;
  bool text_only = false;
  bool shapes = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--text-only") == 0) {
      text_only = true;
    } else if (std::strcmp(argv[i], "--shapes") == 0) {
      shapes = true;
    } else {
      positional.push_back(argv[i]);
    }
  }
  std::int64_t rows = 4000, cols = 4000;
  if (positional.empty() || positional.size() > 3 ||
      (positional.size() > 1 && !parse_count(positional[1], rows)) ||
      (positional.size() > 2 && !parse_count(positional[2], cols))) {
    std::printf("usage: make_grids FOLDER [ROWS [COLS]] [--text-only] [--shapes]\n");
    return 1;
  }
  const std::string folder = positional[0];
  const Layer grid_layer{0x6772696400000001ULL, 100, 250000};
  const Layer mask_layer{0x6D61736B00000002ULL, 300, 180000};
  GridFiles grid(folder, "grid", ' ', rows, cols, text_only);
  GridFiles mask(folder, "mask", '\t', rows, cols, text_only);
  std::vector<std::unique_ptr<GdalText>> gdal_texts;
  if (shapes) {
    gdal_texts.push_back(std::make_unique<GdalText>(folder + "/grid_f32.asc", GdalText::Kind::float32, rows, cols));
    gdal_texts.push_back(std::make_unique<GdalText>(folder + "/grid_f64.asc", GdalText::Kind::float64, rows, cols));
    gdal_texts.push_back(std::make_unique<GdalText>(folder + "/grid_int.asc", GdalText::Kind::integer, rows, cols));
  }
  std::vector<std::int64_t> grid_cells(static_cast<std::size_t>(cols));
  std::vector<std::int64_t> mask_cells(static_cast<std::size_t>(cols));
  for (std::int64_t r = 0; r < rows; ++r) {
    for (std::int64_t c = 0; c < cols; ++c) {
      grid_cells[static_cast<std::size_t>(c)] = cell_value(grid_layer, r, c, cols);
      mask_cells[static_cast<std::size_t>(c)] = cell_value(mask_layer, r, c, cols);
    }
    grid.add_row(grid_cells);
    mask.add_row(mask_cells);
    for (auto& text : gdal_texts) text->add_row(grid_cells);
  }
  for (auto& text : gdal_texts) text->finish();
  grid.finish();
  mask.finish();
  return 0;
}
