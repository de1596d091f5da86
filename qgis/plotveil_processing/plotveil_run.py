"""Runs plotveil and turns its dots, one per finished row, into progress;
says what a failure means in the user's terms."""

import os
import queue
import re
import shlex
import subprocess  # nosec B404: the plugin's purpose is to run plotveil, with argument lists, never a shell
import threading

from qgis.core import QgsProcessingException

from .translation import tr


def run_plotveil(arguments, rows, feedback):
    """Runs `arguments` with no standard input, so that plotveil never waits
    at its prompt for another output name. Returns (exit code, text printed
    after the dots); the exit code is None when the run was cancelled, in
    which case plotveil has ended."""
    try:
        process, chunks = _start(arguments)
    except OSError as e:
        raise QgsProcessingException(tr('Could not start {}: {}').format(arguments[0], e))
    dots, after = 0, bytearray()
    try:
        while True:
            try:
                chunk = chunks.get(timeout=0.1)
            except queue.Empty:
                chunk = b''
            if chunk is None:
                break
            if not after:
                head = chunk.lstrip(b'.')
                dots += len(chunk) - len(head)
                chunk = head
                feedback.setProgress(100.0 * min(dots, rows) / rows if rows > 0 else 0.0)
            after += chunk
            if feedback.isCanceled():
                process.kill()
                process.wait()
                return None, ''
        code = process.wait()
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    if code == 0:
        feedback.setProgress(100.0)
    # A terminal ends lines in CR LF, and plotveil's prompt lines end in CR LF of their own.
    text = after.decode('utf-8', 'replace').replace('\r', '')
    return code, text.strip()


def _start(arguments):
    """Starts the program with its output in a queue of byte chunks that ends
    with None. On POSIX systems its output is a pseudo-terminal: plotveil then
    shows every dot as its row is done, where through a pipe its dots would
    arrive in blocks of thousands."""
    chunks = queue.Queue()
    if os.name == 'posix':
        import pty
        reader, writer = pty.openpty()
        try:
            process = subprocess.Popen(arguments, stdin=subprocess.DEVNULL, stdout=writer,  # nosec B603
                                       stderr=writer, close_fds=True)
        except OSError:
            os.close(reader)
            raise
        finally:
            os.close(writer)

        def read():
            try:
                return os.read(reader, 65536)
            except OSError:  # the terminal's other end closed: plotveil ended
                return b''
        finish = lambda: os.close(reader)  # noqa: E731
    else:
        process = subprocess.Popen(arguments, stdin=subprocess.DEVNULL,  # nosec B603: an argument list
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                   creationflags=getattr(subprocess, 'CREATE_NO_WINDOW', 0))
        read = lambda: process.stdout.read1(65536)  # noqa: E731
        finish = process.stdout.close

    def pump():
        try:
            while True:
                chunk = read()
                if not chunk:
                    break
                chunks.put(chunk)
        finally:
            finish()
            chunks.put(None)

    threading.Thread(target=pump, daemon=True).start()
    return process, chunks


def run_quietly(arguments):
    """Runs a helper program to its end; returns (exit code, what it printed)."""
    try:
        result = subprocess.run(arguments, stdin=subprocess.DEVNULL,  # nosec B603: an argument list
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                creationflags=getattr(subprocess, 'CREATE_NO_WINDOW', 0))
    except OSError as e:
        raise QgsProcessingException(tr('Could not start {}: {}').format(arguments[0], e))
    return result.returncode, result.stdout.decode('utf-8', 'replace').replace('\r', '').strip()


def shell_command(arguments):
    """The command as the platform's shell takes it, to paste and run by hand."""
    if os.name == 'nt':
        return subprocess.list2cmdline(arguments)
    return ' '.join(shlex.quote(a) for a in arguments)


def failure_reason(code, message, names):
    """What plotveil's exit code and message mean, with its file names
    replaced by what the user knows them as (`names`: file -> description)."""
    def known(path):
        return names.get(path, path)

    mismatch = re.search(r'(\d)\. Parameter \((.*)\) in (.*) stimmt nicht\n mit dem in (.*) ueberein \((.*)\)',
                         message)
    if mismatch:
        index = int(mismatch.group(1))
        fields = (tr('number of columns (ncols)'), tr('number of rows (nrows)'), tr('lower-left x (xllcorner)'),
                  tr('lower-left y (yllcorner)'), tr('cell size (cellsize)'), tr('no-data value (nodata_value)'))
        field = fields[index - 1] if 1 <= index <= 6 else tr('header value {}').format(index)
        return tr('the layers differ in their {}: {} in {}, {} in {}').format(
            field, mismatch.group(2), known(mismatch.group(3)), mismatch.group(5), known(mismatch.group(4)))
    short = re.search(r'error reading from (.*) in row (\d+) \((\d+) values read\)', message)
    if short:
        return tr('{} ends early or holds a cell that is no number in row {}').format(
            known(short.group(1)), short.group(2))
    for pattern, text in ((r'error reading fiel header from (.*)', tr('the header of {} cannot be read')),
                          (r'could not open input file (.*)', tr('{} cannot be opened')),
                          (r'could not recognise file format \(ascii, single or double\) for (.*)',
                           tr('{} is in no form plotveil reads')),
                          (r'grid (.*) has an unusable size', tr('{} has a size that describes no rows'))):
        found = re.search(pattern, message)
        if found:
            return text.format(known(found.group(1).strip()))
    if code in (4, 6):
        return tr('writing the output failed (a full disk?)')
    if 'could not allocate memory' in message:
        return tr('there was not enough memory')
    return tr('plotveil failed')
