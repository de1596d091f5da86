"""The plotveil Processing provider, run headless in QGIS: it must give what
plotveil run by hand gives, for text grids and GeoTIFF layers alike.

Run with the system's Python, which has QGIS's and GDAL's bindings:
  /usr/bin/python3 tests/qgis/test_plotveil_processing.py
The programs come from PLOTVEIL_BUILD_DIR (default: build/), put first on PATH.
The plugin is installed into a temporary plugin folder, as QGIS installs it:
from the zip PLOTVEIL_QGIS_ZIP names, or else from qgis/plotveil_processing.
"""

import atexit
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.abspath(os.environ.get('PLOTVEIL_BUILD_DIR', os.path.join(ROOT, 'build')))
os.environ['PATH'] = BUILD + os.pathsep + os.environ.get('PATH', '')
os.environ.setdefault('QT_QPA_PLATFORM', 'offscreen')
os.environ['GDAL_PAM_ENABLED'] = 'NO'  # no .aux.xml files beside the examples
# QGIS keeps its settings (the plugin's folder among them) under HOME: the test
# gets its own, so it never changes this machine's settings, and two runs at
# once never see each other's folders.
SETTINGS_HOME = tempfile.mkdtemp(prefix='plotveil_qgis_home_')
atexit.register(shutil.rmtree, SETTINGS_HOME, True)
os.environ['HOME'] = SETTINGS_HOME
for variable in ('XDG_CONFIG_HOME', 'XDG_DATA_HOME', 'XDG_CACHE_HOME'):
    os.environ.pop(variable, None)
PLUGINS = tempfile.mkdtemp(prefix='plotveil_qgis_plugins_')
atexit.register(shutil.rmtree, PLUGINS, True)
if os.environ.get('PLOTVEIL_QGIS_ZIP'):
    with zipfile.ZipFile(os.environ['PLOTVEIL_QGIS_ZIP']) as plugin_zip:
        plugin_zip.extractall(PLUGINS)
else:
    shutil.copytree(os.path.join(ROOT, 'qgis', 'plotveil_processing'),
                    os.path.join(PLUGINS, 'plotveil_processing'))
sys.path[:0] = [PLUGINS, '/usr/share/qgis/python/plugins']

import numpy  # noqa: E402
from osgeo import gdal, ogr, osr  # noqa: E402
from qgis.core import (QgsApplication, QgsCoordinateReferenceSystem, QgsProcessingContext,  # noqa: E402
                       QgsProcessingException, QgsProcessingFeedback, QgsProject, QgsRasterLayer)
from qgis.PyQt.QtCore import QUrl  # noqa: E402

gdal.UseExceptions()
QGIS = QgsApplication([], False)
QGIS.initQgis()
from processing.core.Processing import Processing  # noqa: E402
Processing.initialize()
import processing  # noqa: E402
from processing.core.ProcessingConfig import ProcessingConfig  # noqa: E402
import qgis.utils  # noqa: E402
from plotveil_processing.programs import PLUGIN_FOLDER, find_program  # noqa: E402

FLAGS = ('-f:t', '-f:s', '-f:d')
EXTENSIONS = ('asc', 'flt', 'dbl')


class Recorder(QgsProcessingFeedback):
    """Keeps the progress and the log; cancels once progress passes `cancel_at`."""

    def __init__(self, cancel_at=None):
        super().__init__()
        self.progress, self.log = [], []
        self.progressChanged.connect(self._progress)
        self.cancel_at = cancel_at

    def _progress(self, value):
        self.progress.append(value)
        if self.cancel_at is not None and value > self.cancel_at:
            self.cancel()

    def pushInfo(self, text):  # noqa: N802
        self.log.append(text)
        super().pushInfo(text)

    def pushCommandInfo(self, text):  # noqa: N802
        self.log.append(text)
        self.command = text
        super().pushCommandInfo(text)


class ProcessingProviderTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # As qgis_process starts a plugin: classFactory(None), then initProcessing().
        if not (qgis.utils.loadPlugin('plotveil_processing')
                and qgis.utils.startProcessingPlugin('plotveil_processing')):
            raise RuntimeError('the plugin did not load')
        cls.plugin = qgis.utils.plugins['plotveil_processing']
        # The programs come from PATH here, with no folder set.
        ProcessingConfig.setSettingValue('PLOTVEIL_FOLDER', '')
        cls.work = tempfile.mkdtemp(prefix='plotveil_qgis_test_')
        cls.grids = {'asc': (os.path.join(ROOT, 'examples', 'elevation.asc'),
                             os.path.join(ROOT, 'examples', 'mask.asc'))}
        # GeoTIFF copies holding every value as the double the text grid holds,
        # and a coordinate system, which the output takes on.
        gdal.SetConfigOption('AAIGRID_DATATYPE', 'Float64')
        cls.grids['tif'] = tuple(cls.copy(path, 'GTiff', '.tif', outputSRS='EPSG:25832')
                                 for path in cls.grids['asc'])
        # Without a coordinate system, as the text grids have none.
        cls.grids['tif0'] = tuple(cls.copy(path, 'GTiff', '_0.tif') for path in cls.grids['asc'])
        gdal.SetConfigOption('AAIGRID_DATATYPE', None)
        # Upper-case headers, which plotveil reads as they are.
        cls.grids['ASC'] = tuple(os.path.join(cls.work, 'upper_' + os.path.basename(p)) for p in cls.grids['asc'])
        for source, upper in zip(cls.grids['asc'], cls.grids['ASC']):
            with open(source, 'rb') as a, open(upper, 'wb') as b:
                lines = a.read().split(b'\n')
                b.write(b'\n'.join([line.upper() for line in lines[:6]] + lines[6:]))
        # plotveil's own single and double grids, with their sidecars.
        for layout in (1, 2):
            form = EXTENSIONS[layout]
            cls.grids[form] = tuple(os.path.join(cls.work, form + '_' + os.path.basename(p)[:-3] + form)
                                    for p in cls.grids['asc'])
            for source, grid in zip(cls.grids['asc'], cls.grids[form]):
                cls.plotveil(source, source, grid, layout)
                subprocess.run(['plotveil-hdr', grid], check=True, stdout=subprocess.DEVNULL)
        # GeoTIFF copies of the single grids: Float32, which the plugin writes as single grids.
        cls.grids['tif32'] = tuple(cls.copy(path, 'GTiff', '_32.tif', outputSRS='EPSG:25832')
                                   for path in cls.grids['flt'])

    @staticmethod
    def plotveil(grid, mask, output, layout):
        subprocess.run(['plotveil', grid, mask, output, FLAGS[layout]], check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        cls.plugin.unload()
        shutil.rmtree(cls.work, ignore_errors=True)

    @classmethod
    def copy(cls, path, driver, suffix, **options):
        name = os.path.join(cls.work, os.path.basename(path).split('.')[0] + '_' + driver + suffix)
        gdal.Translate(name, path, format=driver, **options)
        return name

    def run_mask(self, grid, mask, layout, name, feedback=None):
        feedback = feedback or Recorder()
        result = processing.run('plotveil:mask', {
            'GRID': grid, 'MASK': mask, 'FORMAT': layout,
            'OUTPUT': os.path.join(self.work, name)}, feedback=feedback,
            context=QgsProcessingContext())
        return result, feedback

    def test_provider_loads_headless(self):
        provider = QgsApplication.processingRegistry().providerById('plotveil')
        self.assertIsNotNone(provider)
        self.assertEqual(provider.name(), 'plotveil')
        self.assertFalse(provider.icon().isNull())
        algorithm = QgsApplication.processingRegistry().algorithmById('plotveil:mask')
        self.assertEqual(algorithm.displayName(), 'Mask grid with grid')
        self.assertEqual([p.name() for p in algorithm.parameterDefinitions()],
                         ['GRID', 'MASK', 'FORMAT', 'OUTPUT'])
        self.assertIn('no-data', algorithm.shortHelpString())
        self.assertIn('a millionth of a cell', algorithm.shortHelpString())   # no 10<sup>9</sup>, which tooltips show as 109
        self.assertEqual((algorithm.group(), algorithm.groupId()), ('Raster analysis', 'rasteranalysis'))
        if os.environ.get('PLOTVEIL_QGIS_ZIP'):   # the zip holds the guide as the Help button's page
            with open(QUrl(algorithm.helpUrl()).toLocalFile(), encoding='utf-8') as stream:
                self.assertIn('Mask grid with grid', stream.read())

    def test_version_follows_the_project(self):
        with open(os.path.join(ROOT, 'CMakeLists.txt')) as stream:
            project = re.search(r'project\(plotveil VERSION (\S+)', stream.read()).group(1)
        with open(os.path.join(PLUGIN_FOLDER, 'metadata.txt')) as stream:
            metadata = dict(line.strip().split('=', 1) for line in stream if '=' in line)
        self.assertEqual(metadata['version'], project)
        self.assertEqual(metadata['qgisMinimumVersion'], '3.22')
        self.assertEqual(metadata['hasProcessingProvider'], 'yes')

    def test_programs_are_found_in_order(self):
        # (the folder set in the options, a copy in the plugin's folder, found):
        # the setting, then the plugin's folder, then PATH.
        own = os.path.join(self.work, 'own')
        os.makedirs(own, exist_ok=True)
        on_path = shutil.which('plotveil')
        shutil.copy(on_path, own)
        beside = os.path.join(PLUGIN_FOLDER, 'plotveil')
        cases = ((own, True, os.path.join(own, 'plotveil')),
                 (os.path.join(own, 'plotveil'), False, os.path.join(own, 'plotveil')),
                 ('', True, beside),
                 ('', False, on_path),
                 (self.work, True, None))
        home, path = os.environ['HOME'], os.environ['PATH']
        try:
            for setting, in_plugin, found in cases:
                with self.subTest(setting=setting, in_plugin=in_plugin):
                    ProcessingConfig.setSettingValue('PLOTVEIL_FOLDER', setting)
                    if in_plugin:
                        shutil.copy(on_path, beside)
                    elif os.path.exists(beside):
                        os.remove(beside)
                    self.assertEqual(find_program('plotveil'), found)
            # A desktop-started QGIS without the PATH of ~/.bashrc: the quick start's ~/.local/bin.
            ProcessingConfig.setSettingValue('PLOTVEIL_FOLDER', '')
            os.remove(beside)
            os.environ.update(HOME=own, PATH='/nonexistent')
            local = os.path.join(own, '.local', 'bin')
            with self.subTest('~/.local/bin'):
                if not os.path.exists('/usr/bin/plotveil'):   # the other place looked in
                    with self.assertRaisesRegex(QgsProcessingException, r'nor on PATH nor in ~/\.local/bin or /usr/bin'):
                        self.run_mask(self.grids['asc'][0], self.grids['asc'][1], 0, 'not_found.asc')
                os.makedirs(local)
                shutil.copy(on_path, local)
                self.assertEqual(find_program('plotveil'), os.path.join(local, 'plotveil'))
        finally:
            os.environ.update(HOME=home, PATH=path)
            ProcessingConfig.setSettingValue('PLOTVEIL_FOLDER', '')
            if os.path.exists(beside):
                os.remove(beside)

    def test_mask_gives_what_plotveil_gives(self):
        # (grid's form, mask's form, the pair plotveil is given by hand, how many
        # of the two plotveil reads as they are): the others are written as
        # single or double grids first, every value of the grid unchanged.
        cases = (('asc', 'asc', 'asc', 2), ('ASC', 'ASC', 'asc', 2), ('tif', 'tif', 'asc', 0),
                 ('asc', 'tif0', 'asc', 1), ('flt', 'flt', 'flt', 2), ('dbl', 'dbl', 'dbl', 2),
                 ('tif32', 'tif32', 'flt', 0), ('flt', 'tif0', 'flt', 1))
        for grid_form, mask_form, reference, direct in cases:
            for layout in range(3):
                with self.subTest(grid=grid_form, mask=mask_form, format=FLAGS[layout]):
                    expected = os.path.join(self.work, 'by_hand.' + EXTENSIONS[layout])
                    self.plotveil(*self.grids[reference], expected, layout)
                    # The temporary output's extension follows the format.
                    result, feedback = self.run_mask(self.grids[grid_form][0], self.grids[mask_form][1],
                                                     layout, 'out_{}_{}_{}.tif'.format(grid_form, mask_form, layout))
                    output = result['OUTPUT']
                    self.assertTrue(output.endswith('.' + EXTENSIONS[layout]), output)
                    with open(output, 'rb') as got, open(expected, 'rb') as want:
                        self.assertEqual(got.read(), want.read())
                    self.assertEqual(feedback.progress[-1], 100)
                    self.assertEqual(feedback.progress, sorted(feedback.progress))
                    self.assertEqual(direct, sum('as it is' in line for line in feedback.log))
                    self.assertEqual(2 - direct, sum('-precision grid, ' in line for line in feedback.log))
                    layer = QgsRasterLayer(output, 'masked')
                    self.assertTrue(layer.isValid())
                    self.assertEqual((layer.width(), layer.height()), (12, 10))
                    extent = layer.extent()
                    self.assertEqual((extent.xMinimum(), extent.yMinimum()), (452000, 236500))
                    if grid_form == 'tif':
                        self.assertEqual(layer.crs().authid(), 'EPSG:25832')

    def test_result_is_loaded(self):
        # As the toolbox runs it: a temporary output, loaded into the project
        # under the extension of its format.
        result = processing.runAndLoadResults('plotveil:mask', {
            'GRID': self.grids['tif0'][0], 'MASK': self.grids['asc'][1], 'FORMAT': 2,
            'OUTPUT': 'TEMPORARY_OUTPUT'}, feedback=Recorder())
        loaded = [layer for layer in QgsProject.instance().mapLayers().values()
                  if layer.source() == result['OUTPUT']]
        self.assertEqual(len(loaded), 1)
        self.assertTrue(loaded[0].isValid() and result['OUTPUT'].endswith('.dbl'))
        self.assertEqual((loaded[0].width(), loaded[0].height()), (12, 10))
        QgsProject.instance().removeAllMapLayers()

    def test_failures_raise_with_the_reason(self):
        # A mask one column short: plotveil's own message on the first value that differs.
        short = self.copy(self.grids['asc'][1], 'GTiff', '_short.tif', srcWin=[0, 0, 11, 10])
        cases = (
            ('grids differ', short, '', r'The layers do not share one grid: the grid layer "elevation" has '
                                        r'columns 12, the mask layer "mask_GTiff_short" has 11\. Align the mask'),
            ('no program', self.grids['asc'][1], self.work,
             r'plotveil was not found in the folder set in Settings > Options > Processing > Providers > plotveil'),
        )
        # 12. A plotveil-hdr that cannot be executed is not "not found".
        unusable = os.path.join(self.work, 'unusable')
        os.makedirs(unusable, exist_ok=True)
        shutil.copy(shutil.which('plotveil'), unusable)
        shutil.copy(shutil.which('plotveil-hdr'), unusable)
        os.chmod(os.path.join(unusable, 'plotveil-hdr'), 0o644)
        cases += (('not executable', self.grids['asc'][1], unusable,
                   r'plotveil-hdr exists at .*unusable/plotveil-hdr but cannot be executed'),)
        for label, mask, folder, message in cases:
            with self.subTest(label):
                ProcessingConfig.setSettingValue('PLOTVEIL_FOLDER', folder)
                try:
                    with self.assertRaisesRegex(QgsProcessingException, message):
                        self.run_mask(self.grids['asc'][0], mask, 1, 'failed.flt')
                finally:
                    ProcessingConfig.setSettingValue('PLOTVEIL_FOLDER', '')

    def test_cancel_stops_plotveil_and_keeps_an_earlier_output(self):
        big = os.path.join(self.work, 'big.asc')
        # Long enough that plotveil is still at work when its first dots arrive.
        rows, cols = 10000, 1000
        with open(big, 'w') as stream:
            stream.write('ncols {}\nnrows {}\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -9999\n'
                         .format(cols, rows))
            stream.write(('1 ' * cols + '\n') * rows)
        for layout in range(3):
            with self.subTest(format=FLAGS[layout]):
                earlier = os.path.join(self.work, 'cancelled{}.{}'.format(layout, EXTENSIONS[layout]))
                with open(earlier, 'w') as stream:
                    stream.write('an earlier result')
                before = sorted(os.listdir(self.work))
                # Past the plugin's own steps: plotveil is running.
                feedback = Recorder(cancel_at=76)
                result, _ = self.run_mask(big, big, layout, os.path.basename(earlier), feedback)
                self.assertEqual(result, {})
                self.assertLess(max(feedback.progress), 100)
                with open(earlier) as stream:
                    self.assertEqual(stream.read(), 'an earlier result')
                self.assertEqual(sorted(os.listdir(self.work)), before)


    # --- what trying to break the plugin found: each row failed on the plugin of 1.0.0 ---------

    def tif(self, name, cells, srs='EPSG:25832', nodata=None, kind=gdal.GDT_Float64,
            transform=(452000, 25, 0, 236750, 0, -25)):
        """A one-band GeoTIFF of the given cells (rows of numbers) in a folder of its own."""
        folder = tempfile.mkdtemp(dir=self.work)
        path = os.path.join(folder, name)
        dataset = gdal.GetDriverByName('GTiff').Create(path, len(cells[0]), len(cells), 1, kind)
        dataset.SetGeoTransform(transform)
        if srs:
            dataset.SetProjection(QgsCoordinateReferenceSystem(srs).toWkt())
        band = dataset.GetRasterBand(1)
        if nodata is not None:
            band.SetNoDataValue(nodata)
        band.WriteArray(numpy.array(cells, dtype=float))
        dataset = None
        return path

    @staticmethod
    def cells_of(path):
        dataset = gdal.Open(path)
        band = dataset.GetRasterBand(1)
        return band.ReadAsArray().astype(float).tolist(), band.GetNoDataValue()

    def test_each_finding_is_refused_or_right(self):
        elevation = self.cells_of(self.grids['asc'][0])[0]
        ones = [[1.0] * 12 for _ in range(10)]
        # 0/1 masks with a no-data value of their own, 4 of the 120 cells no data.
        byte_mask = [[255.0 if (r, c) in ((0, 0), (3, 4), (9, 11), (5, 5)) else float((r + c) % 2)
                      for c in range(12)] for r in range(10)]
        zero_mask = [[float((r * 12 + c) % 3 != 0) for c in range(12)] for r in range(10)]
        nan = float('nan')

        def files_of(folder):
            found = {}
            for name in sorted(os.listdir(folder)):
                if name.endswith('.stx'):
                    continue  # QGIS itself has GDAL write one when it opens an ESRI .hdr grid
                if os.path.isdir(os.path.join(folder, name)):
                    found[name] = 'a folder'
                    continue
                with open(os.path.join(folder, name), 'rb') as stream:
                    found[name] = stream.read()
            return found

        def envi():  # 1. an ENVI grid's header is no output's
            path = self.tif('dem.tif', elevation)
            gdal.Translate(path[:-4] + '.img', path, format='ENVI')
            return path[:-4] + '.img', self.grids['tif'][1], 1, 'dem.flt'

        def ehdr():
            path = self.tif('a.tif', elevation)
            gdal.Translate(path[:-4] + '.flt', path, format='EHdr', outputType=gdal.GDT_Float32)
            return path[:-4] + '.flt', self.grids['tif'][1], 2, 'a.dbl'

        def vrt():  # 2. the file behind a VRT
            folder = tempfile.mkdtemp(dir=self.work)
            shutil.copy(self.grids['asc'][0], os.path.join(folder, 'victim.asc'))
            gdal.BuildVRT(os.path.join(folder, 'victim.vrt'), [os.path.join(folder, 'victim.asc')])
            return os.path.join(folder, 'victim.vrt'), self.grids['asc'][1], 0, 'victim.asc'

        def prj():  # 3. a mask's .prj
            folder = tempfile.mkdtemp(dir=self.work)
            for source, name in ((self.grids['asc'][0], 'elevation'), (self.grids['asc'][1], 'mq')):
                shutil.copy(source, os.path.join(folder, name + '.asc'))
                with open(os.path.join(folder, name + '.prj'), 'w') as stream:
                    stream.write(QgsCoordinateReferenceSystem('EPSG:25832').toWkt(
                        QgsCoordinateReferenceSystem.WKT1_ESRI))
            return os.path.join(folder, 'elevation.asc'), os.path.join(folder, 'mq.asc'), 1, 'mq.flt'

        def geotiffs():  # 4. cancelled while a layer is written for plotveil
            return self.grids['tif'][0], self.grids['tif'][1], 0, 'earlier.asc'

        def damaged():  # 5. a failed run: an earlier result under the name survives
            folder = tempfile.mkdtemp(dir=self.work)
            path = os.path.join(folder, 'short.asc')
            with open(self.grids['asc'][0]) as source, open(path, 'w') as stream:
                stream.write(source.read()[:-200])
            return path, self.grids['asc'][1], 0, 'earlier.asc'

        def rotated():  # 6.
            return (self.tif('rotated.tif', elevation, transform=(452000, 25, 5, 236750, 5, -25)),
                    self.grids['tif'][1], 0, 'rotated_out.asc')

        def geographic():  # 7. the same numbers in another coordinate system
            return self.grids['tif'][0], self.tif('m4326.tif', ones, srs='EPSG:4326'), 0, 'geo_out.asc'

        mask_cells = self.cells_of(self.grids['asc'][1])[0]

        def near_corner():  # within the stated tolerance: a millionth of a cell
            shift = 25 * 9e-7
            return (self.tif('g.tif', elevation, nodata=-9999),
                    self.tif('m.tif', mask_cells, nodata=-9999, transform=(452000 + shift, 25, 0, 236750, 0, -25)),
                    0, 'near_out.asc')

        def one_cell_off():  # 2. 5 mm cells at x = 5,000,000: one cell is one part in 10^9
            return (self.tif('g.tif', elevation, transform=(5e6, 0.005, 0, 5.6e6, 0, -0.005)),
                    self.tif('m.tif', mask_cells, transform=(5e6 + 0.005, 0.005, 0, 5.6e6, 0, -0.005)),
                    0, 'one_cell_out.asc')

        def south_up():  # 6. rows from south to north
            return (self.tif('south_up.tif', elevation, transform=(452000, 25, 0, 236500, 0, 25)),
                    self.grids['tif'][1], 0, 'south_up_out.asc')

        def shapefile():  # 1. another dataset's files under the output's name
            folder = tempfile.mkdtemp(dir=self.work)
            source = ogr.GetDriverByName('ESRI Shapefile').CreateDataSource(os.path.join(folder, 'roads.shp'))
            srs = osr.SpatialReference()
            srs.ImportFromEPSG(25832)
            source.CreateLayer('roads', srs, ogr.wkbLineString)
            source = None
            return self.grids['tif'][0], self.grids['tif'][1], 0, os.path.join(folder, 'roads.asc'), False

        def envi_scene():
            path = self.tif('scene.tif', elevation)
            gdal.Translate(path[:-4] + '.img', path, format='ENVI')
            os.remove(path)
            return self.grids['tif'][0], self.grids['tif'][1], 1, path[:-4] + '.flt', False

        def lone_prj():  # a .prj without its grid is another dataset's
            folder = tempfile.mkdtemp(dir=self.work)
            with open(os.path.join(folder, 'lone.prj'), 'w') as stream:
                stream.write('kept')
            return self.grids['tif'][0], self.grids['tif'][1], 0, os.path.join(folder, 'lone.asc'), False

        def earlier_result():  # the output's own earlier files are replaced; made with the umask's mode
            folder = tempfile.mkdtemp(dir=self.work)
            for name in ('again.flt', 'again.hdr', 'again.prj', 'again.stx', 'again.flt.aux.xml'):
                with open(os.path.join(folder, name), 'w') as stream:
                    stream.write('an earlier result')
            return self.grids['tif'][0], self.grids['tif'][1], 1, os.path.join(folder, 'again.flt')

        def sidecar_fails():  # 5. a full disk as plotveil-hdr writes: messages name the output's files
            folder = tempfile.mkdtemp(dir=self.work)
            shutil.copy(shutil.which('plotveil'), folder)
            with open(os.path.join(folder, 'plotveil-hdr'), 'w') as stream:
                stream.write('#!/bin/sh\necho "plotveil-hdr: error writing ${1%.*}.hdr: No space left on device '
                             '(removed)"\nexit 1\n')
            os.chmod(os.path.join(folder, 'plotveil-hdr'), 0o755)
            ProcessingConfig.setSettingValue('PLOTVEIL_FOLDER', folder)
            return self.grids['asc'][0], self.grids['asc'][1], 1, os.path.join(folder, 'full.flt')

        def far_corner():  # half a cell off
            return (self.tif('g.tif', elevation, nodata=-9999),
                    self.tif('m.tif', mask_cells, nodata=-9999, transform=(452012.5, 25, 0, 236750, 0, -25)),
                    0, 'far_out.asc')

        def no_nodata_byte_mask():  # 8. the grid's -9999 cells are data here
            return (self.tif('g.tif', elevation), self.tif('m.tif', byte_mask, nodata=255, kind=gdal.GDT_Byte),
                    0, 'byte_out.asc')

        def no_nodata_byte_mask_single():
            return no_nodata_byte_mask()[:2] + (1, 'byte_out.flt')

        def zero_nodata_mask():
            return (self.tif('g.tif', elevation, nodata=-9999),
                    self.tif('m.tif', zero_mask, nodata=0, kind=gdal.GDT_Byte), 2, 'zero_out.dbl')

        def nan_float32():  # 9. NaN no-data and NaN cells
            cells = [[nan if v == -9999 else v for v in row] for row in elevation]
            cells[2][3] = nan
            return (self.tif('nan.tif', cells, nodata=nan, kind=gdal.GDT_Float32), self.grids['tif'][1], 0,
                    'nan_out.asc')

        def unwritable():  # 10. an output folder that cannot be written
            blocker = os.path.join(tempfile.mkdtemp(dir=self.work), 'a_file')
            with open(blocker, 'w') as stream:
                stream.write('not a folder')
            return self.grids['asc'][0], self.grids['asc'][1], 0, os.path.join(blocker, 'out.asc')

        def new_folders():  # a refused run leaves no folder it made for the output
            folder = tempfile.mkdtemp(dir=self.work)
            return (self.tif('g.tif', elevation), self.tif('m.tif', byte_mask, nodata=255, kind=gdal.GDT_Byte), 1,
                    os.path.join(folder, 'made', 'for', 'it.flt'))

        def prj_folder():  # 11. a .prj name that is a folder, and one that is read-only
            folder = tempfile.mkdtemp(dir=self.work)
            os.mkdir(os.path.join(folder, 'out.prj'))
            return self.grids['tif'][0], self.grids['tif'][1], 0, os.path.join(folder, 'out.asc')

        def prj_read_only():
            folder = tempfile.mkdtemp(dir=self.work)
            with open(os.path.join(folder, 'out.prj'), 'w') as stream:
                stream.write('kept')
            os.chmod(os.path.join(folder, 'out.prj'), 0o444)
            return self.grids['tif'][0], self.grids['tif'][1], 0, os.path.join(folder, 'out.asc')

        def odd_names():  # 12. the logged command pastes into a shell
            folder = tempfile.mkdtemp(dir=self.work)
            grid = os.path.join(folder, 'it\'s "$(x)" `y`.asc')
            shutil.copy(self.grids['asc'][0], grid)
            return grid, self.grids['asc'][1], 0, os.path.join(folder, 'out $HOME.asc')

        def text_mask_below():  # 13. a data cell below the no-data value; no-data cells as -9999.000
            folder = tempfile.mkdtemp(dir=self.work)
            cells = [['-9999.000' if v == -9999 else repr(v) for v in row] for row in mask_cells]
            cells[4][4] = '-10000.5'
            path = os.path.join(folder, 'below.asc')
            with open(self.grids['asc'][1]) as source, open(path, 'w') as stream:
                stream.write(''.join(source.readlines()[:6]) + '\n'.join(' '.join(row) for row in cells) + '\n')
            return self.grids['asc'][0], path, 0, os.path.join(folder, 'below_out.asc')

        def text_grid_nan():  # 13. a word GDAL reads as NaN and plotveil does not read
            folder = tempfile.mkdtemp(dir=self.work)
            path = os.path.join(folder, 'nan_word.asc')
            with open(self.grids['asc'][0]) as source, open(path, 'w') as stream:
                lines = source.readlines()
                words = lines[8].split()
                words[3] = 'nan'
                stream.write(''.join(lines[:8] + [' '.join(words) + '\n'] + lines[9:]))
            return path, self.grids['asc'][1], 1, 'nan_word_out.flt'

        def single_nan(skip=48):  # 13. a NaN cell in a single grid; a sidecar that skips no header
            folder = tempfile.mkdtemp(dir=self.work)
            path = os.path.join(folder, 'nan_cell.flt')
            cells = numpy.array(elevation, dtype='<f4')
            cells[2][3] = nan if skip else cells[2][3]
            with open(path, 'wb') as stream:
                numpy.array([12, 10, 452000, 236500, 25, -9999] + [0] * 6, dtype='<f4').tofile(stream)
                cells.tofile(stream)
            subprocess.run(['plotveil-hdr', path], check=True, stdout=subprocess.DEVNULL)
            with open(path[:-4] + '.hdr') as stream:
                header = re.sub(r'SKIPBYTES\s+48', 'SKIPBYTES {}'.format(skip), stream.read())
            with open(path[:-4] + '.hdr', 'w') as stream:
                stream.write(header)
            return path, self.grids['asc'][1], 0, 'nan_cell_out.asc'

        # (finding, the layers and output, the exception's words or None, a check of a run that succeeded)
        cases = (
            ('1 ENVI .hdr', envi, r'The output\'s dem\.hdr .* is a file of the grid layer "dem"', None),
            ('1 EHdr .hdr', ehdr, r'The output\'s a\.hdr .* is a file of the grid layer "a"', None),
            ('2 VRT source', vrt, r'The output .*victim\.asc is a file of the grid layer "victim"', None),
            ('3 mask .prj', prj, r'The output\'s mq\.prj .* is a file of the mask layer "mq"', None),
            ('4 cancel while converting', geotiffs, 'cancel', None),
            ('5 a failed step', damaged, r'GDAL cannot read the grid layer "short" \(.*short\.asc\)', None),
            ('6 rotated', rotated, r'The grid layer "rotated" is rotated .* north up', None),
            ('7 other coordinate systems', geographic,
             r'different coordinate systems: the grid layer "elevation_GTiff" EPSG:25832, the mask layer '
             r'"m4326" EPSG:4326', None),
            ('7 corners within a millionth of a cell', near_corner, None, 'near'),
            ('2 one 5 mm cell east at x = 5,000,000', one_cell_off,
             r'lower-left x \(xllcorner\) 5000000\.0, the mask layer "m" has 5000000\.005', None),
            ('6 south up', south_up, r'The grid layer "south_up" is not north up: its rows run south to north', None),
            ('1 a shapefile under the output\'s name', shapefile,
             r'roads\.dbf shares its name with the output .*roads\.asc: it is another dataset\'s', None),
            ('1 an ENVI image under the output\'s name', envi_scene, r'scene\.img shares its name', None),
            ('1 a .prj without its grid', lone_prj, r'lone\.prj shares its name', None),
            ('1 3 an earlier result replaced', earlier_result, None, 'earlier'),
            ('5 6 a full disk at the sidecar', sidecar_fails,
             r'^plotveil-hdr could not describe \S*full\.flt \(exit code 1\): plotveil-hdr: error writing '
             r'\S*/full\.hdr: No space', None),
            ('7 corners half a cell apart', far_corner,
             r'the grid layer "g" has lower-left x \(xllcorner\) 452000\.0, the mask layer "m" has 452012\.5', None),
            ('8 no no-data, byte mask', no_nodata_byte_mask, None, 'byte'),
            ('8 no-data 0 in the mask', zero_nodata_mask, None, 'zero'),
            ('9 NaN no-data', nan_float32, None, 'nan'),
            ('10 folder not writable', unwritable, r'The output folder .*a_file cannot be written: .*a_file is a '
             r'file, not a folder', None),
            ('10 binary output, no-data not -9999', no_nodata_byte_mask_single, r'needs the no-data value -9999', None),
            ('10 the same in a new folder', new_folders, r'needs the no-data value -9999', None),
            ('11 .prj a folder', prj_folder, r'out\.prj is a folder', None),
            ('11 .prj read-only', prj_read_only, r'out\.prj is read-only', None),
            ('12 odd names', odd_names, None, 'command'),
            ('13 a text mask with data below its no-data value', text_mask_below, None, 'rule'),
            ('13 a text grid with a nan word', text_grid_nan, None, 'rule'),
            ('13 a single grid with a NaN cell', single_nan, None, 'rule'),
            ('13 a .hdr that skips no header', lambda: single_nan(0), None, 'rule'),
        )
        for label, make, refused, check in cases:
            with self.subTest(label):
                # A fifth value False: no earlier result under the output's name.
                grid, mask, layout, name, *earlier = make()
                output = name if os.path.isabs(name) else os.path.join(os.path.dirname(grid), name)
                folders = {os.path.dirname(p) for p in (grid, mask, output) if os.path.isdir(os.path.dirname(p))}
                parents = [os.path.dirname(output), os.path.dirname(os.path.dirname(output))]
                existed = [os.path.isdir(p) for p in parents]
                if refused is not None and earlier != [False] and os.path.isdir(os.path.dirname(output)):
                    with open(output, 'ab'):
                        pass  # an earlier result, or an input itself
                before = {f: files_of(f) for f in folders}
                feedback = Recorder(cancel_at=25 if refused == 'cancel' else None)
                if refused == 'cancel':
                    result, _ = self.run_mask(grid, mask, layout, output, feedback)
                    self.assertEqual(result, {})
                    self.assertTrue(any('nothing was written' in line for line in feedback.log), feedback.log)
                elif refused is not None:
                    try:
                        with self.assertRaisesRegex(QgsProcessingException, refused) as raised:
                            self.run_mask(grid, mask, layout, output, feedback)
                    finally:
                        ProcessingConfig.setSettingValue('PLOTVEIL_FOLDER', '')
                    self.assertNotIn('.plotveil-', str(raised.exception), 'a temporary file named')
                if refused is not None:
                    self.assertEqual({f: files_of(f) for f in folders}, before, 'every file as it was')
                    self.assertEqual([os.path.isdir(p) for p in parents], existed, 'no folder made')
                    continue
                result, feedback = self.run_mask(grid, mask, layout, output, feedback)
                cells, nodata = self.cells_of(result['OUTPUT'])
                umask = os.umask(0o022)
                os.umask(umask)
                self.assertEqual(os.stat(result['OUTPUT']).st_mode & 0o777, 0o666 & ~umask)
                if check == 'earlier':
                    self.assertEqual(sorted(os.listdir(os.path.dirname(output))), ['again.flt', 'again.hdr', 'again.prj'])
                if check in ('near', 'earlier'):
                    self.assertEqual(nodata, -9999)
                    kept = [[m != -9999 for m in row] for row in mask_cells]
                elif check == 'byte':   # kept wherever the mask has data, 0 included
                    self.assertEqual(nodata, -99999)
                    self.assertTrue(any('-99999.0, which no cell of the grid holds' in line for line in feedback.log))
                    kept = [[m != 255 for m in row] for row in byte_mask]
                elif check == 'zero':
                    self.assertEqual(nodata, -9999)
                    kept = [[m == 1 for m in row] for row in zero_mask]
                elif check == 'nan':
                    self.assertEqual(nodata, -9999)
                    kept = [[mask_cells[r][c] != -9999 and elevation[r][c] != -9999 and (r, c) != (2, 3)
                             for c in range(12)] for r in range(10)]
                elif check == 'rule':   # on the cells GDAL reads from both layers
                    shown, shown_nodata = self.cells_of(grid)
                    kept = [[v == v and v != shown_nodata for v in row] for row in shown]
                    for m, row in zip(self.cells_of(mask)[0], kept):
                        row[:] = [k and m != -9999 for k, m in zip(row, m)]
                    self.assertEqual(nodata, -9999)
                    for r in range(10):
                        for c in range(12):
                            want = shown[r][c] if kept[r][c] else nodata
                            self.assertAlmostEqual(cells[r][c], want, places=3, msg='row {}, col {}'.format(r, c))
                    continue
                else:
                    arguments = shlex.split(feedback.command)
                    self.assertEqual(arguments[1], grid)
                    self.assertEqual(arguments[4], '-f:t')
                    self.assertIn('out $HOME', arguments[3])
                    self.assertTrue(os.path.exists(output))
                    continue
                self.assertEqual(sum(map(sum, kept)) > 0, True)
                for r in range(10):
                    for c in range(12):
                        want = elevation[r][c] if kept[r][c] else nodata
                        self.assertAlmostEqual(cells[r][c], want, places=3, msg='row {}, col {}'.format(r, c))

if __name__ == '__main__':
    unittest.main(verbosity=2)
