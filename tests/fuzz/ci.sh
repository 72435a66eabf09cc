#!/bin/sh
# CI step: every fuzz target for 20 seconds (clang is installed by run.sh when
# missing). Fails on any finding, or when clang cannot be had.
exec sh "$(dirname "$0")/run.sh" "${FUZZ_SECONDS:-20}"
