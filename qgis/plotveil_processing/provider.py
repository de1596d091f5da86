"""The plotveil provider: its algorithm and the setting of its programs' folder."""

import os

from qgis.core import QgsProcessingProvider
from qgis.PyQt.QtGui import QIcon

from processing.core.ProcessingConfig import ProcessingConfig, Setting

from .mask_algorithm import MaskAlgorithm
from .programs import FOLDER_SETTING, PLUGIN_FOLDER
from .translation import tr


class PlotveilProvider(QgsProcessingProvider):
    def load(self):
        ProcessingConfig.settingIcons[self.name()] = self.icon()
        ProcessingConfig.addSetting(Setting(
            self.name(), FOLDER_SETTING,
            tr('Folder of plotveil and plotveil-hdr (empty: the plugin folder, PATH, then where the quick starts '
               'install)'),
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

