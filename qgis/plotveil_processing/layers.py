"""What a raster layer is to the plugin: its files, its grid as GDAL
gives it, its no-data value and its cells, read through GDAL."""

import math
import os
from collections import namedtuple

import numpy
from osgeo import gdal

from qgis.core import QgsProcessingException

from .plotveil_grids import plotveil_header_as_shown

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
