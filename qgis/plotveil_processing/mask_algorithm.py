"""Mask grid with grid: runs plotveil on two raster layers and loads the result."""

import math
import os
import re
import shutil
import tempfile
from collections import namedtuple

from qgis.core import (QgsCoordinateReferenceSystem, QgsProcessingAlgorithm, QgsProcessingException,
                       QgsProcessingMultiStepFeedback, QgsProcessingParameterEnum,
                       QgsProcessingParameterRasterDestination,
                       QgsProcessingParameterRasterLayer, QgsProcessingUtils)
from qgis.PyQt.QtCore import QT_TRANSLATE_NOOP, QUrl

from . import alignment
from .cancel import Cancelled
from .grid_writers import write_binary_grid, write_text_grid
from .layers import Layer
from .output_files import OutputFiles
from .plotveil_grids import (BINARY_NODATA, DOUBLE, NODATA_CHOICES, SINGLE, binary_cells_plain, fits_single,
                             text_mask_plain)
from .plotveil_run import failure_reason, run_plotveil, run_quietly, shell_command
from .programs import INSTALL_PLACES_SHOWN, PLUGIN_FOLDER, locate_program, missing_program_message
from .translation import tr

# An output format: its name among the FORMAT choices, its file's extension,
# plotveil's option, and whether it is a single or double grid, which
# plotveil-hdr describes.
Format = namedtuple('Format', 'label extension option binary')
FORMATS = (
    Format(QT_TRANSLATE_NOOP('plotveil', 'Text grid (.asc)'), 'asc', '-f:t', False),
    Format(QT_TRANSLATE_NOOP('plotveil', 'Single-precision grid (.flt)'), 'flt', '-f:s', True),
    Format(QT_TRANSLATE_NOOP('plotveil', 'Double-precision grid (.dbl)'), 'dbl', '-f:d', True),
)

# What one run works with: the programs, the two layers, the output's files,
# the chosen format and the temporary folder.
Job = namedtuple('Job', 'plotveil sidecar_writer grid mask files format work')
# A layer as plotveil is given it: the file, and whether it is the layer's own.
Input = namedtuple('Input', 'layer path as_is')

