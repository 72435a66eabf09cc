"""quorvel's binned report: its line format, written and read here only.

A report holds the data file's header lines, quorvel's two provenance lines,
the column header ``bin     curv    vel      number    std_dev`` and one line
per curvature bin (200 of them)::

    0.0030  0.0015  0.2187       82    0.1562

Each value field is 6 characters with 4 decimals (``%6.4f``); an empty bin
shows ``   NaN`` and a value of 10 or more, which does not fit, asterisks.
The face count is ``%7d``. Fields are separated by blanks, so a line is read
by its fields, not by column positions.

Functions
---------
format_line, format_bins
    The report's bin lines, as quorvel prints them.
parse, read
    A report's bins, as a `Report`.
"""

from dataclasses import dataclass, field

import numpy as np

COLUMN_HEADER = "bin     curv    vel      number    std_dev"
BIN_COUNT = 200
BIN_WIDTH = 0.003
RESOLUTION = 1e-4   # the value fields' 4 decimals
_COLUMNS = COLUMN_HEADER.split()


def format_field(x):
    """One value field of the report: ``%6.4f``, ``   NaN``, or asterisks from 10 up.

    Parameters
    ----------
    x : float

    Returns
    -------
    str
        Six characters.
    """
    if np.isnan(x):
        return "   NaN"
    return "******" if x >= 9.99995 else f"{x:6.4f}"


def format_line(edge, curvature, velocity, number, std_dev):
    """One bin line, as quorvel prints it.

    Parameters
    ----------
    edge, curvature, velocity, std_dev : float
        The bin's upper edge, mean |curvature|, mean |velocity| and the
        population standard deviation of |velocity|.
    number : int
        The bin's face count.

    Returns
    -------
    str

    Examples
    --------
    >>> format_line(0.003, 0.0015, 0.21871, 82, 12.5)
    '0.0030  0.0015  0.2187       82    ******'
    """
    return (f"{format_field(edge)}  {format_field(curvature)}  {format_field(velocity)}  {int(number):7d}"
            f"    {format_field(std_dev)}")


def format_bins(edge, curvature, velocity, number, std_dev):
    """Every bin line, from columns such as ``triangle_tools.bin_curvature`` returns.

    Returns
    -------
    list of str
        One line per bin, without the column header.
    """
    return [format_line(*row) for row in zip(edge, curvature, velocity, number, std_dev)]


@dataclass(frozen=True)
class Report:
    """The bins of a binned report.

    Attributes
    ----------
    edge, curv, vel, std_dev : numpy.ndarray of float64
        One value per bin; NaN where the report shows ``NaN`` or asterisks.
    number : numpy.ndarray of int64
        The faces per bin.
    overflowed : numpy.ndarray of bool
        True where a field of the bin shows asterisks (a value of 10 or more).
    units : dict
        From a header line like ``# units: curvature 1/um velocity um/s``.
    header : tuple of str
        The lines before the column header.
    """
    edge: np.ndarray
    curv: np.ndarray
    vel: np.ndarray
    number: np.ndarray
    std_dev: np.ndarray
    overflowed: np.ndarray
    units: dict = field(default_factory=dict)
    header: tuple = ()


def _value(token, name, number, column):
    if token == "NaN":
        return np.nan, False
    if token and token.strip("*") == "":
        return np.nan, True
    try:
        return float(token), False
    except ValueError:
        raise ValueError(f"{name}: line {number}: field {column} ({_COLUMNS[column - 1]}): "
                         f"expected a number, NaN or asterisks, found '{token}'") from None


def parse(lines, name="report"):
    """Reads a binned report from its lines.

    Parameters
    ----------
    lines : iterable of str
        The report's lines (a file object will do).
    name : str
        The file name that errors name.

    Returns
    -------
    Report

    Raises
    ------
    ValueError
        ``NAME: line N: expected ..., found ...`` when the column header is
        missing, a bin line does not hold five fields or a field cannot be read,
        or the report does not hold 200 bins.
    """
    header, rows, units, started, number = [], [], {}, False, 0
    for number, line in enumerate(lines, 1):
        line = line.rstrip("\r\n")
        if not started:
            if line.split()[:5] == _COLUMNS:
                started = True
                continue
            header.append(line)
            if "#" in line and "units:" in line.lower():
                words = line[line.lower().index("units:") + 6:].split()
                units.update(zip(words[::2], words[1::2]))
            continue
        tokens = line.split()
        if not tokens:
            continue
        if len(tokens) != 5:
            raise ValueError(f"{name}: line {number}: expected a bin line of 5 fields, found {len(tokens)}")
        values = [_value(t, name, number, k) for k, t in enumerate(tokens, 1) if k != 4]
        try:
            count = int(tokens[3])
        except ValueError:
            raise ValueError(f"{name}: line {number}: field 4 (number): expected a face count, "
                             f"found '{tokens[3]}'") from None
        rows.append([v for v, _ in values[:3]] + [count, values[3][0], any(o for _, o in values)])
    if not started:
        raise ValueError(f'{name}: line {number + 1}: expected the column header "{COLUMN_HEADER}", '
                         "found the end of the file (not a binned report)")
    if len(rows) != BIN_COUNT:
        raise ValueError(f"{name}: line {number + 1}: expected {BIN_COUNT} bin lines, found {len(rows)} "
                         "and the end of the file")
    edge, curv, vel, count, std, over = zip(*rows)
    return Report(np.array(edge), np.array(curv), np.array(vel), np.array(count, dtype=np.int64),
                  np.array(std), np.array(over, dtype=bool), units, tuple(header))


def read(path):
    """Reads the binned report in the file `path`; see `parse`.

    Raises
    ------
    OSError
        When the file cannot be read.
    ValueError
        As `parse`.
    """
    with open(path, encoding="utf-8", errors="replace") as lines:
        return parse(lines, str(path))
