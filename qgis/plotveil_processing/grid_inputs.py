"""How a raster layer reaches plotveil: what it is (its files, its grid, its
no-data cells), whether plotveil reads its own file as QGIS shows it, and
otherwise the text grid written for plotveil from it."""

import math
import os
import struct
from collections import namedtuple

import numpy
from osgeo import gdal

from qgis.core import QgsProcessingException

TEXT_KEYWORDS = ('ncols', 'nrows', 'xllcorner', 'yllcorner', 'cellsize', 'nodata_value')
# No-data values the plugin chooses from, in order, for a grid that has none
# (or NaN): the first that no cell of the grid holds.
NODATA_CHOICES = (-9999.0, -99999.0, -999999.0, -3.4028234663852886e+38, -1.7976931348623157e+308)
# Two grids lie on the same cells when their corners differ by at most this
# part of a cell, and their cell sizes by at most this part of a cell and so
# little that the far corners, ncols or nrows cells away, differ by at most
# FAR_CORNER_CELLS of a cell: GDAL's own header round trips and cell sizes
# stored as 32-bit floats stay well within it, a grid moved by a cell does
# not, whatever the magnitude of its coordinates.
TOLERANCE_CELLS = 1e-6
FAR_CORNER_CELLS = 1e-3
ROWS_PER_READ = 256

# The grid as plotveil's header gives it: columns, rows, lower-left corner, cell size.
Georeference = namedtuple('Georeference', 'ncols nrows xll yll cellsize')


class Layer:
    """One input layer and what the run needs of it."""

    def __init__(self, layer, role):
        self.layer, self.role, self.name = layer, role, layer.name()
        self.source = layer_file(layer)
        if self.source is None:
            raise QgsProcessingException(
                'The {} layer "{}" is not read through GDAL ({} provider); save it as a GeoTIFF '
                'and use that.'.format(role, self.name, layer.providerType()))
        try:
            self.dataset = gdal.OpenEx(self.source, gdal.OF_RASTER)
            error = gdal.GetLastErrorMsg()
        except RuntimeError as e:
            self.dataset, error = None, str(e)
        if self.dataset is None:
            raise QgsProcessingException('GDAL cannot open the {} layer "{}" ({}): {}'.format(
                role, self.name, self.source, error))
        self.band = self.dataset.GetRasterBand(1)
        self.nodata = self.band.GetNoDataValue()
        self.transform = self.dataset.GetGeoTransform()
        self.crs = layer.crs()
        self.header = plotveil_header_as_shown(layer, self.source)

    def __str__(self):
        return 'the {} layer "{}"'.format(self.role, self.name)

    def title(self):
        """As the subject that opens a sentence."""
        return 'The {} layer "{}"'.format(self.role, self.name)

    def georeference(self):
        """Size, corner and cell size: as plotveil reads them from the layer's
        own file where it does, else from GDAL."""
        if self.header is not None:
            return Georeference(*self.header[:5])
        t = self.transform
        rows = self.dataset.RasterYSize
        return Georeference(self.dataset.RasterXSize, rows, t[0], t[3] + rows * t[5], t[1])

    def files(self):
        """Every file that makes up the layer: GDAL's list (a VRT's sources
        included) and the sidecars GIS programs keep beside each of them."""
        listed = self.dataset.GetFileList() or [self.source]
        found = set(listed)
        for path in listed:
            base, extension = os.path.splitext(path)
            world = extension[:2] + extension[-1:] + 'w' if len(extension) > 2 else extension + 'w'
            for candidate in (path + '.aux.xml', path + '.ovr', path + '.msk', path + 'w',
                              base + '.hdr', base + '.prj', base + '.aux.xml', base + '.aux', base + '.wld',
                              base + '.tfw', base + world, base + '.xml', base + '.stx', base + '.clr'):
                if os.path.lexists(candidate):
                    found.add(candidate)
        return sorted(found)

    def scan(self, feedback, keep_above=None, candidates=()):
        """Reads the band once: whether a cell is NaN, which of `candidates`
        some data cell holds, and whether every data cell lies above
        `keep_above`. None when cancelled."""
        height = self.dataset.RasterYSize
        has_nan, held, all_above = False, set(), True
        for row in range(0, height, ROWS_PER_READ):
            if feedback.isCanceled():
                return None
            cells = self.read_rows(row, min(ROWS_PER_READ, height - row))
            nan = numpy.isnan(cells)
            has_nan = has_nan or bool(nan.any())
            data = cells[~nan]
            if self.nodata is not None and not math.isnan(self.nodata):
                data = data[data != self.nodata]
            for value in candidates:
                if value not in held and bool((data == value).any()):
                    held.add(value)
            if keep_above is not None and data.size and not bool((data > keep_above).all()):
                all_above = False
        return has_nan, held, all_above

    def read_rows(self, first, count):
        """`count` rows of band 1 from row `first` (from 0) as doubles."""
        try:
            cells = self.band.ReadAsArray(0, first, self.dataset.RasterXSize, count)
            error = gdal.GetLastErrorMsg()
        except RuntimeError as e:
            cells, error = None, str(e)
        if cells is None:
            raise QgsProcessingException('GDAL cannot read {} ({}) at rows {} to {}: {}'.format(
                self, self.source, first + 1, first + count, error))
        return cells.astype(numpy.float64)


