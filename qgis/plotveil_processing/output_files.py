"""The files of one output: what they will be named, that none of them is an
input's, and how they are written beside their names and put in place only
when everything succeeded, so that an earlier result survives anything else."""

import os
import secrets
import stat
import tempfile

from qgis.core import QgsProcessingException

from .translation import tr


def _same(a, b):
    if os.path.exists(a) and os.path.exists(b):
        try:
            return os.path.samefile(a, b)
        except OSError:
            pass
    return os.path.normcase(os.path.realpath(a)) == os.path.normcase(os.path.realpath(b))


def _create_new(folder, prefix, suffix):
    """Creates an empty file of a new name in `folder` with the permissions
    any new file gets there (mode 0666 less the umask), which plotveil's
    output keeps when it writes over it; returns its path."""
    for _ in range(100):
        path = os.path.join(folder, prefix + secrets.token_hex(4) + suffix)
        try:
            os.close(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, 'O_BINARY', 0), 0o666))
            return path
        except FileExistsError:
            continue
    raise FileExistsError(17, 'no free temporary name', folder)


class OutputFiles:
    """The grid, and for every format its .prj, for single and double grids
    its .hdr: each written under a temporary name in the output's folder."""

    def __init__(self, grid, extension):
        self.grid = grid
        self.base = os.path.splitext(grid)[0]
        self.extension = extension
        self.finals = [grid, self.base + '.prj'] + ([self.base + '.hdr'] if extension != 'asc' else [])
        self.temporary = {}
        self.created_folder = None   # the first folder this run made for the output
        self.committed = False

    def refuse_inputs(self, layers):
        """Refuses an output whose files would be any file of an input layer."""
        for layer in layers:
            for owned in layer.files():
                for final in self.finals:
                    if _same(final, owned):
                        what = tr('The output') if final == self.grid else tr('The output\'s {}').format(
                            os.path.basename(final))
                        raise QgsProcessingException(
                            tr('{} {} is a file of {} ({}): plotveil would replace it. Choose another '
                               'output name.').format(what, final, layer, owned))

    def refuse_others(self):
        """Refuses an output whose base name another dataset uses in the
        output's folder: its .prj or .hdr would be replaced (roads.shp and
        roads.prj beside roads.asc, scene.img and scene.hdr beside
        scene.flt). The output's own set is the grid and, beside an existing
        grid, its .hdr, .prj and .stx (GDAL's statistics of an ESRI grid);
        a .hdr or .prj of the output's name without the grid is another
        dataset's."""
        folder = os.path.dirname(self.grid) or '.'
        try:
            names = os.listdir(folder)
        except OSError:
            return   # a folder still to be made holds nothing
        stem = os.path.normcase(os.path.basename(self.base))
        own = {os.path.normcase(os.path.basename(self.grid))}
        if os.path.lexists(self.grid):
            own |= {stem + extension for extension in ('.hdr', '.prj', '.stx')}
        # The other dataset's own file named first: scene.img before its scene.hdr.
        for name in sorted(names, key=lambda n: (os.path.splitext(n)[1].lower() in ('.hdr', '.prj', '.stx'), n)):
            if (os.path.normcase(os.path.splitext(name)[0]) == stem and os.path.normcase(name) not in own
                    and not os.path.isdir(os.path.join(folder, name))):   # a folder (roads.gdb) keeps its files inside
                raise QgsProcessingException(
                    tr('{} shares its name with the output {}: it is another dataset\'s file, whose .prj or '
                       '.hdr the output\'s would replace. Choose another output name.').format(
                        os.path.join(folder, name), self.grid))

    def refuse_unwritable(self):
        """Refuses, before anything runs, a folder that cannot be written and
        names that cannot be replaced, with the system's reason."""
        folder = os.path.dirname(self.grid) or '.'
        existing = folder
        while existing and not os.path.exists(existing) and os.path.dirname(existing) != existing:
            existing = os.path.dirname(existing)
        if existing and os.path.exists(existing) and not os.path.isdir(existing):
            raise QgsProcessingException('The output folder {} cannot be written: {} is a file, not a folder.'
                                         .format(folder, existing))
        missing = os.path.abspath(folder)
        while not os.path.exists(os.path.dirname(missing)) and os.path.dirname(missing) != missing:
            missing = os.path.dirname(missing)
        try:
            if not os.path.exists(missing):
                self.created_folder = missing
            os.makedirs(folder, exist_ok=True)
            handle, probe = tempfile.mkstemp(prefix='.plotveil-probe-', dir=folder)
            os.close(handle)
            os.remove(probe)
        except OSError as e:
            raise QgsProcessingException(tr('The output folder {} cannot be written: {}').format(folder, e.strerror or e))
        for final in self.finals:
            if os.path.isdir(final):
                raise QgsProcessingException(tr('{} is a folder: plotveil cannot write its output there. '
                                                'Choose another output name.').format(final))
            if os.path.lexists(final) and not os.stat(final).st_mode & stat.S_IWUSR:
                raise QgsProcessingException(tr('{} is read-only: plotveil would replace it. Make it writable '
                                                'or choose another output name.').format(final))

    def make_temporary(self):
        """Names the temporary grid (created empty) in the output's folder;
        its sidecars take its name with their own extensions."""
        folder = os.path.dirname(self.grid) or '.'
        # A short stem: the name with its temporary part must still fit where the output's fits.
        stem = os.path.basename(self.base)[:32]
        try:
            grid = _create_new(folder, '.{}.plotveil-'.format(stem), '.' + self.extension)
        except OSError as e:
            raise QgsProcessingException(tr('Could not create a file beside the output {}: {}').format(
                self.grid, e.strerror or e))
        base = os.path.splitext(grid)[0]
        self.temporary = {self.grid: grid, self.base + '.prj': base + '.prj', self.base + '.hdr': base + '.hdr'}
        return grid

    def temporary_for(self, final):
        return self.temporary[final]

    def commit(self, has_projection):
        """Moves the temporary files over their names, sidecars first; a .prj
        of an earlier output goes when the grid has no coordinate system, and
        the statistics GIS programs kept of an earlier output go with it."""
        try:
            for final in self.finals[1:] + [self.grid]:
                temporary = self.temporary[final]
                if os.path.exists(temporary):
                    os.replace(temporary, final)
                elif final.endswith('.prj') and not has_projection and os.path.lexists(final):
                    os.remove(final)
            for stale in (self.grid + '.aux.xml', self.base + '.stx'):
                if os.path.isfile(stale):
                    os.remove(stale)
            self.committed = True
        except OSError as e:
            raise QgsProcessingException(tr('Could not put the output {} in place: {}').format(
                self.grid, e.strerror or 'error {}'.format(e.errno)))
        finally:
            self.discard()

    def discard(self):
        """Removes whatever temporary files are left, and the folders made
        for an output that was not put in place."""
        for temporary in self.temporary.values():
            try:
                if os.path.lexists(temporary):
                    os.remove(temporary)
            except OSError:
                pass
        if self.created_folder and not self.committed:
            folder = os.path.abspath(os.path.dirname(self.grid) or '.')
            while True:
                try:
                    os.rmdir(folder)   # empty folders only
                except OSError:
                    break
                if folder == self.created_folder or os.path.dirname(folder) == folder:
                    break
                folder = os.path.dirname(folder)
