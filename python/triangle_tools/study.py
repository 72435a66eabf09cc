"""A study: many raw triangle files (the time steps of one run), merged exactly.

Each file is a step. A worker reads it with the programs' free-form reader,
keeps the faces dremmick keeps (blank faces and faces whose absolute
curvature or velocity is greater than its limit are dropped; a value equal
to its limit is kept) and reduces them to a small state: per bin of
quorvel's 200 the count, the means of |curvature| and |velocity| and the
sum of squared deviations of |velocity|; the sums of the per-face fit
through the origin (fit_slope's, with its sandwich error and bootstrap
groups). The client merges the states in the order of the files, so the
results equal one pass over all the kept faces (to rounding, about 1e-15
relative) whatever engine ran the steps, and the CSV files are the same byte
for byte. Computed in double precision.

`run_study` runs a study and writes its outputs; ``triangle-study`` is the
same on the command line (`triangle_tools.commands.study`).

Engines
-------
With no scheduler, the steps run on this machine's cores: a Dask
``LocalCluster`` of one single-threaded worker process per core (at most one
per file) is started and closed by the study; a single file is reduced in
this process. With a scheduler address (``tcp://HOST:PORT``) they run on that
Dask cluster; its workers read the files themselves, so the paths must be the
same there (a shared file system) and ``triangle_tools`` must be importable
by the workers (PYTHONPATH or an installed package, the same version).
``"synchronous"`` reduces every step in this process, one after another.
The local cluster's workers are new Python processes that import the main
script again: a script calls `run_study` under ``if __name__ == "__main__":``.

Adding a per-step reducer
-------------------------
A reducer is a class with:

``name``
    Its key among a step's states (a str).
``wanted(options)`` (static or class method)
    Whether this study needs it; `options` is the `StudyOptions`, whose
    ``extra`` dict holds the options `run_study` got beyond its own.
``__init__(self, options)``
    Makes an empty state, on the worker.
``add(self, faces)``
    Takes a chunk of the step's kept faces: float32, shape (n, 12), signed
    as read, in file order; called once per chunk (up to 65,536 faces).
``merge(self, other)``
    Folds the state of a later step into this one.
``write(directory, states, merged, study)`` (static or class method)
    On the client, once every step is reduced: `states` is the list of the
    steps' states in file order, `merged` their merge; writes its files into
    `directory` (a temporary directory inside the output directory, whose
    files take their final names when the whole study succeeds) and may add
    entries to ``study.summary`` (written as summary.json).
``add_arguments(parser)`` (static or class method, optional)
    Adds its options to triangle-study's argparse parser; their values
    reach ``options.extra`` under their ``dest`` names.

States travel from the workers by pickle, so keep them small (the bins are
200 rows, the fit 4096 groups) and picklable. Add the class to `REDUCERS`
(or pass ``reducers=`` to `run_study`). `BinsReducer` and `FitReducer` are
the two every study runs.
"""

import contextlib
import copy
import csv
import dataclasses
import gzip
import json
import logging
import math
import os
import shutil
import sys
import tempfile
import warnings
import zlib

import numpy as np

from . import _core
from .boundaries import BoundaryReducer
from .five_parameter import FiveParameterReducer

BIN_COUNT = 200
CHUNK = 65536
N_BOOT = 2000
SEED = 0
FIT_METHOD = ("per-face weighted least squares through the origin of the signed values; sandwich (HC1) "
              "standard error; 95% interval from 2000 bootstrap resamples of 4096 groups (seed 0)")
SYNCHRONOUS = "synchronous"


class StudyError(Exception):
    """A study that cannot complete; its message is one line."""


