#!/usr/bin/env bash
# Figures of the desktop app (not run by CI):
#   bench/app/app-figures.sh [BUILD_DIR] [IDLE_SECONDS]
# On a private audio server with four applications playing
# (scripts/with-audio-server) and a virtual X server with a tray host
# (scripts/with-xvfb and trayer), it starts Tavuno twice:
# - in the background, as at login: the time from launch until its icon sits
#   in the tray, resident memory once it controls the four applications (and
#   where it is), and CPU over IDLE_SECONDS (default 60) with the window hidden;
# - with the window open on the mixer: the time from launch until the window
#   is drawn and answers, and CPU over 20 s with the meters running.
# CPU is split between the main thread (screens, timers, the service) and the
# audio threads (the four applications' sound passing through Tavuno).
# Everything it starts is stopped when it ends, also on failure.
set -euo pipefail
cd "$(dirname "$0")/../.."

if [ "${1:-}" != "--inside" ]; then
  build=${1:-build}
  cmake -S . -B "$build" -G Ninja >/dev/null
  cmake --build "$build" --target tavuno
  exec scripts/with-xvfb scripts/with-audio-server --players 4 \
    bash "$0" --inside "$build" "${2:-60}"
fi
build=$2
idle_seconds=$3
apps=4
hz=$(getconf CLK_TCK)

work=$(mktemp -d /tmp/tavuno-figures.XXXXXX)
export XDG_CONFIG_HOME=$work/config  # Tavuno's settings: a fresh set, the user's untouched
trayer_pid= tavuno_pid=
cleanup() {
  for pid in $tavuno_pid $trayer_pid; do
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -KILL "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# waits up to $1 seconds for the command that follows to succeed
wait_for() {
  local deadline=$(($(date +%s%N) + $1 * 1000000000)); shift
  until "$@" >/dev/null 2>&1; do
    [ "$(date +%s%N)" -lt "$deadline" ] || return 1
    sleep 0.01
  done
}
now() { date +%s.%N; }
ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f", (b - a) * 1000 }'; }
# the tray host's panel is 2 pixels wide until an icon is docked in it
tray_width() { xwininfo -name panel | awk '/Width:/ { print $2 }'; }
icon_docked() { [ "$(tray_width)" -gt 2 ]; }
# taps of the applications Tavuno controls, as the server lists them
taps() { pactl list sinks | grep -c "tavuno.owner.pid = \"$tavuno_pid\"" || true; }
controls_all() { [ "$(taps)" -ge "$apps" ]; }
rss_mb() { awk '/VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$tavuno_pid/status"; }
# CPU ticks of the main thread and of the others
ticks() {
  local main=0 other=0 task t
  for task in /proc/"$tavuno_pid"/task/*; do
    t=$(awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "$task/stat" 2>/dev/null) || continue
    if [ "${task##*/}" = "$tavuno_pid" ]; then main=$((main + t)); else other=$((other + t)); fi
  done
  echo "$main $other"
}
# CPU over $1 seconds, in % of one core: main thread, audio threads, total
cpu_over() {
  local before after
  before=$(ticks); sleep "$1"; after=$(ticks)
  awk -v b="$before" -v a="$after" -v s="$1" -v hz="$hz" 'BEGIN {
    split(b, x, " "); split(a, y, " ")
    m = (y[1] - x[1]) / hz / s * 100; o = (y[2] - x[2]) / hz / s * 100
    printf "%.2f %.2f %.2f\n", m, o, m + o }'
}
fail() {
  echo "figures: $1" >&2
  cat "$work/tavuno.log" >&2
  [ -z "$tavuno_pid" ] || ! command -v gdb >/dev/null ||
    gdb -p "$tavuno_pid" -batch -ex "thread apply all bt" >&2 2>/dev/null || true
  exit 1
}
start_tavuno() {
  launched=$(now)
  TAVUNO_REPORT_STARTUP=1 "$build/tavuno" "$@" 2>"$work/tavuno.log" &
  tavuno_pid=$!
}
# gone, or a zombie waiting to be reaped
exited() { [ "$(awk '{ sub(/^.*\) /, ""); print $1 }' "/proc/$tavuno_pid/stat" 2>/dev/null || echo Z)" = Z ]; }
stop_tavuno() {
  local asked
  asked=$(now)
  kill -TERM "$tavuno_pid"
  wait_for 10 exited || fail "Tavuno did not quit within 10 s"
  quit_ms=$(ms "$asked" "$(now)")
  wait "$tavuno_pid" || { echo "figures: Tavuno quit with an error" >&2; exit 1; }
  tavuno_pid=
}

trayer --edge top --widthtype request --SetDockType false >"$work/trayer.log" 2>&1 &
trayer_pid=$!
wait_for 10 xwininfo -name panel || fail "the tray host did not start"
[ "$(pactl list short sink-inputs | wc -l)" -ge "$apps" ] || fail "fewer than $apps players"

# In the background, as at login. A Tavuno that starts before the tray host
# has taken the tray opens its window instead: it is started again then.
for attempt in 1 2 3; do
  start_tavuno --background
  wait_for 10 grep -q "tavuno-startup: [a-z-]*tray " "$work/tavuno.log" || fail "no start-up report"
  grep -q "tavuno-startup: tray " "$work/tavuno.log" && break
  [ "$attempt" -lt 3 ] || fail "the tray host never took the tray"
  stop_tavuno
done
wait_for 20 icon_docked || fail "no icon in the tray after 20 s"
tray_ms=$(ms "$launched" "$(now)")
wait_for 20 controls_all || fail "Tavuno controls $(taps) of $apps applications after 20 s"
sleep 2  # the first meter and retry timers settle
rss_hidden=$(rss_mb)
breakdown=$(bash bench/app/memory-breakdown.sh "$tavuno_pid" 25)
read -r idle_main idle_audio idle_total < <(cpu_over "$idle_seconds")
stop_tavuno
quit_hidden_ms=$quit_ms
[ "$(pactl list sinks | grep -c tavuno.owner.pid || true)" -eq 0 ] || fail "taps left behind after quitting"

# With the window open on the mixer.
start_tavuno
wait_for 20 grep -q "tavuno-startup: window" "$work/tavuno.log" || fail "no window after 20 s"
window_ms=$(ms "$launched" "$(awk '/tavuno-startup: window/ { print $3 }' "$work/tavuno.log")")
wait_for 20 controls_all || fail "Tavuno controls $(taps) of $apps applications after 20 s"
sleep 2
rss_shown=$(rss_mb)
read -r shown_main shown_audio shown_total < <(cpu_over 20)
stop_tavuno

cores=$(nproc)
load=$(cut -d' ' -f1-3 /proc/loadavg)
cat <<REPORT
Tavuno $("$build/tavuno" --version 2>/dev/null | awk '{ print $NF }'), $apps applications playing on a private PipeWire, Xvfb with trayer; $cores cores, load average $load
| What | Figure |
|---|---|
| Launch to the icon in the tray (--background) | $tray_ms ms |
| Resident memory after start, window never opened | $rss_hidden MB |
| CPU with the window hidden, over $idle_seconds s (main thread + audio threads) | $idle_total % ($idle_main + $idle_audio) |
| Launch to the window drawn and answering | $window_ms ms |
| Resident memory with the window open | $rss_shown MB |
| CPU with the mixer visible and meters running, over 20 s (main + audio) | $shown_total % ($shown_main + $shown_audio) |
| SIGTERM to exit, every application given its own audio back | $quit_hidden_ms ms |

Where the resident memory is, window never opened (bench/app/memory-breakdown.sh):
$breakdown
REPORT
