"""Whether two layers lie on one grid that plotveil can take: north up,
square cells, the same size, corner and coordinate system."""

from qgis.core import QgsProcessingException

from .translation import tr

# Two grids lie on the same cells when their corners differ by at most this
# part of a cell, and their cell sizes by at most this part of a cell and so
# little that the far corners, ncols or nrows cells away, differ by at most
# FAR_CORNER_CELLS of a cell: GDAL's own header round trips and cell sizes
# stored as 32-bit floats stay well within it, a grid moved by a cell does
# not, whatever the magnitude of its coordinates.
TOLERANCE_CELLS = 1e-6
FAR_CORNER_CELLS = 1e-3


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
            tr('{} is rotated (its geotransform turns by {} and {}): plotveil grids are north up. '
               'Warp it to a north-up grid first (Raster > Projections > Warp).').format(layer.title(), t[2], t[4]))
    if t[1] <= 0 or t[5] >= 0:
        raise QgsProcessingException(
            tr('{} is not north up: its rows run {} and its columns {} (cells of {} by {}), where plotveil grids '
               'run north to south and west to east. Warp it to a north-up grid first (Raster > Projections > '
               'Warp).').format(layer.title(), tr('south to north') if t[5] >= 0 else tr('north to south'),
                            tr('east to west') if t[1] <= 0 else tr('west to east'), t[1], -t[5]))
    if not same_cellsize(t[1], -t[5], max(layer.dataset.RasterXSize, layer.dataset.RasterYSize)):
        raise QgsProcessingException(
            tr('{} has cells of {} by {}: plotveil grids have square cells. Resample it to square cells '
               'first (Raster > Projections > Warp).').format(layer.title(), t[1], -t[5]))


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
            tr('{} has the coordinate system {}, {} has none. If they share it, set it on {} '
               '(Layer Properties > Source); otherwise reproject the mask. {}').format(
                has.title(), has.crs.authid() or has.crs.description(), lacks, lacks, way_out))
    if grid.crs.isValid() and grid.crs != mask.crs:
        raise QgsProcessingException(
            tr('The layers have different coordinate systems: {} {}, {} {}. {}').format(
                grid, grid.crs.authid() or grid.crs.description(), mask,
                mask.crs.authid() or mask.crs.description(), way_out))
    m = mask.georeference()
    whole = lambda a, b: a == b  # noqa: E731
    cellsize = lambda a, b: same_cellsize(a, b, max(g.ncols, g.nrows))  # noqa: E731
    corner = lambda a, b: agree(a, b, g.cellsize)  # noqa: E731
    for label, a, b, same in ((tr('columns'), int(g.ncols), int(m.ncols), whole),
                              (tr('rows'), int(g.nrows), int(m.nrows), whole),
                              (tr('cell size'), g.cellsize, m.cellsize, cellsize),
                              (tr('lower-left x (xllcorner)'), g.xll, m.xll, corner),
                              (tr('lower-left y (yllcorner)'), g.yll, m.yll, corner)):
        if not same(a, b):
            raise QgsProcessingException(
                tr('The layers do not share one grid: {} has {} {}, {} has {}. {}').format(
                    grid, label, a, mask, b, way_out))
