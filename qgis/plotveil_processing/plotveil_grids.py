"""The grid files plotveil reads as they are: their headers as plotveil
takes them, whether that is the grid QGIS shows for a layer, and what one
pass of array operations over their cells tells without GDAL."""

import math
import os
import re
import struct
from collections import namedtuple

import numpy

from .alignment import agree, same_cellsize
from .cancel import check_cancel

# plotveil recognises a single or double grid by this no-data value alone.
BINARY_NODATA = -9999.0
# No-data values the plugin chooses from, in order, for a grid that has none
# (or NaN): the first that no cell of the grid holds.
NODATA_CHOICES = (BINARY_NODATA, -99999.0, -999999.0, -3.4028234663852886e+38, -1.7976931348623157e+308)
SINGLE = numpy.dtype('<f4')
DOUBLE = numpy.dtype('<f8')
TEXT_KEYWORDS = ('ncols', 'nrows', 'xllcorner', 'yllcorner', 'cellsize', 'nodata_value')
# A header may give the centre of the lower-left cell instead of its corner.
CENTRE_KEYWORDS = {'xllcenter': 'xllcorner', 'yllcenter': 'yllcorner'}
# Cells read at a time by the passes over a file: 4 or 8 MB.
BLOCK_CELLS = 1 << 20
# The bytes of a text grid read at a time, the longest word taken for a
# number, and the most zeros after the point of a no-data value passed over
# as arrays.
_CHUNK = 1 << 23
_LONGEST_WORD = 1 << 16
_ZEROS = 8
HEAD_BYTES = 4096



class GridFile(namedtuple('GridFile', 'cell_type values data_start nodata_text')):
    """A grid file as plotveil reads it: the type of its cells (None for a
    text grid), its six header values, where its cells begin, and for a text
    grid the text of its no-data value."""

    @property
    def nodata(self):
        return self.values[5]


# A number as plotveil reads one: no words (nan, inf), no hexadecimal.
_NUMBER = re.compile(rb'[+-]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?\Z')
_WORD = re.compile(rb'\S+')
_SPACE = numpy.zeros(256, dtype=bool)
_SPACE[[9, 10, 11, 12, 13, 32]] = True


def fits_single(values):
    """Whether header values keep their exact value in a single grid."""
    with numpy.errstate(over='ignore'):
        return all(float(numpy.float32(v)) == v for v in values)


def read_grid_file(head):
    """How plotveil reads a file beginning with `head`, tried as plotveil
    tries it (text, double, single), or None. Text headers are taken when
    their six keywords are plotveil's and GDAL's alike, in any order and
    letter case, each once."""
    if head[:4].lower() == b'ncol':
        return _text_header(head)
    if len(head) >= 48 and struct.unpack_from('<d', head, 40)[0] == BINARY_NODATA:
        return GridFile(DOUBLE, struct.unpack_from('<6d', head, 0), 96, None) if len(head) >= 96 else None
    if len(head) >= 48 and struct.unpack_from('<f', head, 20)[0] == BINARY_NODATA:
        return GridFile(SINGLE, struct.unpack_from('<6f', head, 0), 48, None)
    return None


def _text_header(head):
    words = []
    for word in _WORD.finditer(head):
        words.append(word)
        if len(words) == 12:
            break
    # The last number must end before the head does, or it may go on.
    if len(words) < 12 or words[11].end() == len(head) == HEAD_BYTES:
        return None
    fields = {}
    for keyword, number in zip(words[0::2], words[1::2]):
        given = keyword.group().decode('ascii', 'replace').lower()
        field = CENTRE_KEYWORDS.get(given, given)
        if field not in TEXT_KEYWORDS or field in fields or not _NUMBER.match(number.group()):
            return None
        fields[field] = (given, float(number.group()))
    values = [fields[field][1] for field in TEXT_KEYWORDS]
    for index, field in ((2, 'xllcorner'), (3, 'yllcorner')):
        if fields[field][0] != field:
            values[index] -= values[4] / 2   # a centre, half a cell from the corner
    if not all(math.isfinite(v) for v in values):
        return None
    return GridFile(None, tuple(values), words[11].end(), words[11].group())


def grid_file_as_shown(layer):
    """How plotveil reads the layer's file, when that is the grid QGIS shows
    for the layer (size, corner, cell size, no-data value; for a single or
    double grid its type of cell, and its first and last rows), else None."""
    path = layer.source
    if not os.path.isfile(path) or layer.layer.bandCount() != 1:
        return None
    try:
        with open(path, 'rb') as stream:
            head = stream.read(HEAD_BYTES)
    except OSError:
        return None
    grid_file = read_grid_file(head)
    if grid_file is None:
        return None
    ncols, nrows, xll, yll, cellsize, nodata = grid_file.values
    shown = layer.layer
    extent = shown.extent()
    provider = shown.dataProvider()
    shown_nodata = provider.sourceNoDataValue(1) if provider.sourceHasNoDataValue(1) else None
    if not (ncols == shown.width() and nrows == shown.height()
            and same_cellsize(cellsize, shown.rasterUnitsPerPixelX(), max(ncols, nrows))
            and same_cellsize(cellsize, shown.rasterUnitsPerPixelY(), max(ncols, nrows))
            and agree(xll, extent.xMinimum(), cellsize) and agree(yll, extent.yMinimum(), cellsize)
            and shown_nodata == nodata):
        return None
    if grid_file.cell_type is not None and not _rows_as_shown(layer, grid_file):
        return None
    return grid_file


