"""The plugin QGIS loads: it registers the plotveil provider and nothing else."""

from qgis.core import QgsApplication

from .provider import PlotveilProvider


class PlotveilPlugin:
    def __init__(self, iface):
        # The provider needs no interface: qgis_process and headless runs pass None.
        self.iface = iface
        self.provider = None

    def initProcessing(self):  # noqa: N802
        if self.provider is None:
            self.provider = PlotveilProvider()
            QgsApplication.processingRegistry().addProvider(self.provider)

    def initGui(self):  # noqa: N802
        self.initProcessing()

    def unload(self):
        if self.provider is not None:
            QgsApplication.processingRegistry().removeProvider(self.provider)
            self.provider = None
