"""What a raster layer is to the plugin: its files, its grid as GDAL
gives it, its no-data value and its cells, read through GDAL in blocks of
rows."""

import math
import os
from collections import namedtuple

import numpy
from osgeo import gdal

from qgis.core import QgsProcessingException

from .cancel import check_cancel
from .translation import tr
from .plotveil_grids import BLOCK_CELLS, DOUBLE, SINGLE, grid_file_as_shown

# Band types whose every value is a 32-bit float.
SINGLE_TYPES = (gdal.GDT_Byte, gdal.GDT_UInt16, gdal.GDT_Int16, gdal.GDT_Float32) + (
    (gdal.GDT_Int8,) if hasattr(gdal, 'GDT_Int8') else ())

# The grid as plotveil's header gives it: columns, rows, lower-left corner, cell size.
Georeference = namedtuple('Georeference', 'ncols nrows xll yll cellsize')


class Layer:
    """One input layer and what the run needs of it."""

    def __init__(self, layer, role):
        self.layer, self.role, self.name = layer, role, layer.name()
        self.source = layer_file(layer)
        if self.source is None:
            raise QgsProcessingException(tr('{} is not read through GDAL ({} provider); save it as a GeoTIFF '
                                            'and use that.').format(self.title(), layer.providerType()))
        try:
            self.dataset = gdal.OpenEx(self.source, gdal.OF_RASTER)
            error = gdal.GetLastErrorMsg()
        except RuntimeError as e:
            self.dataset, error = None, str(e)
        if self.dataset is None:
            raise QgsProcessingException(tr('GDAL cannot open {} ({}): {}').format(self, self.source, error))
        self.band = self.dataset.GetRasterBand(1)
        self.nodata = self.band.GetNoDataValue()
        self.transform = self.dataset.GetGeoTransform()
        self.crs = layer.crs()
        # How plotveil reads the layer's own file, where that is what QGIS shows; else None.
        self.grid_file = grid_file_as_shown(self)

    def __str__(self):
        return (tr('the grid layer "{}"') if self.role == 'grid' else tr('the mask layer "{}"')).format(self.name)

    def title(self):
        """As the subject that opens a sentence."""
        return (tr('The grid layer "{}"') if self.role == 'grid' else tr('The mask layer "{}"')).format(self.name)

    def georeference(self):
        """Size, corner and cell size: as plotveil reads them from the layer's
        own file where it does, else from GDAL."""
        if self.grid_file is not None:
            return Georeference(*self.grid_file.values[:5])
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

    def cells_are_single(self):
        """Whether every value the band can hold is a 32-bit float."""
        return self.band.DataType in SINGLE_TYPES

    @staticmethod
    def gdal_type_of(cell_type):
        return {SINGLE: gdal.GDT_Float32, DOUBLE: gdal.GDT_Float64}[cell_type]

    def blocks(self):
        """(first row, rows) of each block of rows read at a time: about a
        million cells, at least a row."""
        height = self.dataset.RasterYSize
        rows = max(1, BLOCK_CELLS // max(self.dataset.RasterXSize, 1))
        return [(row, min(rows, height - row)) for row in range(0, height, rows)]

    def missing(self, cells):
        """Where `cells` (as the band holds them) are no data: NaN, or equal to
        the layer's no-data value as doubles."""
        missing = numpy.isnan(cells) if cells.dtype.kind in 'fc' else numpy.zeros(cells.shape, dtype=bool)
        nodata = self.nodata
        if nodata is None or math.isnan(nodata):
            return missing
        if cells.dtype.kind in 'fc':
            with numpy.errstate(over='ignore'):
                same = cells.dtype.type(nodata)
            if same == nodata:   # else no cell of this type equals it
                missing |= cells == same
        elif nodata.is_integer() and numpy.iinfo(cells.dtype).min <= nodata <= numpy.iinfo(cells.dtype).max:
            missing |= cells == int(nodata)
        return missing

    def scan(self, feedback, candidates=()):
        """Reads the band once: whether a cell is NaN, and which of
        `candidates` some data cell holds."""
        has_nan, held = False, set()
        blocks = self.blocks()
        for done, (row, count) in enumerate(blocks, start=1):
            cells = self.read_rows(row, count)
            nan = numpy.isnan(cells)
            has_nan = has_nan or bool(nan.any())
            data = cells[~self.missing(cells)]
            for value in candidates:
                if value not in held and bool((data == value).any()):
                    held.add(value)
            feedback.setProgress(100.0 * done / len(blocks))
            check_cancel(feedback)
        return has_nan, held

    def read_block(self, first, count, into=None):
        """`count` rows of band 1 from row `first` (from 0), as the band holds
        them; into `into` when given. An uncompressed GeoTIFF is read straight
        into the array, and no block of the layer stays in GDAL's cache."""
        direct = gdal.GetThreadLocalConfigOption('GTIFF_DIRECT_IO', None)
        gdal.SetThreadLocalConfigOption('GTIFF_DIRECT_IO', 'YES')
        try:
            cells = self.band.ReadAsArray(0, first, self.dataset.RasterXSize, count, buf_obj=into)
            error = gdal.GetLastErrorMsg()
        except RuntimeError as e:
            cells, error = None, str(e)
        finally:
            gdal.SetThreadLocalConfigOption('GTIFF_DIRECT_IO', direct)
            self.band.FlushCache()
        if cells is None:
            raise QgsProcessingException(tr('GDAL cannot read {} ({}) at rows {} to {}: {}').format(
                self, self.source, first + 1, first + count, error))
        return cells

    def read_rows(self, first, count):
        """`count` rows of band 1 from row `first` (from 0) as doubles."""
        return self.read_block(first, count).astype(numpy.float64)


def layer_file(layer):
    """The dataset GDAL opens for the layer, or None for a layer of another provider."""
    if layer.providerType() != 'gdal':
        return None
    # Open options follow the dataset name after a '|'.
    return layer.dataProvider().dataSourceUri().split('|')[0]