def _rows_as_shown(layer, grid_file):
    """Whether GDAL gives the single or double grid's cells as plotveil reads
    them: the same type of cell, and the same first and last rows (a sidecar
    with another offset, byte order or size gives other cells)."""
    if layer.band.DataType != layer.gdal_type_of(grid_file.cell_type):
        return False
    width, height = layer.dataset.RasterXSize, layer.dataset.RasterYSize
    try:
        with open(layer.source, 'rb') as stream:
            for row in {0, height - 1}:
                stream.seek(grid_file.data_start + row * width * grid_file.cell_type.itemsize)
                cells = numpy.fromfile(stream, grid_file.cell_type, width)
                if cells.size < width:
                    return True   # the file ends early: plotveil says where
                shown = layer.band.ReadAsArray(0, row, width, 1)
                if shown is None or not numpy.array_equal(cells, shown.ravel(), equal_nan=True):
                    return False
    except (OSError, RuntimeError):
        return False
    return True


def binary_cells_plain(layer, grid_file, floor, feedback):
    """One pass over a single or double grid's cells as plotveil reads them:
    whether none is NaN and, given a `floor`, none lies below it. A file that
    ends early counts as plain: plotveil then says where it ends."""
    width, height = layer.dataset.RasterXSize, layer.dataset.RasterYSize
    rows = max(1, BLOCK_CELLS // max(width, 1))
    with open(layer.source, 'rb') as stream:
        stream.seek(grid_file.data_start)
        for row in range(0, height, rows):
            count = min(rows, height - row) * width
            cells = numpy.fromfile(stream, grid_file.cell_type, count)
            if numpy.isnan(cells).any() or (floor is not None and (cells < floor).any()):
                return False
            if cells.size < count:
                return True
            feedback.setProgress(100.0 * (row + count // max(width, 1)) / height)
            check_cancel(feedback)
    return True


def text_mask_plain(layer, grid_file, feedback, most_checked=100000):
    """Whether every cell of a text grid lies above its no-data value or is
    that value, by one pass over its bytes. With a no-data value below 0 only
    words that begin with '-' can lie at or below it: those written as the
    no-data value (-9999, -9999.0, -9999.000, ...) are passed over as arrays,
    the few others read one by one, up to `most_checked` of them. False where
    that does not tell."""
    nodata = grid_file.nodata
    if not nodata < 0:
        return False
    forms = {grid_file.nodata_text.lstrip(b'-')}
    if nodata.is_integer():
        forms.add(str(int(-nodata)).encode('ascii'))
    forms = [numpy.frombuffer(form, dtype=numpy.uint8) for form in forms]
    # Room after the data for the bytes the arrays look at beyond its last word.
    room = max(form.size for form in forms) + _ZEROS + 3
    buffer = numpy.full(_CHUNK + _LONGEST_WORD + room, 32, dtype=numpy.uint8)
    carry, checked, done = 0, 0, 0
    size = max(os.path.getsize(layer.source) - grid_file.data_start, 1)
    with open(layer.source, 'rb') as stream:
        stream.seek(grid_file.data_start)
        while True:
            got = stream.readinto(memoryview(buffer)[carry:carry + _CHUNK])
            done += got
            last = got < _CHUNK
            end = carry + got + (1 if last else 0)   # a blank after the file's last word
            buffer[carry + got:end + room] = 32
            # Whole words only: up to the last white space, the rest with the next chunk.
            cut = _after_last_space(buffer[:end])
            if cut == 0 or end - cut > _LONGEST_WORD:
                return False   # no number is that long
            others = _unlike_nodata(buffer, cut, forms)
            checked += others.size
            if checked > most_checked:
                return False
            for start in others:
                word = bytes(buffer[start:start + 64]).split(None, 1)
                if len(word) < 2 or not _NUMBER.match(word[0]) or float(word[0]) < nodata:
                    return False   # a long word is read by GDAL, not checked here
            if last:
                return True
            buffer[:end - cut] = buffer[cut:end]
            carry = end - cut
            feedback.setProgress(100.0 * min(done, size) / size)
            check_cancel(feedback)


def _after_last_space(data):
    """Where the bytes after the last white space in `data` begin; 0 for none."""
    for size in (256, 1 << 16, data.size):
        tail = data[-size:]
        spaces = numpy.flatnonzero(_SPACE[tail])
        if spaces.size:
            return data.size - tail.size + int(spaces[-1]) + 1
    return 0


def _unlike_nodata(data, cut, forms):
    """Where the '-' in `data[:cut]` stand but for those that begin the
    no-data value: '-', one of the `forms` of its magnitude, a point and up to
    _ZEROS zeros after a whole number, white space. A '-' within a word
    (1e-5) counts as one that begins one: its value is then checked in vain,
    never passed over wrongly."""
    minus = numpy.flatnonzero(data[:cut] == 45)
    width = max(form.size for form in forms) + _ZEROS + 2
    # The bytes after each '-', a row each: rows of a view that steps one byte.
    window = numpy.lib.stride_tricks.as_strided(data, shape=(data.size - width, width), strides=(1, 1),
                                                writeable=False)[minus + 1]
    like = numpy.zeros(minus.size, dtype=bool)
    for form in forms:
        n = form.size
        same = (window[:, :n] == form).all(axis=1)
        like |= same & _SPACE[window[:, n]]
        if b'.' in form.tobytes() or b'e' in form.tobytes().lower():
            continue
        point = same & (window[:, n] == 46)
        zeros = numpy.cumprod(window[point, n + 1:n + 1 + _ZEROS] == 48, axis=1).sum(axis=1)
        like[point] |= _SPACE[window[point, n + 1 + zeros]]
    return minus[~like]
