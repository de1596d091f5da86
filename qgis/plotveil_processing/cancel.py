"""Cancel: the steps of a run check for it between blocks and stop with
Cancelled, which the algorithm turns into a run that wrote nothing."""


class Cancelled(Exception):
    """The user pressed Cancel."""


def check_cancel(feedback):
    if feedback.isCanceled():
        raise Cancelled()
