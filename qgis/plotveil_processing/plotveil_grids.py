"""The grid files plotveil reads as they are: their headers as plotveil
takes them, and whether that is the grid QGIS shows for a layer."""

import math
import os
import struct

from .alignment import agree, same_cellsize

TEXT_KEYWORDS = ('ncols', 'nrows', 'xllcorner', 'yllcorner', 'cellsize', 'nodata_value')
# No-data values the plugin chooses from, in order, for a grid that has none
# (or NaN): the first that no cell of the grid holds.
NODATA_CHOICES = (-9999.0, -99999.0, -999999.0, -3.4028234663852886e+38, -1.7976931348623157e+308)


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
