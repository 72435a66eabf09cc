"""triangle-study: many raw triangle files (time steps) in one study, merged exactly.

    triangle-study -o OUTDIR [--curvature-limit K] [--velocity-limit V]
                   [--area-weights] [--scheduler ADDRESS] [--skip-bad] FILE...

Writes steps.csv, bins.csv, summary.json, steps.png and velocity.png into
OUTDIR (see `triangle_tools.study`). Exit status: 0 done; 1 a step that
cannot be read, or a study that cannot complete (one line on standard
error, no output under its final name); 64 wrong arguments.
"""

import argparse
import sys

from .. import study

USAGE_ERROR = 64
FAILED = 1
PROGRAM = "triangle-study"


class _Parser(argparse.ArgumentParser):
    def error(self, message):
        self.print_usage(sys.stderr)
        self.exit(USAGE_ERROR, f"{self.prog}: {message}\n")


def parser():
    """The command line of triangle-study."""
    p = _Parser(prog=PROGRAM, description="Reads raw triangle files, one time step each, keeps the faces "
                "dremmick keeps, and writes per step and merged over all steps: the per-face fit of the "
                "velocity against the curvature (steps.csv, summary.json) and quorvel's 200 bins in double "
                "(bins.csv), with two plots. Steps run in parallel on this machine, or on a Dask cluster.",
                epilog="Exit status: 0 done; 1 a step that cannot be read or a study that cannot complete; "
                "64 wrong arguments.")
    p.add_argument("files", nargs="+", metavar="FILE", help="raw triangle files (plain or .gz) or directories "
                   "of them (their files sorted by name), one step each, in this order")
    p.add_argument("-o", "--outdir", required=True, metavar="OUTDIR", help="the output directory")
    p.add_argument("--curvature-limit", type=float, metavar="K",
                   help="drop faces whose |curvature| is greater than K, as dremmick does (default: none)")
    p.add_argument("--velocity-limit", type=float, metavar="V",
                   help="drop faces whose |velocity| is greater than V, as dremmick does (default: none)")
    p.add_argument("--area-weights", action="store_true", help="weigh each face of the fit by its area")
    p.add_argument("--scheduler", metavar="ADDRESS",
                   help="a Dask scheduler, tcp://HOST:PORT, whose workers read the files (default: this "
                   "machine's cores; 'synchronous': one step after another in this process)")
    p.add_argument("--skip-bad", action="store_true",
                   help="skip a step that cannot be read (named on standard error and in summary.json)")
    for reducer in study.REDUCERS:  # further reducers' own options
        if hasattr(reducer, "add_arguments"):
            reducer.add_arguments(p)
    return p


_OWN = ("files", "outdir", "curvature_limit", "velocity_limit", "area_weights", "scheduler", "skip_bad")


def main(argv=None):
    """Runs triangle-study with argv (default sys.argv[1:]); returns the exit status."""
    args = parser().parse_args(argv)
    try:
        result = study.run_study(args.files, args.outdir, args.curvature_limit, args.velocity_limit,
                                 args.area_weights, args.scheduler, args.skip_bad,
                                 **{k: v for k, v in vars(args).items() if k not in _OWN})
    except study.StudyError as error:
        print(f"{PROGRAM}: {error}", file=sys.stderr)
        return FAILED
    except OSError as error:  # the output directory
        print(f"{PROGRAM}: {error.filename or args.outdir}: {error.strerror or error}", file=sys.stderr)
        return FAILED
    for step in result.skipped:
        print(f"{PROGRAM}: warning: skipped {step.message}", file=sys.stderr)
    fit = result.merged["fit"].result()
    if fit.slope != fit.slope:
        print(f"{PROGRAM}: warning: the kept faces' curvatures have no spread (or there are none): no fit",
              file=sys.stderr)
    steps = len(result.steps)
    print(f"{steps} step{'s' * (steps != 1)}, {result.summary['kept']} faces kept of {result.summary['lines']}: "
          f"mobility {fit.slope:.6g} ± {fit.stderr:.6g} (95%: {fit.low:.6g} to {fit.high:.6g}); "
          f"written to {args.outdir}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
