"""Mask grid with grid: runs plotveil on two raster layers and loads the result."""

import math
import os
import shutil
import tempfile

from qgis.core import (QgsCoordinateReferenceSystem, QgsProcessingAlgorithm, QgsProcessingException,
                       QgsProcessingMultiStepFeedback, QgsProcessingParameterEnum,
                       QgsProcessingParameterRasterDestination,
                       QgsProcessingParameterRasterLayer, QgsProcessingUtils)

from . import alignment, text_grids
from .layers import Layer
from .plotveil_grids import NODATA_CHOICES
from .output_files import OutputFiles
from .plotveil_run import failure_reason, run_plotveil, run_quietly, shell_command
from .programs import INSTALL_PLACES_SHOWN, locate_program, missing_program_message

# Output formats in the order of the FORMAT choices: name, extension, plotveil's option.
FORMATS = (
    ('Text grid (.asc)', 'asc', '-f:t'),
    ('Single-precision grid (.flt)', 'flt', '-f:s'),
    ('Double-precision grid (.dbl)', 'dbl', '-f:d'),
)

HELP = """<p>Masks a grid with another, cell by cell, with plotveil, and loads the result.</p>
<p><b>The rule</b>: a cell of the grid is kept wherever the <b>mask</b> layer has data in
that cell, whatever its value, 0 included. It becomes no data where the mask layer has no
data (its no-data value, or NaN) and where the grid itself has none. The mask's values
never reach the result. The result's no-data value is the grid layer's; a grid without one
(or with NaN) gets a value none of its cells holds, -9999 where it can, and the log says
which.</p>
<p>Both layers must lie on one grid: the same coordinate system, number of rows and
columns, lower-left corner and square cell size, north up. Layers that do not are refused,
never resampled: align the mask with Raster &gt; Projections &gt; Warp first. Corners count
as equal when they differ by no more than a millionth of a cell, cell sizes when they
differ by no more than a millionth of a cell and move the far corner by no more than a
thousandth of a cell, whatever the size of the coordinates (the noise of a file format's
rounding stays within this, a grid moved by a cell does not). Of a layer with several
bands, band 1 is masked.</p>
<p><b>Output format</b>: a text grid (.asc, six significant digits a cell), or a single-
or double-precision grid (.flt, .dbl: cells as 32- or 64-bit floats). The output file's
extension follows the format. A single or double grid's header also holds the count,
minimum, maximum, sum, mean and sample standard deviation of the result's cells that lie
more than 1 above the no-data value; a .hdr file written beside it lets QGIS open it. The
grid layer's coordinate system goes into a .prj beside the output.</p>
<p>Only the output and its .hdr and .prj are written, never a file of an input layer or of
another dataset: an output name that would be one, or whose name another dataset's files
share in that folder (roads.shp beside roads.asc, scene.img beside scene.flt), is refused. They are written under temporary names first
and replace earlier files of the same name only when everything succeeded; a failure or
Cancel leaves the folder as it was.</p>
<p>plotveil and plotveil-hdr are looked for in the folder set in Settings &gt; Options &gt;
Processing &gt; Providers &gt; plotveil, else in the plugin's folder, on PATH, then where the
release's quick starts install them ({}).</p>""".replace('\n', ' ').format(', '.join(INSTALL_PLACES_SHOWN))