def layer_file(layer):
    """The dataset GDAL opens for the layer, or None for a layer of another provider."""
    if layer.providerType() != 'gdal':
        return None
    # Open options follow the dataset name after a '|'.
    return layer.dataProvider().dataSourceUri().split('|')[0]


def agree(a, b, cellsize):
    """Two corner coordinates that lie within TOLERANCE_CELLS of a cell."""
    return abs(a - b) <= TOLERANCE_CELLS * abs(cellsize)


def same_cellsize(a, b, cells):
    """Two cell sizes that agree over a grid `cells` cells across."""
    return abs(a - b) <= abs(a) * min(TOLERANCE_CELLS, FAR_CORNER_CELLS / max(cells, 1))


def check_grid(layer):
    """A layer plotveil can take at all: north up, square cells."""
    t = layer.transform
    if t[2] != 0 or t[4] != 0:
        raise QgsProcessingException(
            '{} is rotated (its geotransform turns by {} and {}): plotveil grids are north up. '
            'Warp it to a north-up grid first (Raster > Projections > Warp).'.format(layer.title(), t[2], t[4]))
    if t[1] <= 0 or t[5] >= 0:
        raise QgsProcessingException(
            '{} is not north up: its rows run {} and its columns {} (cells of {} by {}), where plotveil grids '
            'run north to south and west to east. Warp it to a north-up grid first (Raster > Projections > '
            'Warp).'.format(layer.title(), 'south to north' if t[5] >= 0 else 'north to south',
                            'east to west' if t[1] <= 0 else 'west to east', t[1], -t[5]))
    if not same_cellsize(t[1], -t[5], max(layer.dataset.RasterXSize, layer.dataset.RasterYSize)):
        raise QgsProcessingException(
            '{} has cells of {} by {}: plotveil grids have square cells. Resample it to square cells '
            'first (Raster > Projections > Warp).'.format(layer.title(), t[1], -t[5]))


def check_alignment(grid, mask):
    """Refuses layers that do not share one grid: coordinate systems, size,
    cell size and corner, each named with both values and the way out."""
    warp = ('Align the mask to the grid with Raster > Projections > Warp, the grid layer as the '
            'output extent and {0} as the resolution (gdalwarp -te {1} {2} {3} {4} -tr {0} {0}).')
    g = grid.georeference()
    way_out = warp.format(g.cellsize, g.xll, g.yll, g.xll + g.ncols * g.cellsize, g.yll + g.nrows * g.cellsize)
    if grid.crs.isValid() != mask.crs.isValid():
        has, lacks = (grid, mask) if grid.crs.isValid() else (mask, grid)
        raise QgsProcessingException(
            '{} has the coordinate system {}, {} has none. If they share it, set it on {} '
            '(Layer Properties > Source); otherwise reproject the mask. {}'.format(
                has.title(), has.crs.authid() or has.crs.description(), lacks, lacks, way_out))
    if grid.crs.isValid() and grid.crs != mask.crs:
        raise QgsProcessingException(
            'The layers have different coordinate systems: {} {}, {} {}. {}'.format(
                grid, grid.crs.authid() or grid.crs.description(), mask,
                mask.crs.authid() or mask.crs.description(), way_out))
    m = mask.georeference()
    for label, a, b in (('columns', int(g.ncols), int(m.ncols)), ('rows', int(g.nrows), int(m.nrows)),
                        ('cell size', g.cellsize, m.cellsize),
                        ('lower-left x (xllcorner)', g.xll, m.xll), ('lower-left y (yllcorner)', g.yll, m.yll)):
        if label in ('columns', 'rows'):
            same = a == b
        elif label == 'cell size':
            same = same_cellsize(a, b, max(g.ncols, g.nrows))
        else:
            same = agree(a, b, g.cellsize)
        if not same:
            raise QgsProcessingException(
                'The layers do not share one grid: {} has {} {}, {} has {}. {}'.format(
                    grid, label, a, mask, b, way_out))