HELP = QT_TRANSLATE_NOOP('plotveil', """<p>Masks a grid with another, cell by cell, with plotveil, and loads the result.</p>
<p><b>The rule</b>: a cell of the grid is kept wherever the <b>mask</b> layer has data in
that cell, whatever its value, 0 included. It becomes no data where the mask layer has no
data (its no-data value, or NaN) and where the grid itself has none. The mask's values
never reach the result. The result's no-data value is the grid layer's; a grid without one
(or with NaN) gets a value none of its cells holds, {nodata:g} where it can, and the log says
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
release's quick starts install them ({places}).</p>""")


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
        return tr('Mask grid with grid')

    def group(self):
        return tr('Raster analysis')

    def groupId(self):  # noqa: N802
        return 'rasteranalysis'

    def shortHelpString(self):  # noqa: N802
        return tr(HELP).replace('\n', ' ').format(nodata=BINARY_NODATA, places=', '.join(INSTALL_PLACES_SHOWN))

    def helpUrl(self):  # noqa: N802
        """The guide to the plugin, which the plugin's zip holds as help.html."""
        page = os.path.join(PLUGIN_FOLDER, 'help.html')
        return QUrl.fromLocalFile(page).toString() if os.path.isfile(page) else ''

    def createCustomParametersWidget(self, parent=None):  # noqa: N802
        from .dialog import MaskDialog   # the desktop's alone: qgis_process has no dialogs
        return MaskDialog(self, parent=parent)

    def initAlgorithm(self, config=None):  # noqa: N802
        self.addParameter(QgsProcessingParameterRasterLayer(self.GRID, tr('Grid to mask')))
        self.addParameter(QgsProcessingParameterRasterLayer(self.MASK, tr('Mask')))
        self.addParameter(QgsProcessingParameterEnum(
            self.FORMAT, tr('Output format'), options=[tr(f.label) for f in FORMATS], defaultValue=0))
        # The file dialog offers the provider's extensions: .asc, .flt and .dbl.
        self.addParameter(QgsProcessingParameterRasterDestination(self.OUTPUT, tr('Masked grid')))

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        form = FORMATS[self.parameterAsEnum(parameters, self.FORMAT, context)]
        plotveil = self._program('plotveil')
        sidecar_writer = self._program('plotveil-hdr') if form.binary else None
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
        output = self._output_path(parameters, context, form.extension, feedback)
        files = OutputFiles(output, form.extension)
        files.refuse_inputs(layers)
        files.refuse_others()
        files.refuse_unwritable()

        try:
            work = tempfile.mkdtemp(prefix='plotveil_', dir=QgsProcessingUtils.tempFolder())
        except OSError as e:
            raise QgsProcessingException(tr('Could not make a temporary folder in {}: {}').format(
                QgsProcessingUtils.tempFolder(), e.strerror or e))
        try:
            self._mask(Job(plotveil, sidecar_writer, grid, mask, files, form, work), feedback)
            if feedback.isCanceled():
                raise Cancelled()
            files.commit(grid.crs.isValid())
        except Cancelled:
            self._forget_output(output, context)
            feedback.pushInfo(tr('Cancelled: nothing was written; {} is as it was.').format(output))
            return {}
        finally:
            files.discard()
            shutil.rmtree(work, ignore_errors=True)
        return {self.OUTPUT: output}

    def _program(self, name):
        path, unusable = locate_program(name)
        if path is None:
            raise QgsProcessingException(missing_program_message(name, unusable))
        return path

    def _mask(self, job, feedback):
        """Chooses the result's no-data value, brings both layers into a form
        plotveil reads, and runs plotveil and plotveil-hdr into the temporary
        files. Cancel stops it with Cancelled."""
        steps = QgsProcessingMultiStepFeedback(4, feedback)
        for layer in (job.grid, job.mask):
            if layer.dataset.RasterCount > 1:
                feedback.pushInfo(tr('{} has {} bands: plotveil takes band 1.').format(
                    layer.title(), layer.dataset.RasterCount))
        nodata = self._choose_nodata(job, steps, feedback)
        inputs = [self._prepare_input(job, layer, nodata, step, steps, feedback)
                  for step, layer in enumerate((job.grid, job.mask), start=1)]
        self._run_tools(job, inputs, nodata, steps, feedback)

    def _choose_nodata(self, job, steps, feedback):
        """The result's no-data value: the grid layer's, or for a grid without
        a finite one the first of NODATA_CHOICES that no cell holds."""
        grid, nodata = job.grid, job.grid.nodata
        if nodata is None or not math.isfinite(nodata):
            steps.setCurrentStep(0)
            _, held = grid.scan(steps, candidates=NODATA_CHOICES)
            free = [v for v in NODATA_CHOICES if v not in held]
            if not free:
                raise QgsProcessingException('{} has no no-data value, and its cells hold every value the '
                                             'plugin would choose for one: give the layer a no-data value.'
                                             .format(grid))
            nodata = free[0]
            feedback.pushInfo(tr('{} has no finite no-data value: the result\'s no-data value is {}, which no '
                                 'cell of the grid holds.').format(grid, nodata))
        if job.format.binary and nodata != BINARY_NODATA:
            raise QgsProcessingException(
                tr('A single- or double-precision output needs the no-data value {:g}, by which plotveil-hdr '
                   'and plotveil recognise such grids; {} would give {}. Choose the text format, or give the grid '
                   'the no-data value {:g} first (Raster > Conversion > Translate).').format(
                    BINARY_NODATA, grid, nodata, BINARY_NODATA))
        return nodata

    def _prepare_input(self, job, layer, nodata, step, steps, feedback):
        """The layer's own file where plotveil reads it as QGIS shows it, with
        no cell that plotveil would take otherwise; else a grid written for
        plotveil from the layer."""
        steps.setCurrentStep(step)
        steps.setProgress(0)   # a step's progress starts again: 100 of the last one is no change
        georeference = job.grid.georeference()
        grid_file = layer.grid_file
        if grid_file is not None and grid_file.nodata == nodata:
            if layer is job.grid:
                plain = grid_file.cell_type is None or binary_cells_plain(layer, grid_file, None, steps)
                why = tr('it holds NaN cells, which plotveil would keep')
            elif tuple(grid_file.values[:5]) != tuple(georeference):
                plain, why = False, None   # a mask within the tolerance takes the grid's header
            elif grid_file.cell_type is None:
                plain = text_mask_plain(layer, grid_file, steps)
                why = tr('its cells may hold values at or below its no-data value, which plotveil would take '
                         'for no data')
            else:
                plain = binary_cells_plain(layer, grid_file, nodata, steps)
                why = tr('it holds NaN cells or cells below its no-data value, which plotveil would take '
                         'otherwise')
            if plain:
                feedback.pushInfo(tr('plotveil reads {} as it is ({}).').format(layer, layer.source))
                return Input(layer, layer.source, True)
            if why:
                feedback.pushInfo(tr('{} is written for plotveil: {}.').format(layer.title(), why))
        return self._write_input(job, layer, nodata, steps, feedback)

    def _write_input(self, job, layer, nodata, steps, feedback):
        """Writes the layer for plotveil: a single grid where every value and
        the header are 32-bit floats, else a double grid, with the no-data
        value -9999; a text grid where the result's no-data value is another.
        The mask as its data and no-data cells: the values of its data never
        reach the result."""
        georeference = job.grid.georeference()
        keep = None if layer is job.grid else (1.0 if nodata < 1.0 else math.nextafter(nodata, math.inf))
        what = tr('every value unchanged') if keep is None else tr('its data and no-data cells alone')
        if nodata == BINARY_NODATA:
            single = fits_single(georeference) and (keep is not None or layer.cells_are_single())
            cell_type = SINGLE if single else DOUBLE
            path = os.path.join(job.work, '{}.{}'.format(layer.role, 'flt' if single else 'dbl'))
            form = tr('a single-precision grid') if single else tr('a double-precision grid')
            feedback.pushInfo(tr('Writing {} for plotveil as {}, {}.').format(layer, form, what))
            write_binary_grid(layer, path, georeference, cell_type, keep, steps)
        else:
            path = os.path.join(job.work, layer.role + '.asc')
            feedback.pushInfo(tr('Writing {} for plotveil as a text grid, {}: single and double grids need the '
                                 'no-data value {:g}, the result\'s is {}.').format(layer, what, BINARY_NODATA,
                                                                                     nodata))
            write_text_grid(layer, path, georeference, nodata, keep, steps)
        return Input(layer, path, False)

    def _run_tools(self, job, inputs, nodata, steps, feedback):
        """Runs plotveil, then plotveil-hdr, into the temporary files, and
        writes the .prj. A layer given as it is that plotveil stops reading
        is written for plotveil when GDAL reads NaN cells in it (words such as
        nan, which plotveil does not read); else the run stops with GDAL's or
        plotveil's reason."""
        temporary = job.files.make_temporary()
        while True:
            code, message = self._run_plotveil(job, inputs, temporary, steps, feedback)
            if code == 0:
                break
            unread = re.search(r'error reading from (.*) in row', message)
            stopped = [n for n, i in enumerate(inputs) if i.as_is and unread and unread.group(1).strip() == i.path]
            if not stopped or not self._shows_nan(inputs[stopped[0]].layer, stopped[0] + 1, steps, feedback):
                names = {i.path: '{} ({})'.format(i.layer, i.layer.source) for i in inputs}
                names[temporary] = tr('the output {}').format(job.files.grid)
                raise QgsProcessingException(tr('plotveil could not mask {} with {} into {}: {}. Nothing was '
                                                'written; plotveil\'s own message and exit code are in the log.')
                                             .format(job.grid, job.mask, job.files.grid,
                                                     failure_reason(code, message, names)))
            inputs[stopped[0]] = self._write_input(job, inputs[stopped[0]].layer, nodata, steps, feedback)
        if job.sidecar_writer is not None:
            self._describe(job, temporary, feedback)
        self._write_projection(job.grid.crs, job.files)

    def _run_plotveil(self, job, inputs, temporary, steps, feedback):
        """One run of plotveil on the inputs into the temporary grid: its exit
        code and what it printed after the dots."""
        steps.setCurrentStep(3)
        steps.setProgress(0)
        arguments = [job.plotveil] + [i.path for i in inputs] + [temporary, job.format.option]
        feedback.pushCommandInfo(shell_command(arguments))
        code, message = run_plotveil(arguments, job.grid.dataset.RasterYSize, steps)
        if code is None:
            raise Cancelled()
        if message:
            feedback.pushConsoleInfo(message)
        feedback.pushInfo(tr('plotveil ended with exit code {}.').format(code))
        return code, message

    def _shows_nan(self, layer, step, steps, feedback):
        """Whether GDAL reads NaN cells in a layer plotveil stopped reading;
        GDAL's own failure to read it stops the run with GDAL's reason."""
        steps.setCurrentStep(step)
        has_nan, _ = layer.scan(steps)
        if has_nan:
            feedback.pushInfo(tr('{} holds cells that GDAL reads as NaN and plotveil does not read as numbers.')
                              .format(layer.title()))
        return has_nan

    def _describe(self, job, temporary, feedback):
        """plotveil-hdr's header beside the temporary single or double grid."""
        code, message = run_quietly([job.sidecar_writer, temporary])
        if code != 0:
            feedback.pushConsoleInfo(message)
            raise QgsProcessingException(tr('plotveil-hdr could not describe {} (exit code {}): {}').format(
                job.files.grid, code, message.replace(os.path.splitext(temporary)[0], job.files.base)))
        feedback.pushInfo(tr('plotveil-hdr wrote the header {}.hdr.').format(job.files.base))

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
        feedback.pushInfo(tr('The output takes the extension of its format: {}').format(moved))
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
            raise QgsProcessingException(tr('Could not write the coordinate system beside {}: {}').format(
                files.grid, e.strerror or 'error {}'.format(e.errno)))
