"""Mask grid with grid: runs plotveil on two raster layers and loads the result."""

import os
import re
import shutil
import tempfile

from qgis.core import (QgsCoordinateReferenceSystem, QgsProcessingAlgorithm, QgsProcessingException,
                       QgsProcessingMultiStepFeedback, QgsProcessingParameterEnum,
                       QgsProcessingParameterRasterDestination,
                       QgsProcessingParameterRasterLayer, QgsProcessingUtils)

from . import grid_inputs
from .plotveil_run import run_plotveil, run_quietly
from .programs import find_program, missing_program_message

# Output formats in the order of the FORMAT choices: name, extension, plotveil's option.
FORMATS = (
    ('Text grid (.asc)', 'asc', '-f:t'),
    ('Single-precision grid (.flt)', 'flt', '-f:s'),
    ('Double-precision grid (.dbl)', 'dbl', '-f:d'),
)

HELP = """<p>Masks a grid with another, cell by cell, with plotveil, and loads the result.</p>
<p>Where the <b>mask</b> cell holds a value above the no-data value, the result takes the
<b>grid</b>'s cell (a no-data cell of the grid stays no data). Where the mask cell is no data,
or lies below the no-data value, the result cell is no data. Any value above it keeps the cell,
0 included; the mask's own values never reach the result.</p>
<p>Both layers must have the same number of rows and columns, lower-left corner, square cell
size and no-data value; otherwise plotveil stops and says which value differs. A layer
without a no-data value takes the other layer's (or -9999). Of a layer with several bands,
band 1 is masked.</p>
<p><b>Output format</b>: a text grid (.asc, six significant digits), or a single- or
double-precision grid (.flt, .dbl: cells as 32- or 64-bit floats). The output file's
extension follows the format. A single or double grid's header also holds the count,
minimum, maximum, sum, mean and sample standard deviation of the result's cells that lie
more than 1 above the no-data value; a .hdr file written beside it lets QGIS open it.</p>
<p>Layers in other formats (GeoTIFF, VRT, text grids with upper-case headers, ...) are first
written as temporary text grids, every value unchanged.</p>
<p>plotveil and plotveil-hdr are looked for in the folder set in Settings &gt; Options &gt;
Processing &gt; Providers &gt; plotveil, then in the plugin's folder, then on PATH.</p>"""


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

    def initAlgorithm(self, config=None):  # noqa: N802
        self.addParameter(QgsProcessingParameterRasterLayer(self.GRID, 'Grid to mask'))
        self.addParameter(QgsProcessingParameterRasterLayer(self.MASK, 'Mask'))
        self.addParameter(QgsProcessingParameterEnum(
            self.FORMAT, 'Output format', options=[f[0] for f in FORMATS], defaultValue=0))
        # The file dialog offers the provider's extensions: .asc, .flt and .dbl.
        self.addParameter(QgsProcessingParameterRasterDestination(self.OUTPUT, 'Masked grid'))

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        layout = self.parameterAsEnum(parameters, self.FORMAT, context)
        plotveil = find_program('plotveil')
        if plotveil is None:
            raise QgsProcessingException(missing_program_message('plotveil'))
        sidecar_writer = None
        if layout != 0:
            sidecar_writer = find_program('plotveil-hdr')
            if sidecar_writer is None:
                raise QgsProcessingException(missing_program_message('plotveil-hdr'))
        layers = []
        for name, role in ((self.GRID, 'grid'), (self.MASK, 'mask')):
            layer = self.parameterAsRasterLayer(parameters, name, context)
            if layer is None:
                raise QgsProcessingException(self.invalidRasterError(parameters, name))
            layers.append((layer, role))
        output = self._output_path(parameters, context, FORMATS[layout][1], feedback)
        for layer, role in layers:
            source = grid_inputs.layer_file(layer)
            if source and os.path.exists(output) and os.path.exists(source) \
                    and os.path.samefile(source, output):
                raise QgsProcessingException(
                    'The output {} is the {} layer\'s file; choose another name.'.format(output, role))

        try:  # a folder that cannot be made is plotveil's to report
            os.makedirs(os.path.dirname(output) or '.', exist_ok=True)
        except OSError:
            pass
        work = tempfile.mkdtemp(prefix='plotveil_', dir=QgsProcessingUtils.tempFolder())
        try:
            code, message = self._mask(plotveil, layers, output, layout, work, feedback)
        finally:
            shutil.rmtree(work, ignore_errors=True)
        if code is None:
            self._remove_output(output, context)
            feedback.pushInfo('Cancelled: plotveil was stopped and {} removed.'.format(output))
            return {}
        if message:
            feedback.pushConsoleInfo(message)
        feedback.pushInfo('plotveil ended with exit code {}.'.format(code))
        if code != 0:
            raise QgsProcessingException('plotveil failed with exit code {}: {}'.format(code, message))
        if sidecar_writer is not None:
            code, message = run_quietly([sidecar_writer, '-f', output])
            feedback.pushConsoleInfo(message)
            if code != 0:
                raise QgsProcessingException(
                    'plotveil-hdr failed with exit code {}: {}'.format(code, message))
        self._write_projection(layers[0][0], output)
        return {self.OUTPUT: output}

    def _mask(self, plotveil, layers, output, layout, work, feedback):
        """Brings both layers into a form plotveil reads and runs it; returns
        what run_plotveil returns."""
        direct = [grid_inputs.plotveil_reads_as_shown(layer) for layer, _ in layers]
        steps = QgsProcessingMultiStepFeedback(direct.count(False) + 1, feedback)
        step = 0
        names = []
        for (layer, role), as_it_is, (other, _) in zip(layers, direct, reversed(layers)):
            if as_it_is:
                names.append(grid_inputs.layer_file(layer))
                feedback.pushInfo('plotveil reads the {} layer {} as it is.'.format(role, names[-1]))
                continue
            folder = os.path.join(work, role)
            os.mkdir(folder)
            names.append(os.path.join(folder, _file_name(layer.name()) + '.asc'))
            nodata = grid_inputs.layer_nodata(other)
            feedback.pushInfo('Writing the {} layer {} as the text grid {}.'.format(role, layer.name(), names[-1]))
            steps.setCurrentStep(step)
            steps.setProgress(0)
            grid_inputs.write_text_grid(layer, role, names[-1],
                                        grid_inputs.DEFAULT_NODATA if nodata is None else nodata, steps)
            step += 1
            if feedback.isCanceled():
                return None, ''
        steps.setCurrentStep(step)
        steps.setProgress(0)
        arguments = [plotveil, names[0], names[1], output, FORMATS[layout][2]]
        feedback.pushCommandInfo(' '.join('"{}"'.format(a) if ' ' in a else a for a in arguments))
        return run_plotveil(arguments, layers[0][0].height(), steps)

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

    def _remove_output(self, output, context):
        if os.path.exists(output):
            os.remove(output)
        if context.willLoadLayerOnCompletion(output):
            loads = context.layersToLoadOnCompletion()
            loads.pop(output)
            context.setLayersToLoadOnCompletion(loads)

    def _write_projection(self, layer, output):
        """Writes the grid layer's coordinate system where GDAL looks for it:
        in a .prj beside the output, and for a double grid in its ENVI header.
        A grid without one leaves none: a .prj of an earlier output goes."""
        base = os.path.splitext(output)[0]
        crs = layer.crs()
        if not crs.isValid():
            if os.path.exists(base + '.prj'):
                os.remove(base + '.prj')
            return
        wkt = crs.toWkt(QgsCoordinateReferenceSystem.WKT1_ESRI)
        with open(base + '.prj', 'w', encoding='utf-8') as stream:
            stream.write(wkt)
        if output.lower().endswith('.dbl'):
            with open(base + '.hdr', 'a', encoding='utf-8') as stream:
                stream.write('coordinate system string = {%s}\n' % wkt)


def _file_name(name):
    """A layer name as a file name on any system."""
    return re.sub(r'[^\w.-]+', '_', name).strip('._') or 'layer'
