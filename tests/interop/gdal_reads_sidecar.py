"""GDAL opens plotveil's binary outputs through the sidecar plotveil-hdr writes.

For a single and a double output of the same pair, GDAL (EHdr for single,
ENVI for double) must read the grid's size, origin, cell size and no-data
value, every cell (single: the nearest 32-bit value of the masked cell), and
the count, minimum, maximum and mean GDAL computes over the valid cells must
agree with the statistics plotveil stored in the header (single: to single
precision). Every valid cell here lies more than one above the no-data value,
so plotveil's counted cells and GDAL's valid cells are the same cells.

Usage: gdal_reads_sidecar.py <plotveil> <plotveil-hdr>   (in an empty folder)
Prints ok/FAIL lines; exit 0 when all checks pass, 1 otherwise.
"""
import struct
import subprocess
import sys

import numpy as np
from osgeo import gdal

gdal.UseExceptions()
gdal.SetConfigOption("GDAL_PAM_ENABLED", "NO")

plotveil, plotveil_hdr = sys.argv[1], sys.argv[2]
NODATA = -9999.0
NCOLS, NROWS, XLL, YLL, CELL = 7, 5, 1000.5, 2000.25, 0.5

# Values that need all 17 digits, negative ones, zero, large and tiny ones;
# grid_1's own no-data cell (row 2, column 3) lies under a kept mask cell.
values = [[1 / 3, 0.1, -3.25, 123456.789, 7, 2.5e-12, -0.5],
          [1.5e-05, 88.125, NODATA, 42, 1e6 / 7, 3000.25, 0],
          [-12.5, 99.999, 1.5e6, 4000.5, 5000.75, 2 ** 0.5, 17],
          [271.828, -9997.5, 31.4159, 0.001, 1e-300, 64, 65],
          [-100.125, 0.3, 0.7, 8.5, 9.5, 10.5, 11.5]]
mask = [[1, 1, -9999, 1, 0.5, 0, 1],
        [1, 1, 1, -10000, 1, 1, 1],
        [-9999, 0, 1, 1, 1, -9999, 1],
        [1, 1, 1, -9999, 1, 1, 1],
        [1, -1e30, 1, 1, 1, 1, 1]]
expected = np.array([[v if m > NODATA else NODATA for v, m in zip(vr, mr)]
                     for vr, mr in zip(values, mask)], dtype=np.float64)


def text_grid(name, rows):
    with open(name, "w") as out:
        out.write(f"ncols {NCOLS}\nnrows {NROWS}\nxllcorner {XLL!r}\nyllcorner {YLL!r}\n"
                  f"cellsize {CELL!r}\nnodata_value {NODATA!r}\n")
        for row in rows:
            out.write(" ".join(repr(float(v)) for v in row) + "\n")


failures = 0


def check(ok, what, detail=""):
    global failures
    print(("ok:   " if ok else "FAIL: ") + what + ("" if ok else f" ({detail})"))
    failures += 0 if ok else 1


text_grid("grid.asc", values)
text_grid("mask.asc", mask)

for option, name, cell_type, fmt, driver in (("-f:s", "single.flt", np.float32, "<12f", "EHdr"),
                                            ("-f:d", "double.dbl", np.float64, "<12d", "ENVI")):
    run = subprocess.run([plotveil, "grid.asc", "mask.asc", name, option],
                         stdin=subprocess.DEVNULL, capture_output=True)
    check(run.returncode == 0, f"plotveil {option} exit 0", run.stdout)
    run = subprocess.run([plotveil_hdr, name], stdin=subprocess.DEVNULL, capture_output=True, text=True)
    sidecar = name.split(".")[0] + ".hdr"
    check(run.returncode == 0 and run.stdout == f"wrote {sidecar}\n", f"plotveil-hdr {name}",
          f"exit {run.returncode}: {run.stdout}{run.stderr}")

    with open(name, "rb") as grid:
        header = struct.unpack(fmt, grid.read(struct.calcsize(fmt)))
    count, minimum, maximum, mean = header[6], header[7], header[8], header[10]

    dataset = gdal.Open(name)
    band = dataset.GetRasterBand(1)
    origin = dataset.GetGeoTransform()
    check(dataset.GetDriver().ShortName == driver, f"{name}: GDAL's {driver} driver opens it",
          dataset.GetDriver().ShortName)
    check((dataset.RasterXSize, dataset.RasterYSize, dataset.RasterCount) == (NCOLS, NROWS, 1),
          f"{name}: {NCOLS} x {NROWS} cells, one band", (dataset.RasterXSize, dataset.RasterYSize))
    check(origin == (XLL, CELL, 0.0, YLL + NROWS * CELL, 0.0, -CELL),
          f"{name}: origin ({XLL}, {YLL + NROWS * CELL}), cells {CELL} x {CELL}", origin)
    check(band.GetNoDataValue() == NODATA, f"{name}: no-data value {NODATA}", band.GetNoDataValue())
    cells = band.ReadAsArray()
    check(cells.dtype == cell_type and np.array_equal(cells, expected.astype(cell_type)),
          f"{name}: every cell as plotveil wrote it", f"{cells.dtype}: {cells}")

    valid = int(np.count_nonzero(band.GetMaskBand().ReadAsArray()))
    gmin, gmax, gmean, _ = band.ComputeStatistics(False)
    counted = int(np.count_nonzero(expected > NODATA + 1))
    check(valid == count == counted, f"{name}: GDAL's {valid} valid cells are plotveil's count {count:g}")
    if cell_type == np.float32:
        # The header holds each statistic rounded to a 32-bit value; GDAL's
        # mean of the 32-bit cells lies within a few units of that rounding.
        check(np.float32(gmin) == minimum and np.float32(gmax) == maximum,
              f"{name}: minimum and maximum agree to single precision", (gmin, gmax, minimum, maximum))
        check(abs(gmean - mean) <= 4 * float(np.spacing(np.float32(mean))),
              f"{name}: mean agrees to single precision", (gmean, mean))
    else:
        check(gmin == minimum and gmax == maximum, f"{name}: minimum and maximum agree exactly",
              (gmin, gmax, minimum, maximum))
        check(abs(gmean - mean) <= 1e-13 * abs(mean), f"{name}: mean agrees to 13 digits", (gmean, mean))
    dataset = None

sys.exit(1 if failures else 0)
