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
PLUGINS = tempfile.mkdtemp(prefix='plotveil_qgis_plugins_')
atexit.register(shutil.rmtree, PLUGINS, True)
if os.environ.get('PLOTVEIL_QGIS_ZIP'):
    with zipfile.ZipFile(os.environ['PLOTVEIL_QGIS_ZIP']) as plugin_zip:
        plugin_zip.extractall(PLUGINS)
else:
    shutil.copytree(os.path.join(ROOT, 'qgis', 'plotveil_processing'),
                    os.path.join(PLUGINS, 'plotveil_processing'))
sys.path[:0] = [PLUGINS, '/usr/share/qgis/python/plugins']

from osgeo import gdal  # noqa: E402
from qgis.core import (QgsApplication, QgsProcessingContext, QgsProcessingException,  # noqa: E402
                       QgsProcessingFeedback, QgsProject, QgsRasterLayer)

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


class ProcessingProviderTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # As qgis_process starts a plugin: classFactory(None), then initProcessing().
        if not (qgis.utils.loadPlugin('plotveil_processing')
                and qgis.utils.startProcessingPlugin('plotveil_processing')):
            raise RuntimeError('the plugin did not load')
        cls.plugin = qgis.utils.plugins['plotveil_processing']
        # The programs come from PATH here; a folder set in this machine's QGIS
        # settings is put back afterwards.
        cls.folder_setting = ProcessingConfig.getSetting('PLOTVEIL_FOLDER')
        ProcessingConfig.setSettingValue('PLOTVEIL_FOLDER', '')
        cls.work = tempfile.mkdtemp(prefix='plotveil_qgis_test_')
        cls.grids = {'asc': (os.path.join(ROOT, 'examples', 'elevation.asc'),
                             os.path.join(ROOT, 'examples', 'mask.asc'))}
        # GeoTIFF copies holding every value as the double the text grid holds,
        # and a coordinate system, which the output takes on.
        gdal.SetConfigOption('AAIGRID_DATATYPE', 'Float64')
        cls.grids['tif'] = tuple(cls.copy(path, 'GTiff', '.tif', outputSRS='EPSG:25832')
                                 for path in cls.grids['asc'])
        gdal.SetConfigOption('AAIGRID_DATATYPE', None)
        # Upper-case headers, which plotveil does not recognise.
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

    @staticmethod
    def plotveil(grid, mask, output, layout):
        subprocess.run(['plotveil', grid, mask, output, FLAGS[layout]], check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        ProcessingConfig.setSettingValue('PLOTVEIL_FOLDER', cls.folder_setting or '')
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
        try:
            for setting, in_plugin, found in cases:
                with self.subTest(setting=setting, in_plugin=in_plugin):
                    ProcessingConfig.setSettingValue('PLOTVEIL_FOLDER', setting)
                    if in_plugin:
                        shutil.copy(on_path, beside)
                    elif os.path.exists(beside):
                        os.remove(beside)
                    self.assertEqual(find_program('plotveil'), found)
        finally:
            ProcessingConfig.setSettingValue('PLOTVEIL_FOLDER', '')
            if os.path.exists(beside):
                os.remove(beside)

    def test_mask_gives_what_plotveil_gives(self):
        # (grid's form, mask's form, the pair plotveil is given by hand, how many
        # of the two plotveil reads as they are): the others are written as text
        # grids first, every value unchanged.
        cases = (('asc', 'asc', 'asc', 2), ('ASC', 'ASC', 'asc', 0), ('tif', 'tif', 'asc', 0),
                 ('asc', 'tif', 'asc', 1), ('flt', 'flt', 'flt', 2), ('dbl', 'dbl', 'dbl', 2))
        for grid_form, mask_form, reference, direct in cases:
            for layout in range(3):
                with self.subTest(grid=grid_form, mask=mask_form, format=FLAGS[layout]):
                    expected = os.path.join(self.work, 'by_hand.' + EXTENSIONS[layout])
                    self.plotveil(*self.grids[reference], expected, layout)
                    # The temporary output's extension follows the format.
                    result, feedback = self.run_mask(self.grids[grid_form][0], self.grids[mask_form][1],
                                                     layout, 'out_{}_{}.tif'.format(grid_form, mask_form))
                    output = result['OUTPUT']
                    self.assertTrue(output.endswith('.' + EXTENSIONS[layout]), output)
                    with open(output, 'rb') as got, open(expected, 'rb') as want:
                        self.assertEqual(got.read(), want.read())
                    self.assertEqual(feedback.progress[-1], 100)
                    self.assertEqual(feedback.progress, sorted(feedback.progress))
                    self.assertEqual(direct, sum('as it is' in line for line in feedback.log))
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
            'GRID': self.grids['tif'][0], 'MASK': self.grids['asc'][1], 'FORMAT': 2,
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
            ('grids differ', short, '', r'exit code 2: 1\. Parameter \(12\.000000\) in .* stimmt nicht'),
            ('no program', self.grids['asc'][1], self.work,
             r'plotveil was not found in the folder set in Settings > Options > Processing > Providers > plotveil'),
        )
        for label, mask, folder, message in cases:
            with self.subTest(label):
                ProcessingConfig.setSettingValue('PLOTVEIL_FOLDER', folder)
                try:
                    with self.assertRaisesRegex(QgsProcessingException, message):
                        self.run_mask(self.grids['asc'][0], mask, 0, 'failed.asc')
                finally:
                    ProcessingConfig.setSettingValue('PLOTVEIL_FOLDER', '')

    def test_cancel_stops_plotveil_and_removes_the_output(self):
        big = os.path.join(self.work, 'big.asc')
        # Long enough that plotveil is still at work when its first dots arrive.
        rows, cols = 10000, 1000
        with open(big, 'w') as stream:
            stream.write('ncols {}\nnrows {}\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -9999\n'
                         .format(cols, rows))
            stream.write(('1 ' * cols + '\n') * rows)
        for layout in range(3):
            with self.subTest(format=FLAGS[layout]):
                feedback = Recorder(cancel_at=0)
                result, _ = self.run_mask(big, big, layout, 'cancelled.' + EXTENSIONS[layout], feedback)
                self.assertEqual(result, {})
                self.assertLess(max(feedback.progress), 100)
                self.assertFalse(os.path.exists(os.path.join(self.work, 'cancelled.' + EXTENSIONS[layout])))


if __name__ == '__main__':
    unittest.main(verbosity=2)
