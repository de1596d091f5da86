"""The text grid written for plotveil from a layer it cannot read as it is."""

import math
import os

import numpy

from qgis.core import QgsProcessingException

from .layers import ROWS_PER_READ


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
