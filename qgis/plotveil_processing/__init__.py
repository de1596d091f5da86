"""plotveil in QGIS's Processing toolbox: masks one raster layer with another."""


def classFactory(iface):  # noqa: N802 (the name QGIS looks for)
    from .plugin import PlotveilPlugin
    return PlotveilPlugin(iface)
