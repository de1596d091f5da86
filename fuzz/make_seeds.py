#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/corpus/<target>/.

Run once from anywhere; the files are committed. Seeds are small grids in the
three encodings and the number forms a text grid can hold, plus the small real
grids of the corpus in tests/corpus (the replay reads the larger ones from there).
"""
import math
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SHARED = os.path.normpath(os.path.join(HERE, "..", "tests", "corpus"))
SEP = b"~~~~"


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def text_grid(header, rows, line_end=b"\r\n"):
    keys = ["ncols", "nrows", "xllcorner", "yllcorner", "cellsize", "nodata_value"]
    out = b"".join(b"%s %s%s" % (k.encode(), str(v).encode(), line_end) for k, v in zip(keys, header))
    for row in rows:
        out += b" ".join(str(c).encode() for c in row) + line_end
    return out


def binary_grid(header, rows, fmt):
    values = list(header) + [0.0] * (12 - len(header))
    data = b"".join(struct.pack("<" + fmt, v) for v in values)
    for row in rows:
        data += b"".join(struct.pack("<" + fmt, c) for c in row)
    return data


def single(header, rows):
    return binary_grid(header, rows, "f")


def double(header, rows):
    return binary_grid(header, rows, "d")


def run_seeds():
    h = [3, 2, 100, 200, 25, -9999]
    g = [[1, 2.5, -9999], [4, 5, 6]]
    m = [[1, -9999, 0], [float("nan"), -10000, 7]]
    mask_text = [[1, -9999, 0], [2, -10000, 7]]
    encodings = {"text": lambda rows: text_grid(h, rows), "single": lambda rows: single(h, rows),
                 "double": lambda rows: double(h, rows)}
    options = {"none": None, "t": b"-f:t", "s": b"-f:s", "d": b"-f:d"}
    for first_name, first in encodings.items():
        for second_name, second in encodings.items():
            mask_rows = mask_text if second_name == "text" else m
            for option_name, option in options.items():
                data = first(g) + SEP + second(mask_rows)
                if option is not None:
                    data += SEP + option
                write("run_fuzz", "%s_%s_%s" % (first_name, second_name, option_name), data)
    # One grid masked by a copy of itself (no separator).
    write("run_fuzz", "self_text", text_grid(h, g))
    write("run_fuzz", "self_single_s", single(h, g) + SEP + single(h, g) + SEP + b"-f:s")
    write("run_fuzz", "self_double_d", double(h, g) + SEP + double(h, g) + SEP + b"-f:d")
    # Shapes at the edges of the rules.
    write("run_fuzz", "fractional_ncols", text_grid([2.5, 2, 0, 0, 1, -9999], [[1, 2], [3, 4]]))
    write("run_fuzz", "fractional_nrows", text_grid([2, 1.7, 0, 0, 1, -9999], [[1, 2]]))
    write("run_fuzz", "zero_rows", text_grid([2, 0, 0, 0, 1, -9999], []))
    write("run_fuzz", "zero_width", text_grid([0, 3, 0, 0, 1, -9999], []) + SEP +
          text_grid([0, 3, 0, 0, 1, -9999], []) + SEP + b"-f:d")
    write("run_fuzz", "huge_width_short", text_grid([2000000000, 2, 0, 0, 1, -9999], [[1, 2]]))
    write("run_fuzz", "huge_height_short", double([2, 2000000000, 0, 0, 1, -9999], [[1, 2]]))
    write("run_fuzz", "unusable_size", text_grid(["1e300", -1, 0, 0, 1, -9999], []))
    write("run_fuzz", "short_text_row", text_grid(h, [[1, 2, 3], [4]]))
    write("run_fuzz", "short_single_row", single(h, g)[:-6] + SEP + single(h, g) + SEP + b"-f:s")
    write("run_fuzz", "text_end_mark", text_grid(h, g) + b"\x1a 7 8 9\r\n")
    write("run_fuzz", "text_word_cell", text_grid(h, [[1, "1.#INF", 3], [4, 5, 6]]))
    # Numbers longer than a block, numbers that touch, and the end mark inside a row.
    write("run_fuzz", "text_long_and_joined_numbers",
          text_grid([3, 4, 0, 0, 1, -9999], [["0." + "3" * 300, "1e5", "-" + "9" * 40 + "e-30"],
                                             ["7-8", "+.5"], ["1.5.5", "2"], [1, 2, "3\x1a4"]]))
    write("run_fuzz", "mismatch", text_grid(h, g) + SEP + text_grid([3, 2, 100.5, 200, 25, -9999], g))
    write("run_fuzz", "five_header_lines", b"ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\n"
          b"cellsize 1\n1 2 3 4\n")
    write("run_fuzz", "bad_header_number", b"ncols 2x\nnrows 1\n")
    write("run_fuzz", "unrecognised", b"NROWS 2\nNCOLS 1\n")
    # Keywords by name in any order and case; a no-data value six digits do not hold.
    write("run_fuzz", "keywords_by_name_exact_nodata",
          b"NCOLS 2\nnodata_value -1234567\nCellSize 0.5\nyllcenter 7\nNROWS 2\nxllcorner 3\n"
          b"1 -1234567\n3 4\n" + SEP +
          b"ncols 2\nnrows 2\nxllcorner 3\nyllcorner 6.75\ncellsize 0.5\nnodata_value -1234567\n"
          b"-1234567 1\n1e300 -2e6\n")
    write("run_fuzz", "keyword_twice", b"ncols 2\nnrows 1\nxllcorner 0\nncols 2\ncellsize 1\n"
          b"nodata_value -9999\n1 2\n")
    write("run_fuzz", "nan_nodata", double([2, 1, 0, 0, 1, -9999], [[float("nan"), 1]]) + SEP +
          double([2, 1, 0, 0, 1, -9999], [[1, float("inf")]]) + SEP + b"-f:t")
    # Small real grids, each with its mask.
    if os.path.isdir(SHARED):
        for name in sorted(os.listdir(SHARED)):
            if not name.endswith(".asc") or name.endswith(".mask.asc"):
                continue
            base = name[:-4]
            with open(os.path.join(SHARED, name), "rb") as f:
                grid = f.read()
            with open(os.path.join(SHARED, base + ".mask.asc"), "rb") as f:
                mask = f.read()
            if len(grid) + len(mask) <= 65536:
                write("run_fuzz", "real_" + base, grid + SEP + mask + SEP + b"-f:d")


def number_seeds():
    texts = {
        "plain": b"1 2.5 -9999\r\n0 -0 +7 .5 -.5 5. 00012 0.000",
        "exponents": b"1e5 1E-5 2.5e+012 7e 7e+x 7e- 1.e3 .5e1 1e400 -1e400 1e-400 -1e-400",
        "edges": b"4.94066e-324 2.4703282292062327e-324 2.4703282292062328e-324 "
                 b"1.7976931348623157e308 1.7976931348623158e308 179769313486231580793728971405301e276 "
                 b"2.2250738585072011e-308 9007199254740993 123456.5 1234565 999999.5",
        "words": b"1 1.#INF 2 3",
        "nan_words": b"-1.#IND 1.#QNAN nan inf",
        "hex": b"0x1p3 5",
        "signs": b"+ - +. -. +-1 .e5 ..5 1..2",
        # Groups of short numbers with every sign and point, which the vector
        # word scanners read two and four at a time.
        "short_groups": b"+1 -2 +3.5 -.25\n12345678 -1234567 +0.5 9.\n-0 +00 1.5 -7 +1 +2 +3 +4\n"
                        b"-1.25 -2.5 -30 -0.004 +99999.9 -12.5 +1234 -0.0001 7 -8 +9 -10\n",
        "end_mark": b"1 2\x1a3 4",
        "crlf_cr": b"1\r2\r\n3\n\r4\x0b5\x0c6",
        "long_digits": b"0." + b"0" * 400 + b"1" + b" " + b"1" * 900 + b"e-880 " +
                       b"2.4703282292062327208828439643411068618252990130716238221279284125033775363510437593264991818081799618989828234772285886546332835517796989819938739800539093906315035659515570226392290858392449105184435931802849936536152500319370457678249219365623669863658480757001585769269903706311928279558551332927834338409351978015531246597263579574622766465272827220056374006485499977096599470454020828166226237857393450736339007967761930577506740176324673600968951340535537458516661134223766678604162159680461914467291840300530057530849048765391711386591646239524912623653881879636239373280423891018672348497668235089863388587925628302755995657524455507255189313690836254779186948667994968324049705821028513185451396213837722826145437693412532098591327667236328125e-324",
        "huge_exponent": b"1e99999999999999999999 1e-99999999999999999999 0e99999",
        "spaces_only": b" \t\r\n\x0b\x0c",
        "six_digit_ranges": b"0.000001111111111111111 9.9999949999999e-7 0.00000099999950000000001 "
                            b"1e-6 9.99999e31 1e32 99999950000000000000000000000000 "
                            b"99999949999999999999999999999999 1e38 0.0000999995 0.00009999949999",
    }
    for name, data in texts.items():
        write("number_fuzz", name, data)
    doubles = [0.0, -0.0, 0.1, 1 / 3, 12.5, -9999.0, 100000.0, 999999.5, 1000000.0, 0.0001,
               -0.000123456789, 0.00001, 2.5e-12, 1e100, sys.float_info.max, 5e-324,
               123456.5, 1234565.0, 9.999995e-5, 0.99999949999999994, math.inf, -math.inf]
    for edge in (1e-6, 1e-4, 1e5, 1e6, 1e32, 1e38):
        doubles += [math.nextafter(edge, 0.0), edge, math.nextafter(edge, math.inf)]
    data = b"".join(struct.pack("<d", v) for v in doubles)
    nans = [0x7FF8000000000000, 0xFFF8000000000000, 0x7FF0000000000001, 0xFFF4000000000000,
            0x7FFFFFFFFFFFFFFF, 0x000FFFFFFFFFFFFF, 0x0010000000000000]
    data += b"".join(struct.pack("<Q", b) for b in nans)
    write("number_fuzz", "doubles", data)
    if os.path.isdir(SHARED):
        for name in sorted(os.listdir(SHARED)):
            path = os.path.join(SHARED, name)
            if name.endswith(".asc") and os.path.getsize(path) <= 8192:
                with open(path, "rb") as f:
                    write("number_fuzz", "real_" + name[:-4], f.read())


if __name__ == "__main__":
    run_seeds()
    number_seeds()
