"""The algorithm's dialog: Processing's own, whose progress bar stays at 100
after a run that put its output in place (Processing's dialog empties it,
which reads as a run that did nothing)."""

from processing.gui.AlgorithmDialog import AlgorithmDialog


class MaskDialog(AlgorithmDialog):
    def finish(self, successful, result, context, feedback, in_place=False):
        super().finish(successful, result, context, feedback, in_place)
        if successful and result.get('OUTPUT'):   # a cancelled run gives no output
            self.setPercentage(100)
