"""How a raster layer reaches plotveil: the layer's own file where plotveil
reads it as QGIS shows it, otherwise a double-precision text grid that GDAL
writes from it."""

import math
import os
import struct

from osgeo import gdal

from qgis.core import QgsProcessingException

TEXT_KEYWORDS = ('ncols', 'nrows', 'xllcorner', 'yllcorner', 'cellsize', 'nodata_value')
DEFAULT_NODATA = -9999.0


def layer_file(layer):
    """The dataset GDAL opens for the layer, or None for a layer of another provider."""
    if layer.providerType() != 'gdal':
        return None
    # Open options follow the dataset name after a '|'.
    return layer.dataProvider().dataSourceUri().split('|')[0]


def layer_nodata(layer):
    provider = layer.dataProvider()
    return provider.sourceNoDataValue(1) if provider.sourceHasNoDataValue(1) else None


def plotveil_reads_as_shown(layer):
    """True when plotveil, given the layer's file, reads the size, corner,
    cell size and no-data value that QGIS shows for the layer."""
    path = layer_file(layer)
    if path is None or not os.path.isfile(path) or layer.bandCount() != 1:
        return False
    try:
        with open(path, 'rb') as stream:
            head = stream.read(4096)
    except OSError:
        return False
    header = _plotveil_header(head)
    if header is None:
        return False
    ncols, nrows, xll, yll, cellsize, nodata = header
    extent = layer.extent()
    close = lambda a, b, scale: abs(a - b) <= 1e-9 * scale  # noqa: E731
    size = max(abs(cellsize), 1.0)
    return (ncols == layer.width() and nrows == layer.height()
            and close(cellsize, layer.rasterUnitsPerPixelX(), size)
            and close(cellsize, layer.rasterUnitsPerPixelY(), size)
            and close(xll, extent.xMinimum(), max(abs(xll), size))
            and close(yll, extent.yMinimum(), max(abs(yll), size))
            and layer_nodata(layer) == nodata)


def _plotveil_header(head):
    """The six georeference values plotveil takes from a file beginning with
    `head`, tried as plotveil tries them: text, double, single."""
    if head.startswith(b'ncol'):
        lines = head.replace(b'\r', b'\n').split(b'\n')
        fields = [line.split() for line in lines if line.strip()][:6]
        if len(fields) < 6 or any(len(f) != 2 for f in fields):
            return None
        if tuple(f[0].decode('ascii', 'replace').lower() for f in fields) != TEXT_KEYWORDS:
            return None
        try:
            return tuple(float(f[1]) for f in fields)
        except ValueError:
            return None
    if len(head) >= 96 and struct.unpack_from('<d', head, 40)[0] == -9999.0:
        return struct.unpack_from('<6d', head, 0)
    if len(head) >= 48 and struct.unpack_from('<f', head, 20)[0] == -9999.0:
        return struct.unpack_from('<6f', head, 0)
    return None


def check_square_cells(layer, role):
    x, y = layer.rasterUnitsPerPixelX(), layer.rasterUnitsPerPixelY()
    if not math.isclose(x, y, rel_tol=1e-9):
        raise QgsProcessingException(
            'The {} layer {} has cells of {} by {}: plotveil grids have square cells. '
            'Resample it to square cells first (Raster > Projections > Warp).'
            .format(role, layer.name(), x, y))


def write_text_grid(layer, role, path, nodata, feedback):
    """Writes the first band of the layer as a text grid plotveil reads, every
    value as the double it is, with `nodata` as its no-data value when the
    layer has none."""
    source = layer_file(layer)
    if source is None:
        raise QgsProcessingException(
            'The {} layer {} is not read through GDAL ({} provider); save it as a '
            'GeoTIFF and use that.'.format(role, layer.name(), layer.providerType()))
    check_square_cells(layer, role)
    if layer.bandCount() > 1:
        feedback.pushInfo('{} has {} bands; plotveil takes band 1.'.format(layer.name(), layer.bandCount()))

    def progress(fraction, _message, _data):
        feedback.setProgress(100.0 * fraction)
        return 0 if feedback.isCanceled() else 1

    options = gdal.TranslateOptions(
        format='AAIGrid', bandList=[1], callback=progress,
        noData=None if layer_nodata(layer) is not None else nodata)
    # Text grids GDAL reads keep their decimal values only as 64-bit cells.
    gdal.SetThreadLocalConfigOption('AAIGRID_DATATYPE', 'Float64')
    try:
        result = gdal.Translate(path, source, options=options)
        error = gdal.GetLastErrorMsg()
    except RuntimeError as e:
        result, error = None, str(e)
    finally:
        gdal.SetThreadLocalConfigOption('AAIGRID_DATATYPE', None)
    if result is None:
        if feedback.isCanceled():
            return
        raise QgsProcessingException('GDAL could not write {} as a text grid: {}'.format(layer.name(), error))
    result = None  # closes and writes the file
