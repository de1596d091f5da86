"""Times the QGIS plugin as a QGIS user meets it, in one QGIS process: the
plugin ("plotveil:mask"), QGIS's Raster Calculator ("qgis:rastercalculator")
and gdal_calc.py (where installed) on a generated Float32 GeoTIFF pair, and
the plugin and plotveil by hand on text grids of the same cells. Every round
runs each case once, in turn, so that all see the same state of the machine;
the table gives medians and minimums, the ratios within this run, the phases
of a plugin run and each case's peak memory. Run by bench/qgis.sh, which
builds the programs; see bench/README.md.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
parser.add_argument('folder', nargs='?', help='where the grids are written and kept (default: a temporary folder)')
parser.add_argument('--rows', type=int, default=4000)
parser.add_argument('--cols', type=int, default=4000)
parser.add_argument('--rounds', type=int, default=3)
parser.add_argument('--programs', default=os.path.join(ROOT, 'build-bench'),
                    help='folder of plotveil and plotveil-hdr (default build-bench/)')
parser.add_argument('--plugin', default=os.path.join(ROOT, 'qgis', 'plotveil_processing'),
                    help='the plugin folder to time (default this tree\'s)')
args = parser.parse_args()
if min(args.rows, args.cols, args.rounds) < 1:
    parser.error('--rows, --cols and --rounds take whole numbers from 1')
programs = os.path.abspath(args.programs)
for name in ('plotveil', 'plotveil-hdr'):
    if not os.access(os.path.join(programs, name), os.X_OK):
        parser.error('no runnable {} in {}'.format(name, programs))

os.environ.setdefault('QT_QPA_PLATFORM', 'offscreen')
plugins = tempfile.mkdtemp(prefix='plotveil_bench_plugins_')
shutil.copytree(args.plugin, os.path.join(plugins, 'plotveil_processing'))
sys.path[:0] = [plugins, '/usr/share/qgis/python/plugins']

import numpy  # noqa: E402
from osgeo import gdal  # noqa: E402
from qgis.core import QgsApplication, QgsProcessingContext, QgsProcessingFeedback, QgsRasterLayer  # noqa: E402

gdal.UseExceptions()
qgis_app = QgsApplication([], False)
qgis_app.initQgis()
from processing.core.Processing import Processing  # noqa: E402
Processing.initialize()
import processing  # noqa: E402
from processing.core.ProcessingConfig import ProcessingConfig  # noqa: E402
import qgis.utils  # noqa: E402

if not (qgis.utils.loadPlugin('plotveil_processing') and qgis.utils.startProcessingPlugin('plotveil_processing')):
    sys.exit('the plugin in {} did not load'.format(args.plugin))
folder_setting = ProcessingConfig.getSetting('PLOTVEIL_FOLDER')
ProcessingConfig.setSettingValue('PLOTVEIL_FOLDER', programs)

folder = os.path.abspath(args.folder) if args.folder else tempfile.mkdtemp(prefix='plotveil_bench_qgis_')
os.makedirs(folder, exist_ok=True)
rows, cols = args.rows, args.cols
say = lambda *words: print(*words, file=sys.stderr, flush=True)  # noqa: E731

# --- the grids ------------------------------------------------------------------------------
XLL, YLL, CELL = 480000.0, 5300000.0, 12.5   # exact in single precision, as plotveil's single grids need
BLOCK = 256


def cells(row, count, seed):
    """Rows of a DEM-like grid (three decimals; seed 1: about 10 % no data)
    or a mask (seed 2: about 30 % no data), the same on every machine."""
    r = numpy.arange(row, row + count, dtype=numpy.float64)[:, None]
    c = numpy.arange(cols, dtype=numpy.float64)[None, :]
    values = 400 + 300 * numpy.sin(r / 700) * numpy.cos(c / 900) + ((r * 7919 + c * 104729) % 1000) / 1000
    hash_ = (r * 2654435761 + c * 40503 * seed) % 997
    values[hash_ < (100 if seed == 1 else 300)] = -9999
    return values.astype(numpy.float32)


def generate():
    stamp = os.path.join(folder, '.made')
    made = '{} x {}'.format(rows, cols)
    if os.path.exists(stamp):
        with open(stamp) as stream:
            reuse = stream.read() == made
    if os.path.exists(stamp) and reuse:
        say('reusing the {} x {} grids in {}'.format(rows, cols, folder))
        return
    say('generating {} x {} grids in {}'.format(rows, cols, folder))
    srs = 'PROJCS["ETRS89 / UTM zone 32N",GEOGCS["ETRS89",DATUM["European_Terrestrial_Reference_System_1989",' \
          'SPHEROID["GRS 1980",6378137,298.257222101]],PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]],' \
          'PROJECTION["Transverse_Mercator"],PARAMETER["latitude_of_origin",0],PARAMETER["central_meridian",9],' \
          'PARAMETER["scale_factor",0.9996],PARAMETER["false_easting",500000],PARAMETER["false_northing",0],' \
          'UNIT["metre",1],AUTHORITY["EPSG","25832"]]'
    for name, seed in (('grid', 1), ('mask', 2)):
        tif = os.path.join(folder, name + '.tif')
        dataset = gdal.GetDriverByName('GTiff').Create(tif, cols, rows, 1, gdal.GDT_Float32)
        dataset.SetGeoTransform((XLL, CELL, 0, YLL + rows * CELL, 0, -CELL))
        dataset.SetProjection(srs)
        band = dataset.GetRasterBand(1)
        band.SetNoDataValue(-9999)
        header = numpy.array([cols, rows, XLL, YLL, CELL, -9999] + [0] * 6, dtype='<f4')
        with open(os.path.join(folder, name + '.flt'), 'wb') as single:
            header.tofile(single)
            for row in range(0, rows, BLOCK):
                block = cells(row, min(BLOCK, rows - row), seed)
                band.WriteArray(block, 0, row)
                block.astype('<f4').tofile(single)
        dataset = None
        # A text grid as GDAL writes one (AAIGrid): what plotveil reads as it is.
        gdal.Translate(os.path.join(folder, name + '.asc'), tif, format='AAIGrid')
    with open(stamp, 'w') as stream:
        stream.write(made)


# --- measuring --------------------------------------------------------------------------------
def rss_kib(field):
    with open('/proc/self/status') as stream:
        for line in stream:
            if line.startswith(field + ':'):
                return int(line.split()[1])
    return 0


def reset_peak():
    """Starts this process's peak resident size again from its present size."""
    try:
        with open('/proc/self/clear_refs', 'w') as stream:
            stream.write('5')
    except OSError:
        pass


