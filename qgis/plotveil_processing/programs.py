"""Where plotveil and plotveil-hdr are found."""

import os
import shutil

from processing.core.ProcessingConfig import ProcessingConfig

PLUGIN_FOLDER = os.path.dirname(os.path.abspath(__file__))
FOLDER_SETTING = 'PLOTVEIL_FOLDER'
SETTINGS_PLACE = 'Settings > Options > Processing > Providers > plotveil'


def find_program(name):
    """The path of plotveil's program `name` ('plotveil' or 'plotveil-hdr'),
    looked for in the folder set in Processing's options, then in the plugin's
    own folder, then on PATH; None when it is in none of them."""
    names = [name + '.exe', name] if os.name == 'nt' else [name]
    setting = (ProcessingConfig.getSetting(FOLDER_SETTING) or '').strip()
    if setting:
        # A path to the program itself is taken for its folder.
        folder = setting if os.path.isdir(setting) else os.path.dirname(setting)
        return _program_in(folder, names)
    return _program_in(PLUGIN_FOLDER, names) or shutil.which(name)


def _program_in(folder, names):
    for candidate in names:
        path = os.path.join(folder, candidate)
        if os.path.isfile(path) and os.access(path, os.X_OK):
            return path
    return None


def missing_program_message(name):
    setting = (ProcessingConfig.getSetting(FOLDER_SETTING) or '').strip()
    where = ('was not found in the folder set in {}: {}'.format(SETTINGS_PLACE, setting) if setting
             else 'was found neither in the plugin\'s folder ({}) nor on PATH'.format(PLUGIN_FOLDER))
    return '{} {}. Set the folder that holds plotveil and plotveil-hdr in {}.'.format(
        name, where, SETTINGS_PLACE)
