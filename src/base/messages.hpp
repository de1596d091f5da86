// Every text the tool prints, in one place. These are part of its interface:
// scripts match them byte for byte, misspellings, trailing blanks and all.
#pragma once

namespace plotveil::msg {

inline constexpr char usage_1[] =
    "Plotveil: masks grid_1 with the mask provided in grid_2 on a cell by cell basis\n";
inline constexpr char usage_2[] =
    "usage : plotveil <grid_1> <grid_2(mask)> <outgrid(masked)> [-f:t|s|d]\n";
inline constexpr char usage_3[] =
    "-f:t|s|d output format. t=text (with double precision, this is default), "
    "d=double precision, s=single precision\n";

inline constexpr char could_not_open_input[] = "could not open input file %s\n";
inline constexpr char unrecognised_format[] =
    "could not recognise file format (ascii, single or double) for %s\n";

inline constexpr char error_opening_output[] = "error opening output grid %s \r\n";
inline constexpr char output_is_input[] = "output grid %s would overwrite an input grid \r\n";
inline constexpr char output_cannot_seek[] = "output grid %s cannot seek: a binary grid needs a file \r\n";
inline constexpr char prompt_new_name[] = "please enter new output file name: ";
inline constexpr char after_answer[] = "\r\n";
inline constexpr char answer_too_long[] = "output file name longer than %d characters\n";

inline constexpr char error_reading_header[] = "error reading fiel header from %s\n";
inline constexpr char parameter_mismatch[] =
    "%d. Parameter (%s) in %s stimmt nicht\n mit dem in %s ueberein (%s)\n";
inline constexpr char unusable_size[] = "grid %s has an unusable size (ncols %s, nrows %s)\n";
inline constexpr char no_memory_for_rows[] = "could not allocate memory for rows of %d cells\n";
inline constexpr char no_memory[] = "could not allocate memory\n";
// The grid, and the largest count a single-precision header holds exactly.
inline constexpr char size_beyond_single[] =
    "grid %s is too large for a single-precision header, which counts columns and rows "
    "exactly only up to %d; write it with -f:d or -f:t\n";

inline constexpr char error_reading_row[] = "error reading from %s in row %d (%d values read)\n";
inline constexpr char error_writing_row[] = "error writing row %d in %s\n";
inline constexpr char error_writing_cell[] = "error writing row %d, col %d in %s\n";
inline constexpr char error_writing_into[] = "error writing into %s \n";

inline constexpr char progress_dot[] = ".";
inline constexpr char progress_end[] = "\n";

}  // namespace plotveil::msg