class Phases:
    """Where a plugin run's time goes: reading cells (through GDAL, and the
    passes over the files plotveil reads as they are), plotveil, plotveil-hdr
    with the .prj and putting the files in place, and the rest (writing the
    grids for plotveil and everything else)."""

    def __init__(self):
        self.on = self.inside = False
        self.spent = {'read': 0.0, 'plotveil': 0.0, 'sidecars': 0.0}

    def wrap(self, owner, name, phase):
        original = getattr(owner, name, None)
        if original is None:
            return

        def timed(*a, **k):
            if not self.on or self.inside:   # a call within a timed one counts once
                return original(*a, **k)
            self.inside = True
            start = time.perf_counter()
            try:
                return original(*a, **k)
            finally:
                self.spent[phase] += time.perf_counter() - start
                self.inside = False
        setattr(owner, name, timed)

    def install(self):
        self.wrap(gdal.Band, 'ReadAsArray', 'read')
        self.wrap(gdal.Band, 'ReadRaster', 'read')
        self.wrap(numpy, 'fromfile', 'read')
        for name, module in list(sys.modules.items()):
            if not name.startswith('plotveil_processing.'):
                continue
            self.wrap(module, 'run_plotveil', 'plotveil')
            self.wrap(module, 'binary_cells_plain', 'read')
            self.wrap(module, 'text_mask_plain', 'read')
            self.wrap(module, 'run_quietly', 'sidecars')
        from plotveil_processing import mask_algorithm, output_files
        self.wrap(mask_algorithm.MaskAlgorithm, '_write_projection', 'sidecars')
        self.wrap(output_files.OutputFiles, 'commit', 'sidecars')


