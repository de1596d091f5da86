"""What the user reads passes through tr(), so that a translation loaded
into QGIS can replace it: one context, 'plotveil', for the whole plugin."""

from qgis.PyQt.QtCore import QCoreApplication


def tr(text):
    return QCoreApplication.translate('plotveil', text)
