#!/usr/bin/env bash
# Runs the reliability cases and writes a report of the figures they print
# ("RELIABILITY <case> | <what> | <figures>") to build/reliability/README.md:
#   1. the fuzz targets of tests/fuzz (built here with clang), each for a
#      bounded time over its corpus, and once over generated inputs too large
#      to commit (a 10 MB line, 100 000 sections);
#   2. the native fault, robustness and load tests in the AddressSanitizer
#      build, the load for a full minute, with the leak check at exit;
#   3. the hand-made settings files, the settings-work figures and the load
#      again (its rate and timing without a sanitizer) in the plain build;
#   4. a valgrind memcheck run of the concurrency stress and load tests in the
#      plain build.
# Called by test.sh once it has built the presets; runs on its own too.
#
#   tools/reliability.sh                  the report goes under build/ only
#   tools/reliability.sh --update-report  also replaces the committed one,
#                                         tests/reliability/README.md
#
# Exits non-zero when a test fails, a fuzz target finds a crash or valgrind
# reports an error or a leak.
#
# Builds: VELMORA_ASAN_BUILD (default build/linux-asan), VELMORA_PLAIN_BUILD
# (default build/linux), VELMORA_FUZZ_BUILD (default build/fuzz).
# Lengths: VELMORA_FUZZ_SECONDS per target (default 30),
# VELMORA_RELIABILITY_LOAD_SECONDS (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
source ./tools/common.sh
velmora_install_deps test

asan_build=${VELMORA_ASAN_BUILD:-build/linux-asan}
plain_build=${VELMORA_PLAIN_BUILD:-build/linux}
fuzz_build=${VELMORA_FUZZ_BUILD:-build/fuzz}
fuzz_seconds=${VELMORA_FUZZ_SECONDS:-30}
load_seconds=${VELMORA_RELIABILITY_LOAD_SECONDS:-60}
jobs=${VELMORA_JOBS:-2}
report=build/reliability/README.md
committed_report=tests/reliability/README.md
update_report=0
case "${1:-}" in
  "") ;;
  --update-report) update_report=1 ;;
  *) echo "usage: $0 [--update-report]" >&2; exit 2 ;;
esac

work=$(mktemp -d)
velmora_at_exit "rm -rf '$work'"
figures=$work/figures.txt
runs=$work/runs.txt
: > "$figures"
: > "$runs"
failed=0
# The simulated machine keeps its settings files in a temporary folder; in
# memory when the system has one, so the file writes cost no disk.
fast_tmp=$work
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  fast_tmp=$(mktemp -d /dev/shm/velmora-reliability.XXXXXX)
  velmora_at_exit "rm -rf '$fast_tmp'"
fi

collect_figures=1
figure_suffix=""
run_step() {  # name, log, command...: runs it, records its outcome, time and figures
  local name=$1 log=$2
  shift 2
  local start=$SECONDS status=0
  "$@" > "$log" 2>&1 || status=$?
  local outcome=passed
  [ "$status" -eq 0 ] || { outcome="FAILED (exit $status)"; failed=1; }
  echo "| $name | $outcome | $((SECONDS - start)) s |" >> "$runs"
  if [ "$collect_figures" -ne 0 ]; then
    grep -a '^RELIABILITY ' "$log" | sed "s/^\(RELIABILITY [^ ]*\)/\1$figure_suffix/" >> "$figures" || true
  fi
  echo "=== reliability: $name: $outcome ($((SECONDS - start)) s)"
  [ "$status" -eq 0 ] || tail -n 40 "$log"
}

for build in "$asan_build" "$plain_build"; do
  if [ ! -x "$build/tests/velmora_tests" ]; then
    echo "reliability.sh: $build/tests/velmora_tests is missing; build it first (test.sh does)" >&2
    exit 1
  fi
done

# --- 1. fuzzing -------------------------------------------------------------
echo "=== reliability: fuzz targets (clang)"
if ! velmora_configure fuzz -S tests/fuzz -B "$fuzz_build" -G Ninja -DCMAKE_CXX_COMPILER=clang++; then
  failed=1
  echo "| fuzz targets: configure | FAILED | - |" >> "$runs"
