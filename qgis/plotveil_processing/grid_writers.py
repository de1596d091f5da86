"""The grids written for plotveil from layers it cannot read as they are:
single or double grids with array writes, block by block of rows, or text
grids where the no-data value is not the one those need."""

import math
import os

import numpy

from qgis.core import QgsProcessingException

from .cancel import check_cancel
from .plotveil_grids import BINARY_NODATA, TEXT_KEYWORDS
from .translation import tr


def write_binary_grid(layer, path, georeference, cell_type, keep, feedback):
    """Writes band 1 of the layer as a single or double grid (`cell_type`)
    with the given georeference and the no-data value -9999. Cells that are no
    data in the layer (its no-data value, or NaN) become -9999; the others
    keep their value, or become `keep` when it is given (a mask's cells, whose
    values never reach the result)."""
    header = numpy.zeros(12, dtype=cell_type)
    header[:5] = georeference
    header[5] = BINARY_NODATA
    nodata, keep = cell_type.type(BINARY_NODATA), None if keep is None else cell_type.type(keep)
    # A layer whose no-data value is -9999 holds its no-data cells as they are
    # written; so, in a mask of 32-bit floats, does every data cell above -9999.
    as_held = layer.nodata == BINARY_NODATA and (keep is None or layer.cells_are_single())
    height = layer.dataset.RasterYSize
    with _writing(layer, path) as stream:
        stream.write(header.data)
        into = None
        for first, count in layer.blocks():
            if into is not None and into.shape[0] != count:
                into = None
            cells = into = layer.read_block(first, count, into)
            if as_held and not _to_change(cells, keep is not None):
                cells = cells.astype(cell_type, copy=False)
            elif keep is None:
                cells = numpy.where(layer.missing(cells), nodata, cells.astype(cell_type))
            else:
                cells = numpy.where(layer.missing(cells), nodata, keep)
            stream.write(numpy.ascontiguousarray(cells).data)   # a full disk says so, in the system's words
            feedback.setProgress(100.0 * (first + count) / height)
            check_cancel(feedback)


def _to_change(cells, mask):
    """Whether a block of a layer whose no-data value is -9999 holds NaN
    cells or, in a mask, cells below -9999 (data that plotveil would take for
    no data): one pass, as the least cell is NaN where any is."""
    least = cells.min() if cells.size else 0
    return bool(least != least or (mask and least < BINARY_NODATA))


def write_text_grid(layer, path, georeference, nodata, keep, feedback):
    """Writes band 1 of the layer as a text grid plotveil reads, with the
    given georeference and no-data value, every value as the text that reads
    back as it. Cells that are no data in the layer (its no-data value, or
    NaN) become `nodata`; the others keep their value, or become `keep` when
    it is given (a mask's cells)."""
    g = georeference
    height = layer.dataset.RasterYSize
    with _writing(layer, path) as stream:
        values = (int(g.ncols), int(g.nrows), repr(float(g.xll)), repr(float(g.yll)), repr(float(g.cellsize)),
                  repr(float(nodata)))
        stream.write(''.join('{} {}\n'.format(k, v) for k, v in zip(TEXT_KEYWORDS, values)).encode('ascii'))
        for first, count in layer.blocks():
            cells = layer.read_block(first, count)
            missing = layer.missing(cells)
            if keep is not None:
                _write_two_texts(stream, missing, _number(nodata), _number(keep))
            else:
                cells = cells.astype(numpy.float64)
                cells[missing] = nodata
                for row in cells:   # a row's texts at a time, not a block's
                    stream.write(' '.join(map(_number, row.tolist())).encode('ascii') + b'\n')
            feedback.setProgress(100.0 * (first + count) / height)
            check_cancel(feedback)


def _number(value):
    """A cell as plotveil reads it back exactly; infinities as numbers that overflow."""
    if math.isinf(value):
        return '1e999' if value > 0 else '-1e999'
    return repr(value)


def _write_two_texts(stream, which, first, second):
    """Writes rows of cells that are `first` where `which` holds and `second`
    elsewhere, as arrays: each cell padded with blanks to one width."""
    width = max(len(first), len(second)) + 1
    texts = numpy.full((2, width), 32, dtype=numpy.uint8)
    texts[0, :len(second)] = numpy.frombuffer(second.encode('ascii'), dtype=numpy.uint8)
    texts[1, :len(first)] = numpy.frombuffer(first.encode('ascii'), dtype=numpy.uint8)
    rows = texts[which.astype(numpy.uint8)].reshape(which.shape[0], -1)
    lines = numpy.full((rows.shape[0], rows.shape[1] + 1), 10, dtype=numpy.uint8)
    lines[:, :-1] = rows
    stream.write(lines.data)


class _writing:
    """The file opened for writing; a failure to write says which layer and
    where, in the system's words."""

    def __init__(self, layer, path):
        self.layer, self.path = layer, path

    def __enter__(self):
        try:
            self.stream = open(self.path, 'wb')
        except OSError as e:
            self._fail(e)
        return self.stream

    def __exit__(self, kind, error, trace):
        try:
            self.stream.close()
        except OSError as e:
            if kind is None:
                self._fail(e)
        if isinstance(error, OSError):
            self._fail(error)
        return False

    def _fail(self, e):
        raise QgsProcessingException(tr('Could not write {} for plotveil into {}: {}').format(
            self.layer, os.path.dirname(self.path), e.strerror or e))