phases = Phases()


def run_in_qgis(algorithm, parameters, plugin=False):
    reset_peak()
    before = rss_kib('VmRSS')
    phases.spent = dict.fromkeys(phases.spent, 0.0)
    phases.on = plugin
    start = time.perf_counter()
    try:
        processing.run(algorithm, parameters, feedback=QgsProcessingFeedback(), context=QgsProcessingContext())
    finally:
        phases.on = False
    elapsed = time.perf_counter() - start
    spent = dict(phases.spent) if plugin else None
    return elapsed, (rss_kib('VmHWM') - before) / 1024, spent


def run_program(arguments):
    """Runs a program; its time and its own peak resident size, which
    /usr/bin/time takes (a child forked straight from QGIS would count
    QGIS's pages as its own)."""
    report = os.path.join(folder, '.peak')
    timed = ['/usr/bin/time', '-f', '%M', '-o', report] if os.access('/usr/bin/time', os.X_OK) else []
    start = time.perf_counter()
    code = subprocess.call(timed + arguments, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,  # nosec B603
                           stderr=subprocess.STDOUT)
    elapsed = time.perf_counter() - start
    if code != 0:
        raise RuntimeError('{} ended with {}'.format(arguments, code))
    peak = float('nan')
    if timed:
        with open(report) as stream:
            peak = int(stream.read().split()[-1]) / 1024
    return elapsed, peak, None