elif ! cmake --build "$fuzz_build" -j "$jobs" > "$work/fuzz-build.log" 2>&1; then
  tail -n 40 "$work/fuzz-build.log"
  failed=1
  echo "| fuzz targets: build | FAILED | - |" >> "$runs"
else
  # Inputs too large to commit, made here.
  big=$work/big
  mkdir -p "$big/ini" "$big/startup"
  { printf '[VelmoraEngine]\r\nMidiInDeviceName='; head -c 10485760 /dev/zero | tr '\0' x; printf '\r\nTimerInterval=6\r\n'; } \
    > "$big/ini/ten-megabyte-line.ini"
  { printf '[Presets]\r\nPresetsCount=2\r\nPresetName1=P7\r\nPresetName2=P99999\r\n'
    seq 0 99999 | awk '{ printf "[Preset_P%d]\r\nDevice0=Synth B (1.6)\r\n", $1 }'; } > "$big/ini/hundred-thousand-sections.ini"
  for file in "$big/ini"/*.ini; do
    # Two inputs, three outputs, no preset names from the input.
    { printf '\016\000\000'; cat "$file"; } > "$big/startup/$(basename "$file" .ini)"
  done

  fuzz_target() {  # target, corpus name, description
    local target=$1 corpus=$2 what=$3
    local log=$work/fuzz-$corpus.log kept=$fuzz_build/corpus-$corpus
    mkdir -p "$kept" "$work/artifacts-$corpus"
    local start=$SECONDS status=0
    TMPDIR=$fast_tmp "$fuzz_build/$target" -dict=tests/fuzz/settings.dict -max_total_time="$fuzz_seconds" \
      -print_final_stats=1 -artifact_prefix="$work/artifacts-$corpus/" -rss_limit_mb=4096 \
      "$kept" "tests/fuzz/corpus/$corpus" > "$log" 2>&1 || status=$?
    local big_status=0
    TMPDIR=$fast_tmp "$fuzz_build/$target" -rss_limit_mb=4096 -artifact_prefix="$work/artifacts-$corpus/" \
      "$big/$corpus"/* > "$log.big" 2>&1 || big_status=$?
    local executed new crashes
    executed=$(grep -a 'stat::number_of_executed_units' "$log" | awk '{ print $2 }' | tail -n1)
    new=$(grep -a 'stat::new_units_added' "$log" | awk '{ print $2 }' | tail -n1)
    crashes=$(find "$work/artifacts-$corpus" -type f | wc -l)
    local outcome=passed
    if [ "$status" -ne 0 ] || [ "$big_status" -ne 0 ] || [ "$crashes" -ne 0 ]; then
      outcome=FAILED
      failed=1
      tail -n 40 "$log" "$log.big"
    fi
    echo "RELIABILITY fuzz-$corpus | $what, for ${fuzz_seconds} s over the committed corpus, and once over a 10 MB line and 100 000 sections | inputs=${executed:-0} new_corpus_units=${new:-0} generated_big_inputs=$(ls "$big/$corpus" | wc -l) crashes=$crashes" >> "$figures"
    echo "| fuzz: $target | $outcome | $((SECONDS - start)) s |" >> "$runs"
    echo "=== reliability: fuzz $target: $outcome ($((SECONDS - start)) s)"
  }
  fuzz_target velmora_fuzz_ini ini "libFuzzer over the settings reader and writer (reads of every name the file seems to hold, integers against a second parser, a refused and a successful write)"
  fuzz_target velmora_fuzz_startup startup "libFuzzer over the whole start-up (devices and names from the input, settings path, catalogue, engine, Start, routed messages, preset edits, exit, a second start on the file written)"
fi

# --- 2. faults, robustness and load under AddressSanitizer --------------------
asan_filter='DeviceFaults.*:MidiInputRobustness.*:SettingsWriteFaults.*:TimerFaults.*:Load.*:ConcurrencyStress.*'
run_step "native faults, robustness and ${load_seconds} s load (AddressSanitizer, leak check)" "$work/asan.log" \
  env TMPDIR="$fast_tmp" VELMORA_LOAD_SECONDS="$load_seconds" ASAN_OPTIONS=detect_leaks=1 \
  "$asan_build/tests/velmora_tests" --gtest_filter="$asan_filter"

# --- 3. hand-made settings files and the load, figures of a plain build -----------
run_step "hand-made settings files (plain build)" "$work/settings.log" \
  "$plain_build/tests/velmora_tests" --gtest_filter='SettingsHandCases.*'
figure_suffix=" (plain build)"
run_step "${load_seconds} s load (plain build)" "$work/plain-load.log" \
  env TMPDIR="$fast_tmp" VELMORA_LOAD_SECONDS="$load_seconds" \
  "$plain_build/tests/velmora_tests" --gtest_filter='Load.TenThousand*'
figure_suffix=""

# --- 4. valgrind memcheck ----------------------------------------------------
vg_log=$work/valgrind.txt
# The kill test is left out: its children end by _exit, in the middle of a
# session, which memcheck would count as leaks. The tests' own figures under
# memcheck are not the report's; its counts are.
collect_figures=0
run_step "valgrind memcheck of the stress, load, fault and robustness tests (plain build)" "$work/valgrind-run.log" \
  env TMPDIR="$fast_tmp" VELMORA_LOAD_SECONDS=5 valgrind --tool=memcheck --leak-check=full \
  --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect --error-exitcode=99 \
  --log-file="$vg_log" "$plain_build/tests/velmora_tests" \
  --gtest_filter='ConcurrencyStress.*:Load.*:TimerFaults.*:DeviceFaults.*:MidiInputRobustness.*'
vg_errors=$(grep -a 'ERROR SUMMARY' "$vg_log" | tail -n1 | awk '{ print $4 }')
vg_definite=$(grep -a 'definitely lost:' "$vg_log" | tail -n1 | awk '{ print $4 }' | tr -d ,)
vg_indirect=$(grep -a 'indirectly lost:' "$vg_log" | tail -n1 | awk '{ print $4 }' | tr -d ,)
vg_invalid=$(grep -a -c -E 'Invalid (read|write|free)|uninitialised' "$vg_log" || true)
vg_messages=$(grep -a '^RELIABILITY load ' "$work/valgrind-run.log" | sed -n 's/.* messages=\([0-9]*\).*/\1/p' | tail -n1)
echo "RELIABILITY valgrind-memcheck | memcheck over the concurrency stress, 5 s of the load, the exit with 100 000 messages queued, the timer and Reopen tests, the device faults and the input robustness tests | messages_routed_under_valgrind=${vg_messages:-0} errors=${vg_errors:-?} invalid_accesses=${vg_invalid:-?} definitely_lost_bytes=${vg_definite:-0} indirectly_lost_bytes=${vg_indirect:-0}" >> "$figures"

