#!/usr/bin/env bash
# tools/run_fuzzers.sh BUILD SECONDS: every fuzzer under BUILD/fuzzers for SECONDS each; exits 1
# when any found something. Corpus, findings and logs under BUILD/fuzz-{corpus,findings,logs}.
set -uo pipefail

build=${1:?usage: run_fuzzers.sh BUILD SECONDS}
seconds=${2:?usage: run_fuzzers.sh BUILD SECONDS}
here=$(cd "$(dirname "$0")/../fuzz" && pwd)

shopt -s nullglob
fuzzers=("$build"/fuzzers/*_fuzz)
[ ${#fuzzers[@]} -gt 0 ] || { echo "no fuzzers under $build/fuzzers" >&2; exit 2; }

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
summary=()
for fuzzer in "${fuzzers[@]}"; do
  name=$(basename "$fuzzer" _fuzz)
  corpus=$build/fuzz-corpus/$name
  findings=$build/fuzz-findings/$name
  log=$build/fuzz-logs/$name.log
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  rm -f "$findings"/*
  inputs=("$corpus")
  [ -d "$here/corpus/$name" ] && inputs+=("$here/corpus/$name")
  [ -d "$here/../tests/fuzz/regressions/$name" ] && inputs+=("$here/../tests/fuzz/regressions/$name")
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$findings/")
  [ -f "$here/$name.dict" ] && options+=(-dict="$here/$name.dict")

  echo "== $name: ${seconds}s"
  # Standard input closed off, so nothing under test can wait for a key.
  "$fuzzer" "${options[@]}" "${inputs[@]}" </dev/null >"$log" 2>&1
  status=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  per_second=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  found=("$findings"/*)
  if [ $status -ne 0 ] && [ ${#found[@]} -eq 0 ]; then
    # Ended badly without leaving an input behind: still a failure, and the log says why.
    found=("(no input kept; exit status $status)")
  fi
  summary+=("$(printf '%-14s %12s %10s %9s' "$name" "${executions:-?}" "${per_second:-?}" "${#found[@]}")")
  if [ ${#found[@]} -gt 0 ]; then
    failed=1
    for item in "${found[@]}"; do echo "   found: $item"; done
    grep -m 5 -E 'ERROR|runtime error|fuzz check failed|SUMMARY' "$log" | sed 's/^/   /'
    echo "   replay: $fuzzer <input>    log: $log"
  fi
done

echo
printf '%-14s %12s %10s %9s\n' target executions exec/s findings
printf '%s\n' "${summary[@]}"
exit $failed