@dataclasses.dataclass(frozen=True)
class StudyOptions:
    """What every worker needs to know of the study.

    Attributes
    ----------
    curvature_limit, velocity_limit : float or None
        dremmick's limits on the absolute values; None keeps every value.
    area_weights : bool
        Weigh each face of the fit by its area's absolute value (value 10).
    extra : dict
        Options of further reducers, by name.
    """
    curvature_limit: float = None
    velocity_limit: float = None
    area_weights: bool = False
    extra: dict = dataclasses.field(default_factory=dict)


@dataclasses.dataclass
class Step:
    """One file reduced: its counts (lines, kept, high_val, high_vel, blank)
    and the states of the reducers by name."""
    file: str
    counts: dict
    states: dict


@dataclasses.dataclass
class StepFailure:
    """A file that could not be reduced, with the one-line reason."""
    file: str
    message: str


@dataclasses.dataclass
class Study:
    """What the writers get besides the states, and what `run_study` returns.

    Attributes
    ----------
    files : list of str
        Every file given, in order.
    steps : list of Step
        The steps read, in file order.
    skipped : list of StepFailure
        The steps skipped (``skip_bad``).
    options : StudyOptions
    summary : dict
        What summary.json will hold.
    merged : dict
        The merged state of each reducer, by name.
    """
    files: list
    steps: list
    skipped: list
    options: StudyOptions
    summary: dict = dataclasses.field(default_factory=dict)
    merged: dict = dataclasses.field(default_factory=dict)


# ------------------------------------------------------------------ output

def number(x):
    """A float as it round-trips (repr), for CSV."""
    return repr(float(x))


def _json_number(x):
    return float(x) if x is not None and math.isfinite(x) else None


def _write_csv(path, header, rows):
    with open(path, "w", newline="") as f:
        out = csv.writer(f, lineterminator="\n")
        out.writerow(header)
        out.writerows(rows)


# ---------------------------------------------------------------- reducers

class BinsReducer:
    """quorvel's 200 bins over all steps, in double: bins.csv."""
    name = "bins"

    @staticmethod
    def wanted(options):
        return True

    def __init__(self, options):
        self.state = _core.BinState()

    def add(self, faces):
        self.state.add(faces)

    def merge(self, other):
        self.state.merge(other.state)

    def table(self):
        """dict of 200-element arrays: bin (1-200), upper_edge (n × 0.003),
        faces, mean_curvature, mean_velocity, std_velocity (NaN when empty)."""
        faces, curvature, velocity, deviation = self.state.table()
        n = np.arange(1, BIN_COUNT + 1)
        return {"bin": n, "upper_edge": np.round(n * 0.003, 3), "faces": faces, "mean_curvature": curvature,
                "mean_velocity": velocity, "std_velocity": deviation}

    @staticmethod
    def write(directory, states, merged, study):
        t = merged.table()
        _write_csv(os.path.join(directory, "bins.csv"), list(t),
                   ([int(t["bin"][k]), number(t["upper_edge"][k]), int(t["faces"][k])]
                    + [number(t[c][k]) for c in ("mean_curvature", "mean_velocity", "std_velocity")]
                    for k in range(BIN_COUNT)))


@dataclasses.dataclass(frozen=True)
class FitResult:
    """The per-face fit v = slope·κ through the origin: slope, stderr (sandwich),
    low and high (95% bootstrap interval), faces fitted, method."""
    slope: float
    stderr: float
    low: float
    high: float
    faces: int
    method: str = FIT_METHOD


