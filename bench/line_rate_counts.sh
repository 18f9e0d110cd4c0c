#!/usr/bin/env bash
# User instructions (callgrind) and system calls (perf) per second of a
# bench_line_rate case, counted over the stream alone, in two processes.
# Needs valgrind and linux-perf.
#
#   bench/line_rate_counts.sh build/bench_line_rate [case] [seconds]
set -euo pipefail
bench=$1
case=${2:-hex-1.2M}
seconds=${3:-10}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
screen=(-a -s "-screen 0 1024x768x24")

xvfb-run "${screen[@]}" valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$tmp/callgrind.out" \
  "$bench" "$seconds" "$case" >"$tmp/callgrind.txt" 2>"$tmp/callgrind.err"
instructions=$(awk '/^totals:/ { print $2 }' "$tmp/callgrind.out")

mkfifo "$tmp/ctl" "$tmp/ack"
CORVANEL_PERF_CTL="$tmp/ctl" CORVANEL_PERF_ACK="$tmp/ack" xvfb-run "${screen[@]}" \
  perf stat -x, -o "$tmp/perf.csv" -e raw_syscalls:sys_enter -D -1 --control "fifo:$tmp/ctl,$tmp/ack" \
  "$bench" "$seconds" "$case" >"$tmp/perf.txt" 2>"$tmp/perf.err"
calls=$(awk -F, '/raw_syscalls:sys_enter/ { print $1 }' "$tmp/perf.csv")

grep -h "shown" "$tmp/callgrind.txt" "$tmp/perf.txt" | sed 's/^/  /'
awk -v i="$instructions" -v c="$calls" -v s="$seconds" -v n="$case" 'BEGIN {
  printf "%s over %d s planned: %.1f M user instructions/s (callgrind), %.0f system calls/s (perf)\n", n, s, i / s / 1e6, c / s }'
