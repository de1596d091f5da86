"""The plotveil provider: its algorithm, its setting, and where its programs are found."""

import os
import shutil

from qgis.core import QgsProcessingProvider
from qgis.PyQt.QtGui import QIcon

from processing.core.ProcessingConfig import ProcessingConfig, Setting

from .mask_algorithm import MaskAlgorithm

PLUGIN_FOLDER = os.path.dirname(os.path.abspath(__file__))
FOLDER_SETTING = 'PLOTVEIL_FOLDER'
SETTINGS_PLACE = 'Settings > Options > Processing > Providers > plotveil'


class PlotveilProvider(QgsProcessingProvider):
    def load(self):
        ProcessingConfig.settingIcons[self.name()] = self.icon()
        ProcessingConfig.addSetting(Setting(
            self.name(), FOLDER_SETTING,
            'Folder of plotveil and plotveil-hdr (empty: the plugin folder, then PATH)',
            '', valuetype=Setting.FOLDER))
        ProcessingConfig.readSettings()
        self.refreshAlgorithms()
        return True

    def unload(self):
        ProcessingConfig.removeSetting(FOLDER_SETTING)

    def loadAlgorithms(self):  # noqa: N802
        self.addAlgorithm(MaskAlgorithm())

    def id(self):
        return 'plotveil'

    def name(self):
        return 'plotveil'

    def longName(self):  # noqa: N802
        return 'plotveil'

    def icon(self):
        return QIcon(os.path.join(PLUGIN_FOLDER, 'icon.svg'))

    def svgIconPath(self):  # noqa: N802
        return os.path.join(PLUGIN_FOLDER, 'icon.svg')

    def supportedOutputRasterLayerExtensions(self):  # noqa: N802
        return ['asc', 'flt', 'dbl']

    def defaultRasterFileExtension(self):  # noqa: N802
        return 'asc'

    def supportsNonFileBasedOutput(self):  # noqa: N802
        return False


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
    where = ('in the folder set in {}: {}'.format(SETTINGS_PLACE, setting) if setting
             else 'in the plugin folder ({}) nor on PATH'.format(PLUGIN_FOLDER))
    return ('{} was not found {}. Set the folder that holds plotveil and plotveil-hdr '
            'in {}.'.format(name, where, SETTINGS_PLACE))