class FitReducer:
    """The per-face fit of each step and of all: steps.csv, the fit in summary.json."""
    name = "fit"

    @staticmethod
    def wanted(options):
        return True

    def __init__(self, options):
        self.state = _core.FitState(options.area_weights)
        self._result = None

    def add(self, faces):
        self.state.add(faces)
        self._result = None

    def merge(self, other):
        self.state.merge(other.state)
        self._result = None

    def result(self):
        """The `FitResult` of the faces added and merged (fit_slope's on them, in order)."""
        if self._result is None:  # the bootstrap takes about 0.1 s
            self._result = FitResult(*self.state.result(N_BOOT, SEED))
        return self._result

    @staticmethod
    def write(directory, states, merged, study):
        columns = ("lines", "kept", "high_val", "high_vel", "blank")
        rows = []
        for step, state in zip(study.steps, states):
            r = state.result()
            rows.append([step.file, *(step.counts[c] for c in columns), *map(number, (r.slope, r.stderr, r.low,
                                                                                       r.high))])
        _write_csv(os.path.join(directory, "steps.csv"), ["file", *columns, "slope", "stderr", "low", "high"], rows)
        r = merged.result()
        study.summary["fit"] = {"slope": _json_number(r.slope), "stderr": _json_number(r.stderr),
                                "low": _json_number(r.low), "high": _json_number(r.high), "faces": r.faces,
                                "method": r.method}


# FiveParameterReducer after BoundaryReducer: both take --class, the first to come defines it.
REDUCERS = [BinsReducer, FitReducer, BoundaryReducer, FiveParameterReducer]


def wanted_reducers(options, reducers=None):
    """The reducers (default `REDUCERS`) whose ``wanted`` says the options ask for them."""
    return [cls for cls in (REDUCERS if reducers is None else reducers) if cls.wanted(options)]


def merge_states(states):
    """The merge of a list of states in their order; the states are left as they were."""
    merged = copy.deepcopy(states[0])
    for state in states[1:]:
        merged.merge(state)
    return merged


# ------------------------------------------------------------- one step

def _message(error, display, plain):
    """One line for a failed step, naming the file as it was given."""
    if isinstance(error, OSError) and error.filename is not None:
        return f"{display}: {error.strerror or error}"
    text = str(error)
    return display + text[len(plain):] if text.startswith(plain + ":") else f"{display}: {text}"


def reduce_step(path, options, reducers, display=None):
    """Reads one raw file and reduces its kept faces: a `Step`, or a
    `StepFailure` when the file cannot be read (missing, a value that cannot
    be read, lines and records out of step, a kept face with a NaN or
    infinite value). Runs on a worker; a ``.gz`` file is decompressed into
    the worker's temporary directory first and removed after."""
    display = path if display is None else display
    plain = path
    try:
        if path.endswith(".gz"):
            fd, plain = tempfile.mkstemp(prefix="triangle-study-", suffix=".txt")
            with os.fdopen(fd, "wb") as out, gzip.open(path, "rb") as source:
                shutil.copyfileobj(source, out, 1 << 20)
        limit = lambda x: math.inf if x is None else x  # noqa: E731
        reader = _core.KeptFaceReader(plain, limit(options.curvature_limit), limit(options.velocity_limit),
                                      CHUNK, options.area_weights)
        states = [cls(options) for cls in reducers]
        while (faces := reader.next()) is not None:
            for state in states:
                state.add(faces)
        return Step(display, reader.counts(), {cls.name: s for cls, s in zip(reducers, states)})
    except (OSError, ValueError, EOFError, zlib.error) as error:
        return StepFailure(display, _message(error, display, plain))
    finally:
        if plain != path and os.path.exists(plain):
            os.remove(plain)


# ----------------------------------------------------------------- engines

def _progress(total):
    from tqdm import tqdm
    return tqdm(total=total, unit="step", file=sys.stderr, disable=not sys.stderr.isatty(), leave=False)