def main():
    generate()
    path = lambda name: os.path.join(folder, name)  # noqa: E731
    grid, mask = QgsRasterLayer(path('grid.tif'), 'grid'), QgsRasterLayer(path('mask.tif'), 'mask')
    text_grid, text_mask = QgsRasterLayer(path('grid.asc'), 'grid_asc'), QgsRasterLayer(path('mask.asc'), 'mask_asc')
    plotveil = os.path.join(programs, 'plotveil')
    gdal_calc = shutil.which('gdal_calc.py') or shutil.which('gdal_calc')
    cases = [
        ('plugin .tif -> .flt', lambda: run_in_qgis('plotveil:mask', {
            'GRID': grid, 'MASK': mask, 'FORMAT': 1, 'OUTPUT': path('plugin_tif.flt')}, plugin=True)),
        ('qgis:rastercalculator', lambda: run_in_qgis('qgis:rastercalculator', {
            'EXPRESSION': '"grid@1" + 0 * "mask@1"', 'LAYERS': [grid, mask], 'CELLSIZE': 0, 'EXTENT': None,
            'CRS': None, 'OUTPUT': path('calculator.tif')})),
    ]
    if gdal_calc:
        cases.append(('gdal_calc.py', lambda: run_program([
            gdal_calc, '-A', path('grid.tif'), '-B', path('mask.tif'), '--outfile', path('gdal_calc.tif'),
            '--calc=A+0*B', '--NoDataValue=-9999', '--type=Float32', '--overwrite', '--quiet'])))
    cases += [
        ('plotveil .flt by hand', lambda: run_program([
            plotveil, path('grid.flt'), path('mask.flt'), path('by_hand.flt'), '-f:s'])),
        ('plugin .asc -> .asc', lambda: run_in_qgis('plotveil:mask', {
            'GRID': text_grid, 'MASK': text_mask, 'FORMAT': 0, 'OUTPUT': path('plugin_asc.asc')}, plugin=True)),
        ('plotveil .asc by hand', lambda: run_program([
            plotveil, path('grid.asc'), path('mask.asc'), path('by_hand.asc')])),
    ]
    phases.install()
    times = {label: [] for label, _ in cases}
    peaks = {label: [] for label, _ in cases}
    spent = {label: [] for label, _ in cases}
    for round_ in range(args.rounds + 1):   # round 0 warms the caches and is not counted
        # Each round starts one case later, so that no case always follows the same one.
        for label, run in cases[round_ % len(cases):] + cases[:round_ % len(cases)]:
            say('round {} of {}: {}'.format(round_, args.rounds, label))
            elapsed, peak, phase = run()
            if round_:
                times[label].append(elapsed)
                peaks[label].append(max(peak, 0.0))
                if phase is not None:
                    phase['rest'] = elapsed - sum(phase.values())
                    spent[label].append(phase)

    print('QGIS {}, GDAL {}, {} x {} Float32 cells, {} rounds, {} cores, plugin {}'.format(
        qgis.core.Qgis.QGIS_VERSION, gdal.__version__, rows, cols, args.rounds, os.cpu_count(), args.plugin))
    print()
    print('{:<24} {:>9} {:>9} {:>10}'.format('case', 'median s', 'min s', 'peak MiB'))
    for label, _ in cases:
        print('{:<24} {:>9.3f} {:>9.3f} {:>10.1f}'.format(
            label, statistics.median(times[label]), min(times[label]), max(peaks[label])))
    print('peak MiB: in QGIS, the most its resident memory rose over a run; for a program, its own peak')
    print()
    median = {label: statistics.median(times[label]) for label in times}
    tif, calc = median['plugin .tif -> .flt'], median['qgis:rastercalculator']
    print('plugin .tif -> .flt: {:.2f} x the Raster Calculator\'s time'.format(tif / calc))
    if gdal_calc:
        print('plugin .tif -> .flt: {:.2f} x gdal_calc.py\'s time'.format(tif / median['gdal_calc.py']))
    print('plugin .asc -> .asc: {:+.3f} s beyond plotveil by hand'.format(
        median['plugin .asc -> .asc'] - median['plotveil .asc by hand']))
    own = statistics.median(p['read'] + p['rest'] + p['sidecars'] for p in spent['plugin .asc -> .asc'])
    print('plugin .asc -> .asc: {:.3f} s of its own beside its plotveil run (medians of the runs)'.format(own))
    for label in ('plugin .tif -> .flt', 'plugin .asc -> .asc'):
        medians = {k: statistics.median(p[k] for p in spent[label]) for k in spent[label][0]}
        print('{} phases (medians): read {:.3f} s, write and the rest {:.3f} s, plotveil {:.3f} s, '
              'sidecars {:.3f} s'.format(label, medians['read'], medians['rest'], medians['plotveil'],
                                         medians['sidecars']))
    print()
    checks = []

    def same_bytes(a, b, what):
        with open(path(a), 'rb') as x, open(path(b), 'rb') as y:
            checks.append('{}: {}'.format(what, 'identical' if x.read() == y.read() else 'DIFFERENT'))

    def band(name):
        dataset = gdal.Open(path(name))
        b = dataset.GetRasterBand(1)
        return b.ReadAsArray().astype(numpy.float32), b.GetNoDataValue()

    same_bytes('plugin_tif.flt', 'by_hand.flt', 'the plugin\'s .flt and plotveil\'s by hand')
    same_bytes('plugin_asc.asc', 'by_hand.asc', 'the plugin\'s .asc and plotveil\'s by hand')
    ours, our_nodata = band('plugin_tif.flt')
    if gdal_calc:
        theirs, their_nodata = band('gdal_calc.tif')
        same = our_nodata == their_nodata and numpy.array_equal(ours.view(numpy.uint32), theirs.view(numpy.uint32))
        checks.append('the plugin\'s cells and gdal_calc.py\'s: {}'.format('identical' if same else 'DIFFERENT'))
    theirs, their_nodata = band('calculator.tif')
    same = numpy.array_equal(ours == our_nodata, theirs == their_nodata) and numpy.array_equal(
        ours[ours != our_nodata].view(numpy.uint32), theirs[theirs != their_nodata].view(numpy.uint32))
    checks.append('the plugin\'s data cells and the Raster Calculator\'s: {}'.format(
        'identical' if same else 'DIFFERENT'))
    print('\n'.join(checks))
    return 1 if any('DIFFERENT' in line for line in checks) else 0


try:
    status = main()
finally:
    ProcessingConfig.setSettingValue('PLOTVEIL_FOLDER', folder_setting or '')
    shutil.rmtree(plugins, ignore_errors=True)
    if not args.folder:
        shutil.rmtree(folder, ignore_errors=True)
sys.exit(status)
