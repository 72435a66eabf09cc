#!/bin/sh
# Makes sure the system Python (/usr/bin/python3, the one Debian's packages
# serve) can build and test the triangle_tools module: its development files,
# numpy, pytest and pybind11, and scipy and matplotlib (the disorientation's
# reference in the tests, the plots), pandas, dask and distributed (studies), tqdm (progress). What is missing is installed with apt-get when
# this runs as root where apt-get exists; otherwise one line names the
# packages and the script fails.
py=/usr/bin/python3

has() {  # has PYTHON-STATEMENT: true when the system Python runs it
    [ -x "$py" ] && "$py" -c "$1" > /dev/null 2>&1
}

missing=""
has 'import sysconfig, os, sys; sys.exit(not os.path.isfile(os.path.join(sysconfig.get_path("include"), "Python.h")))' ||
    missing="$missing python3-dev"
has 'import numpy' || missing="$missing python3-numpy"
has 'import pytest' || missing="$missing python3-pytest"
has 'import scipy.spatial' || missing="$missing python3-scipy"
has 'import matplotlib' || missing="$missing python3-matplotlib"
has 'import pandas' || missing="$missing python3-pandas"
has 'import dask, distributed' || missing="$missing python3-dask python3-distributed"
has 'import tqdm' || missing="$missing python3-tqdm"
[ -f /usr/include/pybind11/pybind11.h ] && [ -f /usr/lib/cmake/pybind11/pybind11Config.cmake ] ||
    missing="$missing pybind11-dev"
[ -z "$missing" ] && exit 0

if [ "$(id -u)" = 0 ] && command -v apt-get > /dev/null 2>&1; then
    echo "python: installing$missing"
    # Another apt-get (a parallel set-up) may hold the lock for a while.
    wait="-o DPkg::Lock::Timeout=600"
    apt-get $wait update -qq && DEBIAN_FRONTEND=noninteractive apt-get $wait install -y -qq $missing > /dev/null &&
        exit 0
fi
echo "python: the triangle_tools module needs$missing; install them (Debian: apt-get install$missing)" >&2
exit 1