def plotveil_header_as_shown(layer, path):
    """The six values plotveil takes from the layer's file when they are what
    QGIS shows for the layer (size, corner, cell size, no-data value), else None."""
    if path is None or not os.path.isfile(path) or layer.bandCount() != 1:
        return None
    try:
        with open(path, 'rb') as stream:
            head = stream.read(4096)
    except OSError:
        return None
    header = _plotveil_header(head)
    if header is None:
        return None
    ncols, nrows, xll, yll, cellsize, nodata = header
    extent = layer.extent()
    provider = layer.dataProvider()
    shown_nodata = provider.sourceNoDataValue(1) if provider.sourceHasNoDataValue(1) else None
    if (ncols == layer.width() and nrows == layer.height()
            and same_cellsize(cellsize, layer.rasterUnitsPerPixelX(), max(ncols, nrows))
            and same_cellsize(cellsize, layer.rasterUnitsPerPixelY(), max(ncols, nrows))
            and agree(xll, extent.xMinimum(), cellsize) and agree(yll, extent.yMinimum(), cellsize)
            and shown_nodata == nodata):
        return header
    return None


def _plotveil_header(head):
    """The six georeference values plotveil takes from a file beginning with
    `head`, tried as plotveil tries them: text, double, single. Text headers
    only in the six-line form with corners."""
    if head.startswith(b'ncol'):
        lines = head.replace(b'\r', b'\n').split(b'\n')
        fields = [line.split() for line in lines if line.strip()][:6]
        if len(fields) < 6 or any(len(f) != 2 for f in fields):
            return None
        if tuple(f[0].decode('ascii', 'replace').lower() for f in fields) != TEXT_KEYWORDS:
            return None
        try:
            values = tuple(float(f[1]) for f in fields)
        except ValueError:
            return None
        return values if all(math.isfinite(v) for v in values) else None
    if len(head) >= 96 and struct.unpack_from('<d', head, 40)[0] == -9999.0:
        return struct.unpack_from('<6d', head, 0)
    if len(head) >= 48 and struct.unpack_from('<f', head, 20)[0] == -9999.0:
        return struct.unpack_from('<6f', head, 0)
    return None


def _number(value):
    """A cell as plotveil reads it back exactly; infinities as numbers that overflow."""
    if math.isinf(value):
        return '1e999' if value > 0 else '-1e999'
    return repr(value)


def write_text_grid(layer, path, georeference, nodata, keep, feedback):
    """Writes band 1 of the layer as a text grid plotveil reads, with the
    given georeference and no-data value. Cells that are no data in the layer
    (its no-data value, or NaN) become `nodata`; the others keep their value,
    or become `keep` when it is given (a mask's cells, whose values never
    reach the result). False when cancelled."""
    try:
        return _write_text_grid(layer, path, georeference, nodata, keep, feedback)
    except OSError as e:
        raise QgsProcessingException('Could not write {} for plotveil into {}: {}'.format(
            layer, os.path.dirname(path), e.strerror or e))


def _write_text_grid(layer, path, georeference, nodata, keep, feedback):
    height = layer.dataset.RasterYSize
    g = georeference
    with open(path, 'w', encoding='ascii', newline='\n') as stream:
        stream.write('ncols {}\nnrows {}\nxllcorner {}\nyllcorner {}\ncellsize {}\nnodata_value {}\n'.format(
            int(g.ncols), int(g.nrows), repr(float(g.xll)), repr(float(g.yll)), repr(float(g.cellsize)),
            repr(float(nodata))))
        for row in range(0, height, ROWS_PER_READ):
            cells = layer.read_rows(row, min(ROWS_PER_READ, height - row))
            missing = numpy.isnan(cells)
            if layer.nodata is not None and not math.isnan(layer.nodata):
                missing |= cells == layer.nodata
            if keep is not None:
                cells = numpy.full(cells.shape, keep)
            cells[missing] = nodata
            for line in cells.tolist():
                stream.write(' '.join(_number(v) for v in line))
                stream.write('\n')
            feedback.setProgress(100.0 * min(row + ROWS_PER_READ, height) / max(height, 1))
            if feedback.isCanceled():
                return False
    return True