def _run_steps(files, options, reducers, scheduler, stop_on_failure):
    """Every step's Step or StepFailure, in file order. With stop_on_failure,
    raises StudyError at the first failure, the other steps cancelled."""
    results = [None] * len(files)
    paths = [os.path.abspath(f) for f in files]

    def arrived(k, result, bar):
        results[k] = result
        bar.update()
        if stop_on_failure and isinstance(result, StepFailure):
            raise StudyError(result.message)

    with _progress(len(files)) as bar:
        if scheduler == SYNCHRONOUS or (scheduler is None and len(files) == 1):
            for k, path in enumerate(paths):
                arrived(k, reduce_step(path, options, reducers, files[k]), bar)
            return results
        import distributed
        with contextlib.ExitStack() as stack:
            try:
                if scheduler is None:
                    cluster = stack.enter_context(distributed.LocalCluster(
                        n_workers=min(os.cpu_count() or 1, len(files)), threads_per_worker=1, processes=True,
                        host="127.0.0.1", dashboard_address=None, scheduler_kwargs={"dashboard_address": ":0"},
                        silence_logs=logging.ERROR))
                client = stack.enter_context(distributed.Client(cluster if scheduler is None else scheduler,
                                                                timeout="20s"))
            except (OSError, TimeoutError) as error:
                raise StudyError(f"cannot reach the Dask scheduler at {scheduler}: {error}") from None
            futures = {client.submit(reduce_step, path, options, reducers, file, pure=False): k
                       for k, (path, file) in enumerate(zip(paths, files))}
            stack.callback(client.cancel, list(futures))
            for future in distributed.as_completed(futures):
                k = futures[future]
                try:
                    result = future.result()
                except distributed.KilledWorker:
                    raise StudyError(f"{files[k]}: the workers reading this step died (killed, or out of "
                                     "memory) as often as the scheduler allows; nothing was written") from None
                arrived(k, result, bar)
    return results


# ------------------------------------------------------------------- study

def expand(files):
    """The files of a study: each directory gives its files, sorted by name."""
    out = []
    for f in files:
        if os.path.isdir(f):
            out += sorted(os.path.join(f, name) for name in os.listdir(f) if os.path.isfile(os.path.join(f, name)))
        else:
            out.append(f)
    return out


def run_study(files, outdir, curvature_limit=None, velocity_limit=None, area_weights=False, scheduler=None,
              skip_bad=False, reducers=None, plots=True, **extra):
    """Reduces each file (a step) and writes the merged study to outdir.

    Parameters
    ----------
    files : list of str
        Raw triangle files (plain or ``.gz``), or directories of them (their
        files sorted by name), in the order of the steps.
    outdir : str
        The output directory (created when missing): steps.csv, bins.csv,
        summary.json, steps.png and velocity.png.
    curvature_limit, velocity_limit : float, optional
        dremmick's limits on the absolute curvature and velocity (single
        precision; a value equal to its limit is kept). None: no limit.
    area_weights : bool
        Weigh each face of the fit by the absolute value of its area.
    scheduler : str or None
        None: this machine's cores; ``"tcp://HOST:PORT"``: that Dask
        cluster; ``"synchronous"``: one step after another in this process.
    skip_bad : bool
        Skip a step that cannot be read (it is named in summary.json and the
        returned `Study`) instead of failing.
    reducers : list of classes, optional
        The per-step reducers (default `REDUCERS`, those whose ``wanted``
        says so); see the module's docstring.
    plots : bool
        Draw the two PNG plots.
    **extra
        Options of further reducers, in ``StudyOptions.extra``.

    Returns
    -------
    Study
        The steps, the skipped steps, the merged states and the summary.

    Raises
    ------
    StudyError
        A step that cannot be read (without skip_bad), no step left, an
        unreachable scheduler or workers that died; one line naming the file,
        the line and what was expected and found. No output then takes its
        final name.
    """
    options = StudyOptions(curvature_limit, velocity_limit, area_weights, dict(extra))
    reducers = wanted_reducers(options, reducers)
    files = expand([os.fspath(f) for f in files])
    if not files:
        raise StudyError("no files to read")
    results = _run_steps(files, options, reducers, scheduler, stop_on_failure=not skip_bad)
    steps = [r for r in results if isinstance(r, Step)]
    skipped = [r for r in results if isinstance(r, StepFailure)]
    if not steps:
        raise StudyError(f"no step could be read ({len(skipped)} skipped); the first: {skipped[0].message}")
    study = Study(files, steps, skipped, options)
    study.merged = {cls.name: merge_states([s.states[cls.name] for s in steps]) for cls in reducers}
    totals = {c: sum(s.counts[c] for s in steps) for c in ("lines", "kept", "high_val", "high_vel", "blank")}
    study.summary.update(files=files, steps=len(steps), **totals, curvature_limit=_json_number(curvature_limit),
                         velocity_limit=_json_number(velocity_limit), area_weights=area_weights,
                         skipped=[{"file": s.file, "error": s.message} for s in skipped])
    os.makedirs(outdir, exist_ok=True)
    work = tempfile.mkdtemp(prefix=".study-", dir=outdir)
    try:
        for cls in reducers:
            cls.write(work, [s.states[cls.name] for s in steps], study.merged[cls.name], study)
        if plots and "fit" in study.merged and "bins" in study.merged:
            _draw(work, study)
        with open(os.path.join(work, "summary.json"), "w") as f:
            json.dump(study.summary, f, indent=1, allow_nan=False)
            f.write("\n")
        for name in sorted(os.listdir(work)):
            os.replace(os.path.join(work, name), os.path.join(outdir, name))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return study


