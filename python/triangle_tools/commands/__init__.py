"""The command lines of triangle_tools, one module each.

Each module has ``main(argv=None) -> int`` and runs as
``python3 -m triangle_tools.commands.NAME``; ``make install`` puts them on
PATH as ``triangle-NAME`` (the list in python/CMakeLists.txt). They share the
programs' conventions: status 64 for wrong arguments (nothing read or
written), 1 for a file that cannot be read or holds what cannot be used,
one line on standard error naming the program, the file and what was
expected and found; warnings on standard error, one line each; results
written as ``NAME.partial`` and renamed when complete.
"""

import argparse
import os
import sys
import warnings

USAGE_ERROR = 64
INPUT_ERROR = 1


class Parser(argparse.ArgumentParser):
    """argparse, but wrong arguments end the run with status 64."""

    def error(self, message):
        self.print_usage(sys.stderr)
        self.exit(USAGE_ERROR, f"{self.prog}: {message}\n")


def run(prog, body, args):
    """Runs body(args); OSError and ValueError become one line and status 1,
    and every warning one line on standard error."""
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        try:
            status = body(args)
            sys.stdout.flush()
        except BrokenPipeError:   # the reader of standard output stopped early (| head): no more output
            os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
            status = INPUT_ERROR
        except OSError as e:
            print(f"{prog}: {e.filename or ''}: {e.strerror or e}", file=sys.stderr)
            status = INPUT_ERROR
        except ValueError as e:
            print(f"{prog}: {e}", file=sys.stderr)
            status = INPUT_ERROR
        finally:
            seen = []
            for w in caught:
                if str(w.message) not in seen:
                    seen.append(str(w.message))
                    print(f"{prog}: warning: {w.message}", file=sys.stderr)
    return status


def save_figure(figure, path):
    """Writes a matplotlib figure to path as PNG, by way of path.partial."""
    partial = path + ".partial"
    try:
        figure.savefig(partial, format="png", dpi=100)
        os.replace(partial, path)
    except OSError:
        if os.path.exists(partial):
            os.remove(partial)
        raise


def pyplot():
    """matplotlib.pyplot drawing to files (no display)."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    return plt
