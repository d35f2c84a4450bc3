#!/usr/bin/env bash
# Figures of the per-application path on a private PipeWire server (not run by CI):
#   bench/linux/session-bench.sh [BUILD_DIR]
# - the latency the tap adds at quantum 256 and 1024, beside the direct path and pw-loopback
#   measured in the same run;
# - CPU per tapped application at quantum 1024, beside the same application untapped;
# - eight applications tapped for 60 s while a build keeps both cores busy: xruns on Tavuno's
#   streams;
# - 100 SIGKILLs of a Tavuno holding two tapped applications: the longest silence and how the
#   sweep leaves them.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target tavuno_linux_session_tests
tests=$build/tests/tavuno_linux_session_tests

"$tests" --gtest_also_run_disabled_tests --gtest_filter='SessionBench.DISABLED_AddedLatency:SessionBench.DISABLED_CpuPerTappedApp'

# A real build beside the eight applications: a scratch build tree, removed afterwards.
load=$(mktemp -d)
( cmake -S . -B "$load" -G Ninja -DTAVUNO_BUILD_TESTS=OFF >/dev/null && cmake --build "$load" -j 2 --clean-first >/dev/null 2>&1 ) &
builder=$!
trap 'kill $builder 2>/dev/null; wait $builder 2>/dev/null; rm -rf "$load"' EXIT
"$tests" --gtest_also_run_disabled_tests --gtest_filter='SessionBench.DISABLED_EightAppsUnderLoad'
kill $builder 2>/dev/null || true

TAVUNO_KILL_ROUNDS=100 "$tests" --gtest_filter='PipeWireSessionTest.KilledTavunoLeavesNoAppSilentOrRerouted'
