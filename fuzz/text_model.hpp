// Plain models of numbers in text grids, written apart from the tool's code
// so that fuzz targets can compare the two: the read syntax, with values from
// strtod, and the numeric text form, from printf's 17 correctly rounded digits.
#pragma once

#include <cstddef>
#include <string>

namespace plotveil_fuzz {

bool is_text_space(char c);

// One number read from `data` (`size` bytes, already cut at a 0x1A byte)
// starting at `pos`: white space skipped, then the number or a failure.
struct ModelRead {
  bool ok = false;
  double value = 0;
  std::size_t start = 0;    // first byte after the skipped white space
  std::size_t next = 0;     // where the following read begins
};
ModelRead model_read(const char* data, std::size_t size, std::size_t pos);

// One word (a run of bytes other than white space) after white space; false
// at the end of the data. `pos` moves past the word.
bool model_skip_word(const char* data, std::size_t size, std::size_t& pos);

// The numeric text form of a value, and for a finite nonzero value the value
// rounded to six significant digits the way the text form rounds it.
struct Reference {
  std::string text;
  bool finite_nonzero = false;
  double rounded = 0;
};
Reference reference_text(double v);

}  // namespace plotveil_fuzz
