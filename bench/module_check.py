"""The Python module triangle_tools in the benchmark (bench/run.sh), beside the
programs on the same files:

  module_check.py time FILE
      prints the seconds one read_fixed(FILE) takes, timed around the call
      alone (numpy is imported first, as in any notebook)
  module_check.py bins FILE REPORT
      bin_curvature(read_fixed(FILE)), printed as quorvel prints its report
      lines, must equal the last 200 lines of REPORT
  module_check.py condition RAW CND CURVATURE_LIMIT VELOCITY_LIMIT SUMMARY
      condition(read_free(RAW), limits) must equal read_fixed(CND) bit for bit,
      and its counts the ones dremmick printed in SUMMARY

Prints one line; exit status 1 when a check fails.
"""
import sys
import time

import numpy as np
import triangle_tools as tt
from triangle_tools import report


def main(command, *args):
    if command == "time":
        start = time.perf_counter()
        tt.read_fixed(args[0])
        print(f"{time.perf_counter() - start:.6f}")
        return 0
    if command == "bins":
        values, _ = tt.read_fixed(args[0])
        with open(args[1]) as text:
            expected = text.read().splitlines()[-200:]
        got = report.format_bins(*tt.bin_curvature(values))
        same = got == expected
        print(f"bin_curvature(read_fixed) prints as quorvel's report: {'yes' if same else 'NO'}"
              f" ({len(values)} records)")
        return 0 if same else 1
    raw, cnd, curvature_limit, velocity_limit, summary = args
    kept, counts = tt.condition(tt.read_free(raw)[0], float(curvature_limit), float(velocity_limit))
    written, _ = tt.read_fixed(cnd)
    with open(summary) as out:
        names = ("high_val=", "high_vel=", "blank")
        printed = {w[0]: int(w[-1]) for w in map(str.split, out) if w and w[0] in names}
    same_rows = kept.shape == written.shape and np.array_equal(kept.view(np.uint32), written.view(np.uint32))
    same_counts = counts == tuple(printed[name] for name in names)
    print(f"condition(read_free) equals read_fixed of dremmick's file: rows {'yes' if same_rows else 'NO'}"
          f" ({len(kept)}), counts {'yes' if same_counts else 'NO'} {counts}")
    return 0 if same_rows and same_counts else 1


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