class MaskAlgorithm(QgsProcessingAlgorithm):
    GRID = 'GRID'
    MASK = 'MASK'
    FORMAT = 'FORMAT'
    OUTPUT = 'OUTPUT'

    def createInstance(self):  # noqa: N802
        return MaskAlgorithm()

    def name(self):
        return 'mask'

    def displayName(self):  # noqa: N802
        return 'Mask grid with grid'

    def shortHelpString(self):  # noqa: N802
        return HELP

    def createCustomParametersWidget(self, parent=None):  # noqa: N802
        from .dialog import MaskDialog   # the desktop's alone: qgis_process has no dialogs
        return MaskDialog(self, parent=parent)

    def initAlgorithm(self, config=None):  # noqa: N802
        self.addParameter(QgsProcessingParameterRasterLayer(self.GRID, 'Grid to mask'))
        self.addParameter(QgsProcessingParameterRasterLayer(self.MASK, 'Mask'))
        self.addParameter(QgsProcessingParameterEnum(
            self.FORMAT, 'Output format', options=[f[0] for f in FORMATS], defaultValue=0))
        # The file dialog offers the provider's extensions: .asc, .flt and .dbl.
        self.addParameter(QgsProcessingParameterRasterDestination(self.OUTPUT, 'Masked grid'))

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        layout = self.parameterAsEnum(parameters, self.FORMAT, context)
        plotveil = self._program('plotveil')
        sidecar_writer = self._program('plotveil-hdr') if layout != 0 else None
        layers = []
        for name, role in ((self.GRID, 'grid'), (self.MASK, 'mask')):
            layer = self.parameterAsRasterLayer(parameters, name, context)
            if layer is None:
                raise QgsProcessingException(self.invalidRasterError(parameters, name))
            layers.append(Layer(layer, role))
        grid, mask = layers
        for layer in layers:
            alignment.check_grid(layer)
        alignment.check_alignment(grid, mask)
        output = self._output_path(parameters, context, FORMATS[layout][1], feedback)
        files = OutputFiles(output, FORMATS[layout][1])
        files.refuse_inputs(layers)
        files.refuse_others()
        files.refuse_unwritable()

        try:
            work = tempfile.mkdtemp(prefix='plotveil_', dir=QgsProcessingUtils.tempFolder())
        except OSError as e:
            raise QgsProcessingException('Could not make a temporary folder in {}: {}'.format(
                QgsProcessingUtils.tempFolder(), e.strerror or e))
        try:
            done = self._mask(plotveil, sidecar_writer, grid, mask, files, layout, work, feedback)
            if not done:
                self._forget_output(output, context)
                feedback.pushInfo('Cancelled: nothing was written; {} is as it was.'.format(output))
                return {}
            files.commit(grid.crs.isValid())
        finally:
            files.discard()
            shutil.rmtree(work, ignore_errors=True)
        return {self.OUTPUT: output}

    def _program(self, name):
        path, unusable = locate_program(name)
        if path is None:
            raise QgsProcessingException(missing_program_message(name, unusable))
        return path

    def _mask(self, plotveil, sidecar_writer, grid, mask, files, layout, work, feedback):
        """Brings both layers into a form plotveil reads, runs plotveil and
        plotveil-hdr into the temporary files; False when cancelled."""
        steps = QgsProcessingMultiStepFeedback(4, feedback)
        steps.setCurrentStep(0)
        for layer in (grid, mask):
            if layer.dataset.RasterCount > 1:
                feedback.pushInfo('{} has {} bands: plotveil takes band 1.'.format(layer.title(), layer.dataset.RasterCount))
        scanned = grid.scan(feedback, candidates=NODATA_CHOICES)
        if scanned is None:
            return False
        grid_nan, held, _ = scanned
        nodata = grid.nodata
        if nodata is None or math.isnan(nodata) or math.isinf(nodata):
            free = [v for v in NODATA_CHOICES if v not in held]
            if not free:
                raise QgsProcessingException('{} has no no-data value, and its cells hold every value the '
                                             'plugin would choose for one: give the layer a no-data value.'
                                             .format(grid))
            nodata = free[0]
            feedback.pushInfo('{} has no finite no-data value: the result\'s no-data value is {}, which no '
                              'cell of the grid holds.'.format(grid, nodata))
        if layout != 0 and nodata != -9999:
            raise QgsProcessingException(
                'A single- or double-precision output needs the no-data value -9999, by which plotveil-hdr '
                'and plotveil recognise such grids; {} would give {}. Choose the text format, or give the grid '
                'the no-data value -9999 first (Raster > Conversion > Translate).'.format(grid, nodata))
        scanned = mask.scan(feedback, keep_above=nodata)
        if scanned is None:
            return False
        mask_nan, _, mask_above = scanned
        georeference = grid.georeference()
        grid_as_is = grid.header is not None and grid.nodata == nodata and not grid_nan
        mask_as_is = (mask.header is not None and mask.nodata == nodata and not mask_nan and mask_above
                      and tuple(mask.header[:5]) == tuple(georeference))
        keep = math.nextafter(nodata, math.inf)
        keep = 1.0 if nodata < 1.0 else keep
        names, paths = {}, []
        for step, (layer, as_is) in enumerate(((grid, grid_as_is), (mask, mask_as_is)), start=1):
            steps.setCurrentStep(step)
            steps.setProgress(0)   # a step's progress starts again: 100 of the last one is no change
            if as_is:
                path = layer.source
                feedback.pushInfo('plotveil reads {} as it is ({}).'.format(layer, path))
            else:
                path = os.path.join(work, layer.role + '.asc')
                feedback.pushInfo('Writing {} for plotveil as a text grid{}.'.format(
                    layer, ', every value unchanged' if layer is grid else ' of its data and no-data cells'))
                if not text_grids.write_text_grid(layer, path, georeference, nodata,
                                                   None if layer is grid else keep, steps):
                    return False
            names[path] = '{} ({})'.format(layer, layer.source)
            paths.append(path)
        steps.setCurrentStep(3)
        steps.setProgress(0)
        temporary = files.make_temporary()
        names[temporary] = 'the output {}'.format(files.grid)
        arguments = [plotveil] + paths + [temporary, FORMATS[layout][2]]
        feedback.pushCommandInfo(shell_command(arguments))
        code, message = run_plotveil(arguments, grid.dataset.RasterYSize, steps)
        if code is None:
            return False
        if message:
            feedback.pushConsoleInfo(message)
        feedback.pushInfo('plotveil ended with exit code {}.'.format(code))
        if code != 0:
            raise QgsProcessingException('plotveil could not mask {} with {} into {}: {}. Nothing was written; '
                                         'plotveil\'s own message and exit code are in the log.'.format(
                                             grid, mask, files.grid, failure_reason(code, message, names)))
        if sidecar_writer is not None:
            code, message = run_quietly([sidecar_writer, temporary])
            if code == 0:
                feedback.pushInfo('plotveil-hdr wrote the header {}.hdr.'.format(files.base))
            else:
                feedback.pushConsoleInfo(message)
                raise QgsProcessingException('plotveil-hdr could not describe {} (exit code {}): {}'.format(
                    files.grid, code, message.replace(os.path.splitext(temporary)[0], files.base)))
        self._write_projection(grid.crs, files)
        return not feedback.isCanceled()

    def _output_path(self, parameters, context, extension, feedback):
        """The output name with the extension of the chosen format."""
        path = self.parameterAsOutputLayer(parameters, self.OUTPUT, context)
        base, given = os.path.splitext(path)
        if given[1:].lower() == extension:
            return path
        moved = base + '.' + extension
        if context.willLoadLayerOnCompletion(path):
            loads = context.layersToLoadOnCompletion()
            loads[moved] = loads.pop(path)
            context.setLayersToLoadOnCompletion(loads)
        feedback.pushInfo('The output takes the extension of its format: {}'.format(moved))
        return moved

    def _forget_output(self, output, context):
        if context.willLoadLayerOnCompletion(output):
            loads = context.layersToLoadOnCompletion()
            loads.pop(output)
            context.setLayersToLoadOnCompletion(loads)

    def _write_projection(self, crs, files):
        """Writes the grid layer's coordinate system where GDAL looks for it:
        in a .prj beside the output, and for a double grid in its ENVI header."""
        if not crs.isValid():
            return
        wkt = crs.toWkt(QgsCoordinateReferenceSystem.WKT1_ESRI)
        try:
            with open(files.temporary_for(files.base + '.prj'), 'w', encoding='utf-8') as stream:
                stream.write(wkt)
            if files.extension == 'dbl':
                with open(files.temporary_for(files.base + '.hdr'), 'a', encoding='utf-8') as stream:
                    stream.write('coordinate system string = {%s}\n' % wkt)
        except OSError as e:
            raise QgsProcessingException('Could not write the coordinate system beside {}: {}'.format(
                files.grid, e.strerror or 'error {}'.format(e.errno)))