# --- the report ---------------------------------------------------------------
mkdir -p "$(dirname "$report")"
{
  echo "# Reliability figures"
  echo
  echo "Generated by \`tools/reliability.sh --update-report\`; do not edit by hand. (\`./test.sh\` runs"
  echo "the same cases and leaves its figures in \`build/reliability/README.md\`.)"
  echo "Commit $(git rev-parse --short HEAD 2> /dev/null || echo unknown), $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores."
  echo "Builds: \`$asan_build\` (AddressSanitizer and UBSan), \`$plain_build\` (plain), \`$fuzz_build\` (clang, libFuzzer, AddressSanitizer and UBSan)."
  echo
  echo "Each case below is a test or fuzz target that printed its figures; the test"
  echo "itself asserts what must hold (nothing lost, nothing leaked, the file whole)."
  echo "Figures of time are those of this run on this machine, not requirements."
  echo "The native cases ran in the AddressSanitizer build, the settings files and"
  echo "the rows marked \"(plain build)\" in the plain one."
  echo
  echo "| Case | What was tried | Figures |"
  echo "|---|---|---|"
  awk -F' [|] ' '{ sub(/^RELIABILITY /, "", $1); gsub(/ /, ", ", $3); printf "| %s | %s | %s |\n", $1, $2, $3 }' "$figures"
  echo
  echo "## Runs"
  echo
  echo "| Step | Outcome | Time |"
  echo "|---|---|---|"
  cat "$runs"
} > "$report"
echo "=== reliability: wrote $report"
if [ "$update_report" -eq 1 ]; then
  cp "$report" "$committed_report"
  echo "=== reliability: updated $committed_report"
fi

if [ "$failed" -ne 0 ]; then
  echo "reliability.sh: FAILED"
  exit 1
fi
echo "reliability.sh: all cases passed"
