#!/usr/bin/env bash
# Where a running process's resident memory is (used by app-figures.sh):
#   bench/app/memory-breakdown.sh PID [TOP]
# Prints the kernel's split (anonymous, file, shared memory), then the
# resident set per mapped file and per kind of anonymous memory, the TOP
# largest (default 20): the heap, the threads' malloc arenas (on a 64 MB
# boundary, below the rest of their reservation), thread stacks (above their
# guard page), other anonymous mappings, memfd and shared memory; last the
# threads by name.
set -euo pipefail
pid=$1
top=${2:-20}
[ -r "/proc/$pid/smaps" ] || { echo "memory-breakdown: no process $pid" >&2; exit 1; }

awk '/^(VmRSS|RssAnon|RssFile|RssShmem|Threads):/ { printf "%-9s %s %s\n", $1, $2, $3 }' "/proc/$pid/status"
awk '/^Pss:/ { printf "Pss:      %s kB\n", $2 }' "/proc/$pid/smaps_rollup"

awk -v top="$top" '
  /^[0-9a-f]+-[0-9a-f]+ / {
    n++
    split($1, r, "-"); lo[n] = r[1]; hi[n] = r[2]; perms[n] = $2
    name[n] = ""
    for (i = 6; i <= NF; i++) name[n] = name[n] (i > 6 ? " " : "") $i
    next
  }
  /^Rss:/ { rss[n] = $2 }
  END {
    for (m = 1; m <= n; m++) {
      kind = name[m]
      if (kind ~ /^\/memfd:|^\/dev\/shm|^\/SYSV|\(deleted\)$/) kind = "memfd/shm: " kind
      else if (kind == "") {
        kind = "[anon]"
        if (perms[m] ~ /^rw/) {
          # an arena starts on a 64 MB boundary, the rest of it reserved
          if (lo[m] ~ /[048c]000000$/ && m < n && name[m + 1] == "" && perms[m + 1] ~ /^---/ &&
              lo[m + 1] == hi[m])
            kind = "[anon: malloc arenas]"
          else if (m > 1 && name[m - 1] == "" && perms[m - 1] ~ /^---/ && hi[m - 1] == lo[m])
            kind = "[anon: thread stacks]"
        }
      }
      sum[kind] += rss[m]
      total += rss[m]
    }
    cmd = "sort -rn | head -n " top
    for (k in sum) if (sum[k] > 0) printf "%8d kB  %s\n", sum[k], k | cmd
    close(cmd)
    printf "%8d kB  in all\n", total
  }' "/proc/$pid/smaps"

echo "threads:"
for task in /proc/"$pid"/task/*; do cat "$task/comm"; done | sort | uniq -c | sort -rn
