"""Where plotveil and plotveil-hdr are found."""

import glob
import os

from processing.core.ProcessingConfig import ProcessingConfig

from .translation import tr

PLUGIN_FOLDER = os.path.dirname(os.path.abspath(__file__))
FOLDER_SETTING = 'PLOTVEIL_FOLDER'
SETTINGS_PLACE = 'Settings > Options > Processing > Providers > plotveil'


# Where the release's quick starts put the programs, as the help and messages name them.
INSTALL_PLACES_SHOWN = (['C:\\Tools\\plotveil-<version>-win64'] if os.name == 'nt'
                        else ['~/.local/bin', '/usr/bin'])


def _install_places():
    """The folders the quick starts install to: a QGIS started from the
    desktop does not see the PATH set in a shell's startup file."""
    if os.name == 'nt':
        # Unzipped to C:\Tools, the example place: this plugin's version first, then the newest.
        version = _plugin_version()
        found = sorted(glob.glob('C:\\Tools\\plotveil-*-win64'), reverse=True)
        own = 'C:\\Tools\\plotveil-{}-win64'.format(version)
        return [own] + [f for f in found if f != own]
    return [os.path.expanduser('~/.local/bin'), '/usr/bin']


def _plugin_version():
    try:
        with open(os.path.join(PLUGIN_FOLDER, 'metadata.txt'), encoding='utf-8') as stream:
            for line in stream:
                if line.startswith('version='):
                    return line.split('=', 1)[1].strip()
    except OSError:
        pass
    return ''


def _names(name):
    return [name + '.exe', name] if os.name == 'nt' else [name]


def _folders():
    """The folders searched, in order: the one set in Processing's options
    alone when set (a path to the program itself counts as its folder), else
    the plugin's own folder, then PATH, then where the quick starts install."""
    setting = (ProcessingConfig.getSetting(FOLDER_SETTING) or '').strip()
    if setting:
        return [setting if os.path.isdir(setting) else os.path.dirname(setting)]
    return ([PLUGIN_FOLDER] + [p for p in os.environ.get('PATH', '').split(os.pathsep) if p]
            + _install_places())


def locate_program(name):
    """(path, None) for the first runnable program `name` ('plotveil' or
    'plotveil-hdr'); (None, the first file of that name that cannot be
    executed) when only such files exist; (None, None) when there is none."""
    unusable = None
    for folder in _folders():
        for candidate in _names(name):
            path = os.path.join(folder, candidate)
            if not os.path.isfile(path):
                continue
            if os.access(path, os.X_OK):
                return path, None
            unusable = unusable or path
    return None, unusable


def find_program(name):
    """The path of the runnable program `name`, or None."""
    return locate_program(name)[0]


def missing_program_message(name, unusable=None):
    if unusable is not None:
        return tr('{} exists at {} but cannot be executed: make it executable (chmod +x), '
                  'or set the folder that holds runnable plotveil and plotveil-hdr in {}.').format(
                      name, unusable, SETTINGS_PLACE)
    setting = (ProcessingConfig.getSetting(FOLDER_SETTING) or '').strip()
    where = (tr('was not found in the folder set in {}: {}').format(SETTINGS_PLACE, setting) if setting
             else tr('was found neither in the plugin\'s folder ({}) nor on PATH nor in {}').format(
                 PLUGIN_FOLDER, tr(' or ').join(INSTALL_PLACES_SHOWN)))
    return tr('{} {}. Set the folder that holds plotveil and plotveil-hdr in {}.').format(
        name, where, SETTINGS_PLACE)