# ------------------------------------------------------------------- plots

def plot_steps(ax, labels, fits, merged):
    """Mobility per step with its 95% interval, and the merged fit as a band."""
    x = np.arange(1, len(fits) + 1)
    slope = np.array([f.slope for f in fits])
    ax.errorbar(x, slope, yerr=[slope - [f.low for f in fits], [f.high for f in fits] - slope], fmt="o",
                capsize=3, label="per step (95% interval)")
    if math.isfinite(merged.low) and math.isfinite(merged.high):
        ax.axhspan(merged.low, merged.high, color="C1", alpha=0.25, label=f"all steps: {merged.slope:.5g}")
        ax.axhline(merged.slope, color="C1")
    ax.set_xticks(x, labels, rotation=45 if len(x) > 6 else 0, ha="right" if len(x) > 6 else "center",
                  fontsize="small")
    ax.set_xlabel("step")
    ax.set_ylabel("mobility M (v = M·κ)")
    ax.legend()


def plot_velocity(ax, table, merged):
    """Merged bins: mean |velocity| against mean |curvature| (bars: the standard
    error of the mean), and the per-face fit's line."""
    use = table["faces"] > 0
    x, y = table["mean_curvature"][use], table["mean_velocity"][use]
    ax.errorbar(x, y, yerr=table["std_velocity"][use] / np.sqrt(table["faces"][use]), fmt=".", capsize=2,
                label="bins, all steps (mean |v| ± s.e.)")
    top = float(np.max(x)) if len(x) else 0.6
    ax.plot([0, top], [0, merged.slope * top], color="C1",
            label=f"per-face fit: M = {merged.slope:.5g} [{merged.low:.5g}, {merged.high:.5g}]")
    ax.set_xlabel("mean |curvature|")
    ax.set_ylabel("mean |velocity|")
    ax.legend()


def _draw(directory, study):
    import matplotlib
    matplotlib.use("Agg")
    from matplotlib.figure import Figure
    fits = [s.states["fit"].result() for s in study.steps]
    merged = study.merged["fit"].result()
    labels = [os.path.basename(s.file) for s in study.steps]
    for name, draw in (("steps.png", lambda ax: plot_steps(ax, labels, fits, merged)),
                       ("velocity.png", lambda ax: plot_velocity(ax, study.merged["bins"].table(), merged))):
        figure = Figure(figsize=(8, 5), layout="constrained")
        with warnings.catch_warnings():  # NaN fits (no spread) draw nothing, without a word
            warnings.simplefilter("ignore", RuntimeWarning)
            draw(figure.add_subplot())
        figure.savefig(os.path.join(directory, name), format="png", dpi=100, metadata={"Software": None})
