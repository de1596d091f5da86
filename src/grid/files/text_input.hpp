// Numbers and words read from a text grid's stream. White space is the six C
// white-space bytes; a CR LF line end is white space like any other, and the
// data ends at a 0x1A byte (the stream's text mode).
#pragma once

#include "grid/files/byte_streams.hpp"

namespace plotveil {

// Keywords are read in any letter case.
inline char lower_case(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Skips white space and reads one number: a header's value, or a word longer
// than a block of cells (grid/pipeline/text_cell_source.hpp reads the cells).
// On failure nothing is stored and the character that stopped the read stays
// in the stream, so a letter stalls every later read there. False at the end
// of the data as well.
bool read_number(InStream& in, double& destination);

// True when the data ends, or white space follows, where the stream stands:
// a number read there was a whole word.
bool at_word_end(InStream& in);

// Skips white space and one word (a run of bytes other than white space),
// keeping nothing of it. False when the data ends before the word begins.
bool skip_word(InStream& in);

// Skips white space and one word, keeping its first `capacity - 1` bytes in
// `word` (NUL-terminated) and its whole length in `length`. False when the
// data ends before the word begins.
bool read_word(InStream& in, char* word, std::size_t capacity, std::size_t& length);

// Skips white space; true when a word follows and begins as a number can (a
// digit, a sign or a point). Nothing of the word is taken.
bool next_word_is_number(InStream& in);

}  // namespace plotveil
