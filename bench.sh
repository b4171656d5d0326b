#!/usr/bin/env bash
# Builds and runs every benchmark and writes bench/results.md: the machine
# and the date at the top, a summary of every target, then each benchmark's
# own tables. Installs what is missing first (Debian).
#
#   ./bench.sh            the full run (about 10 minutes once built, on two cores)
#   ./bench.sh --quick    one second per lateness case, fewer repetitions:
#                         a check that everything runs, not figures to keep
set -euo pipefail
cd "$(dirname "$0")"
source ./tools/common.sh
velmora_install_deps bench

quick=0
[ "${1:-}" = "--quick" ] && quick=1

# The machine is shared: never more than two compile jobs.
jobs=2
native=build/linux-bench
windows=build/h-bench-windows
out=$native/results
mkdir -p build "$out"
rm -f "$out"/*.md "$out"/*.txt

echo "=== linux-bench: configure and build"
velmora_configure linux-bench --preset linux-bench
cmake --build --preset linux-bench -j "$jobs"

# The Windows pieces: Velmora.exe (its size), the start-up probe, the
# timer lateness program of the Windows tests, and the two programs that
# measure the routes beside bare references (all run under Wine).
have_windows=0
built=()
if [ -f cmake/mingw-w64-x86_64.cmake ] && command -v x86_64-w64-mingw32-g++-posix > /dev/null && command -v wine > /dev/null; then
  echo "=== Windows: configure and build"
  if velmora_configure h-bench-windows -S . -B "$windows" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_TESTS=ON -DVELMORA_BUILD_BENCH=ON; then
    have_windows=1
    available=$(cmake --build "$windows" --target help 2>/dev/null || true)
    # One target at a time, so that one that fails to build leaves the
    # others; a program that did not build in this run is not run (its file
    # from an earlier build would measure older code).
    for t in winevmidi Velmora velmora_startup_time velmora_bare_startup velmora_exit_time velmora_timer_lateness velmora_thru_latency velmora_tick_lateness; do
      grep -q "^$t:" <<< "$available" || continue
      if cmake --build "$windows" -j "$jobs" --target "$t"; then
        built+=("$t")
      else
        echo "bench.sh: $t did not build; its figures are missing below"
      fi
    done
  else
    echo "bench.sh: the Windows build could not be configured; its figures are missing below"
  fi
fi

was_built() {
  local t
  for t in "${built[@]}"; do [ "$t" = "$1" ] && return 0; done
  return 1
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
summary=$out/summary.txt
: > "$summary"

if [ "$quick" -eq 1 ]; then
  queue_args=(--benchmark_min_time=0.05)
  lateness_args=(--seconds=1)
  wine_messages=500
  thru_args=(--runs=2 --messages=200)
  tick_args=(--runs=1 --messages=200)
else
  queue_args=(--benchmark_repetitions=3 --benchmark_min_time=0.2 --benchmark_report_aggregates_only=true)
  lateness_args=(--seconds=10)
  wine_messages=5000
  # Six runs of a thousand messages each way; three runs per interval.
  thru_args=(--runs=6 --messages=1000)
  tick_args=(--runs=3 --messages=1000)
fi

echo "=== memory"
"$native/bench/velmora_bench_memory" --markdown="$out/2-memory.md" --summary="$summary" > /dev/null
echo "=== queue"
"$native/bench/velmora_bench_queue" "${queue_args[@]}" --markdown="$out/1-queue.md" --summary="$summary" > "$out/queue-console.txt"
echo "=== lateness end to end (several minutes)"
"$native/bench/velmora_bench_lateness" "${lateness_args[@]}" --markdown="$out/3-lateness.md" --summary="$summary" > /dev/null

# --- Windows, under Wine -------------------------------------------------
windows_md=$out/4-windows.md
{
  echo "## Windows build under Wine"
  echo
} > "$windows_md"

exe=$windows/app/Velmora.exe
probe=$windows/bench/velmora_startup_time.exe
bare_probe=$windows/bench/velmora_bare_startup.exe
wine_timer=$windows/tests/windows/velmora_timer_lateness.exe
size_limit=$((2 * 1024 * 1024))

if was_built Velmora && [ -f "$exe" ]; then
  size=$(stat -c %s "$exe")
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print $3}' | sort -u | tr '\n' ' ')
  verdict=met
  [ "$size" -ge "$size_limit" ] && verdict="**missed**"
  {
    echo "### Size of Velmora.exe"
    echo
    echo "| Measurement | Value | Target |"
    echo "|---|---:|---|"
    echo "| size of \`Velmora.exe\` (release, statically linked) | $size bytes ($(awk "BEGIN {printf \"%.2f\", $size / 1048576}") MiB) | < 2 MiB: $verdict |"
    echo "| DLLs it imports (all part of Windows) | $dlls | — |"
    echo
  } >> "$windows_md"
  echo "| Velmora.exe under 2 MB, statically linked | $size bytes; imports only $dlls | $verdict |" >> "$summary"
else
  echo "Velmora.exe did not build in this run (no Windows toolchain, or its sources do not build at the moment): its size is not measured." >> "$windows_md"
  echo >> "$windows_md"
  echo "| Velmora.exe under 2 MB, statically linked | not built | not measured |" >> "$summary"
fi

if was_built velmora_startup_time && [ -f "$probe" ]; then
  echo "=== start-up under Wine"
  # Wine's own audio driver, not the virtual one of the timer program: the
  # program body starts on a machine as Wine presents it.
  # Alternating with the bare reference (bench/windows/BareWindowStartup.c),
  # so that both meet the same moments of a shared machine: each pair gives
  # one ratio, and the target is judged on their median.
  have_bare=0
  was_built velmora_bare_startup && [ -f "$bare_probe" ] && have_bare=1
  runs=()
  bare_runs=()
  pairs=()
  startup_runs=7
  [ "$quick" -eq 1 ] && startup_runs=3
  # One display and one running Wine server for all the runs, as a Windows
  # session has its desktop up before a program starts: a console program
  # waits in the background until the runs are done. (A server and desktop
  # started or ending between runs made the bare program's times jump
  # between two modes.)
  [ -n "${DISPLAY:-}" ] || velmora_start_xvfb
  VELMORA_WINE_AUDIO="" tools/wine-run.sh --prepare "$windows"
  session_pipe=$(mktemp -u)
  mkfifo "$session_pipe"
  WINEPREFIX=$PWD/$windows/wineprefix WINEDEBUG=-all wine cmd /c pause < "$session_pipe" > /dev/null 2>&1 &
  session_pid=$!
  exec 8> "$session_pipe"
  start_up() { VELMORA_WINE_AUDIO="" timeout 120 tools/wine-run.sh "$1" 2> /dev/null | tr -d '\r' | grep process-start-to-main || true; }
  for i in $(seq 0 "$startup_runs"); do
    line=""
    bare_line=""
    # The two take turns at going first.
    if [ $((i % 2)) -eq 1 ]; then line=$(start_up "$probe"); fi
    [ "$have_bare" -eq 1 ] && bare_line=$(start_up "$bare_probe")
    if [ $((i % 2)) -eq 0 ]; then line=$(start_up "$probe"); fi
    # The first pair starts Wine's server and fills its caches: not counted.
    [ "$i" -gt 0 ] || continue
    [ -n "$line" ] && runs+=("$line")
    [ -n "$bare_line" ] && bare_runs+=("$bare_line")
    [ -n "$line" ] && [ -n "$bare_line" ] && pairs+=("$(awk '{print $4}' <<< "$line") $(awk '{print $4}' <<< "$bare_line")")
  done
  exec 8>&-  # the console program reads the end of its input and ends
  wait "$session_pid" 2> /dev/null || true
  rm -f "$session_pipe"
  if [ ${#runs[@]} -gt 0 ]; then
    median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR + 1) / 2)]}'; }
    to_main=$(printf '%s\n' "${runs[@]}" | awk '{print $2}' | median)
    to_idle=$(printf '%s\n' "${runs[@]}" | awk '{print $4}' | median)
    main_idle=$(printf '%s\n' "${runs[@]}" | awk '{print $6}' | median)
    all_idle=$(printf '%s\n' "${runs[@]}" | awk '{print $4}' | tr '\n' ' ')
    verdict=met
    awk "BEGIN {exit !($to_idle > 200)}" && verdict="**missed**"
    ratio_row=""
    ratio_summary="| First idle within 1.5× of a bare Win32 program under Wine (median of per-run ratios) | the bare reference did not report | not measured |"
    if [ ${#pairs[@]} -gt 0 ]; then
      bare_idle=$(printf '%s\n' "${bare_runs[@]}" | awk '{print $4}' | median)
      all_bare=$(printf '%s\n' "${bare_runs[@]}" | awk '{print $4}' | tr '\n' ' ')
      ratio=$(printf '%s\n' "${pairs[@]}" | awk '{printf "%.2f\n", $1 / $2}' | median)
      all_ratios=$(printf '%s\n' "${pairs[@]}" | awk '{printf "%.2f ", $1 / $2}')
      ratio_verdict=met
      awk "BEGIN {exit !($ratio > 1.5)}" && ratio_verdict="**missed**"
      ratio_row="| bare Win32 program in C, one window with 18 combo boxes, 18 labels and 4 buttons: process created → first idle moment (reference) | $bare_idle ms (runs: $all_bare) | — |
| Velmora's first idle ÷ the bare program's, median of per-run ratios | ${ratio}× (runs: $all_ratios) | ≤ 1.5×: $ratio_verdict |"
      ratio_summary="| First idle within 1.5× of a bare Win32 program under Wine (median of per-run ratios) | ${ratio}× over ${#pairs[@]} alternating runs (Velmora $to_idle ms, bare $bare_idle ms, medians) | $ratio_verdict |"
    fi
    {
      echo "### Start-up under Wine"
      echo
      echo "\`bench/windows/StartupTime.cpp\` runs the program body of Velmora.exe, with Velmora.exe's resources (its manifest chooses the common controls), and ends its message loop at the main window's first idle moment (stored font applied, engine started). Times from the process's creation as the system records it; median of ${#runs[@]} runs after one warm-up run; Wine's own audio driver (the container has no MIDI devices). Each run alternates with one of the reference, \`bench/windows/BareWindowStartup.c\`: a bare Win32 program in plain C that builds one window with as many controls as the main window's (18 combo boxes, 18 labels, 4 buttons), shows it and ends at its first idle moment."
      echo
      echo "| Measurement | Value | Target |"
      echo "|---|---:|---|"
      echo "| process created → program code starts (Wine's loader, the C++ runtime) | $to_main ms | — |"
      echo "| program code starts → first idle moment | $main_idle ms | — |"
      echo "| process created → first idle moment | $to_idle ms (runs: $all_idle) | ≤ 200 ms: $verdict |"
      [ -n "$ratio_row" ] && echo "$ratio_row"
      echo
    } >> "$windows_md"
    # Where the time goes: each system service the start touches, timed
    # alone on first use, then the program body's own parts.
    breakdown=$(VELMORA_WINE_AUDIO="" timeout 120 tools/wine-run.sh "$probe" --breakdown 2> /dev/null | tr -d '\r' | grep '^step ' || true)
    if [ -n "$breakdown" ]; then
      {
        echo "Where the time goes (one run with \`--breakdown\`: the services first, each on its first use, then the program body, which then finds them warm):"
        echo
        echo "| Step | Time |"
        echo "|---|---:|"
        sed -E 's/^step +(.*[^ ]) +([0-9.]+) ms$/| \1 | \2 ms |/' <<< "$breakdown"
        echo
      } >> "$windows_md"
    fi
    echo "| First idle within 200 ms of start under Wine | $to_idle ms (of which $to_main ms before the program's code runs) | $verdict |" >> "$summary"
    echo "$ratio_summary" >> "$summary"
  else
    echo "The start-up probe did not report under Wine." >> "$windows_md"
    echo "| First idle within 200 ms of start under Wine | the probe did not report | not measured |" >> "$summary"
  fi
else
  echo "The start-up probe did not build in this run (it needs the program body, app/ and ui/, in the Windows build): start-up time is not measured." >> "$windows_md"
  echo >> "$windows_md"
  echo "| First idle within 200 ms of start under Wine | not built | not measured |" >> "$summary"
fi

exit_probe=$windows/bench/velmora_exit_time.exe
if was_built velmora_exit_time && [ -f "$exit_probe" ]; then
  echo "=== exit under Wine"
  # Twice: as the prefix is, and with Wine's X11 windows unmanaged. With no
  # window manager (Xvfb has none), winex11 waits up to 2 s for one to
  # withdraw a managed top-level window that is destroyed; unmanaged, it
  # does not wait. The setting is removed again after the run.
  # Prints the medians of three first exits and three later ones, each as
  # "exit settings-written" milliseconds: four figures.
  exit_run() {
    local kind runs=() line
    for kind in --first ""; do
      runs=()
      for _ in 1 2 3; do
        line=$(VELMORA_WINE_AUDIO="" timeout 120 tools/wine-run.sh "$exit_probe" $kind 2> /dev/null | tr -d '\r' | grep '^exit ' || true)
        [ -n "$line" ] && runs+=("$line")
      done
      [ ${#runs[@]} -gt 0 ] || return 0
      printf '%s\n' "${runs[@]}" | awk '{print $2}' | sort -n | awk '{v[NR]=$1} END {printf "%s ", v[int((NR + 1) / 2)]}'
      printf '%s\n' "${runs[@]}" | awk '{print $4}' | sort -n | awk '{v[NR]=$1} END {printf "%s ", v[int((NR + 1) / 2)]}'
    done
    echo
  }
  x11_key='HKCU\Software\Wine\X11 Driver'
  as_is=$(exit_run)
  # Each change is written and the server ended before the next program,
  # which then starts on a server of its own (as tools/wine-run.sh does).
  x11_managed() {
    WINEPREFIX=$PWD/$windows/wineprefix WINEDEBUG=-all wine reg "$@" > /dev/null 2>&1 || true
    WINEPREFIX=$PWD/$windows/wineprefix wineserver -w
  }
  x11_managed add "$x11_key" /v Managed /t REG_SZ /d N /f
  unmanaged=$(exit_run)
  x11_managed delete "$x11_key" /v Managed /f
  if [ "$(wc -w <<< "$as_is")" = 4 ] && [ "$(wc -w <<< "$unmanaged")" = 4 ]; then
    read -r m_first m_first_written m_later m_later_written <<< "$as_is"
    read -r u_first u_first_written u_later u_later_written <<< "$unmanaged"
    verdict=met
    awk "BEGIN {exit !($u_first_written >= 100)}" && verdict="not shown by this bound"
    {
      echo "### Exit under Wine"
      echo
      echo "\`bench/windows/ExitTime.cpp\` runs the program body to its first idle moment and times what follows the end of its message loop: the dialogs and the main window store their positions and the font and go, then the engine stores its settings and closes the ports. *Settings written* is the settings file's last write, from the end of the loop: an upper bound of the settings work, which includes the windows' destruction before it. The first exit finds no settings file and writes a new one; the later one replaces it. Medians of three runs each; Wine's own audio driver."
      echo
      echo "| Windows of the X11 driver | First exit: whole / settings written | Later exit: whole / settings written |"
      echo "|---|---:|---:|"
      echo "| managed (Wine's default; no window manager runs here) | $m_first / $m_first_written ms | $m_later / $m_later_written ms |"
      echo "| unmanaged (no wait for a window manager) | $u_first / $u_first_written ms | $u_later / $u_later_written ms |"
      echo
      echo "The difference between the rows is Wine's X11 driver waiting, as the main window is destroyed, for a window manager that does not run here."
      echo
    } >> "$windows_md"
    echo "| The first exit's settings work under 100 ms under Wine | settings file written $u_first_written ms after the loop ended, windows' destruction included (unmanaged X11 windows; managed: $m_first_written ms, Wine's wait for a window manager) | $verdict |" >> "$summary"
  else
    echo "The exit probe did not report under Wine." >> "$windows_md"
    echo >> "$windows_md"
  fi
fi

if was_built velmora_timer_lateness && was_built winevmidi && [ -f "$wine_timer" ]; then
  echo "=== lateness over the multimedia timer under Wine"
  {
    echo "### Lateness over the multimedia timer under Wine"
    echo
    echo "The Windows tests' own program (\`tests/windows/TimerLateness.cpp\`, by the Windows backend), run unchanged with $wine_messages messages per interval: the real backend, Wine's winmm timer and the virtual MIDI driver, which stamps every arrival with the performance counter. *timer*: arrival − (moment the engine queued it + delay); *end to end*: the same from the moment the driver posted the input."
    echo
  } >> "$windows_md"
  if VELMORA_WINE_AUDIO=vmidi timeout 600 tools/wine-run.sh "$wine_timer" "$wine_messages" 2> "$out/wine-timer.err" | tr -d '\r' > "$out/wine-timer.txt"; then
    status=0
  else
    status=$?
  fi
  cat "$out/wine-timer.txt" >> "$windows_md"
  echo >> "$windows_md"
  if [ "$status" -ne 0 ]; then
    echo "(The program ended with status $status: it found lost, reordered or early messages, or did not finish; see \`$out/wine-timer.err\`.)" >> "$windows_md"
    echo >> "$windows_md"
  fi
  wine_rows=$(grep -E '^\| [14] ms' "$out/wine-timer.txt" | awk -F'|' '{gsub(/ /, "", $2); gsub(/^ +| +$/, "", $6); gsub(/^ +| +$/, "", $7); printf "%s%s: p99 %s, max %s", sep, $2, $6, $7; sep="; "}')
  echo "| Lateness over the real multimedia timer under Wine (figures for reference; targets judged above) | ${wine_rows:-no figures} | — |" >> "$summary"
else
  echo "The Wine timer lateness program (tests/windows/TimerLateness.cpp) did not build in this run: no figures over the real multimedia timer." >> "$windows_md"
  echo >> "$windows_md"
fi

# The routes beside their bare references, over the virtual MIDI driver.
for program in thru_latency tick_lateness; do
  if was_built "velmora_$program" && was_built winevmidi; then
    echo "=== $program under Wine (a few minutes)"
    args_name=${program%%_*}_args[@]
    VELMORA_WINE_AUDIO=vmidi timeout 1200 tools/wine-run.sh "$windows/bench/velmora_$program.exe" "${!args_name}" \
        --markdown="$windows_md" --summary="$summary" > "$out/wine-$program.txt" 2>&1 \
      || echo "bench.sh: velmora_$program did not finish; see $out/wine-$program.txt"
  else
    echo "velmora_$program did not build in this run: its figures are missing." >> "$windows_md"
    echo >> "$windows_md"
  fi
done

cat >> "$windows_md" <<'EOF'
### Timer resolution of a hidden or minimised window (Windows 11)

`platform/win32/TimerResolutionOptOut.cpp` opts the process out of timer-resolution throttling (`SetProcessInformation` with `ProcessPowerThrottling`, control mask `PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION`, state 0), looked up at run time in kernel32 and skipped where absent. Wine has no such throttling, so there is nothing to measure here; on Windows 11 the check is a 1 ms-interval lateness run with the window minimised.

EOF
if grep -qs "OptOutOfTimerResolutionThrottling()" platform/win32/TimerCalls.cpp; then
  echo "The Windows backend calls it before it asks for a timer resolution." >> "$windows_md"
else
  echo "**Not called yet**: the Windows backend's \`timeBeginPeriod\` (\`platform/win32/TimerCalls.cpp\`) is to call \`platform::win32::OptOutOfTimerResolutionThrottling()\` once before it asks for a resolution." >> "$windows_md"
fi
echo >> "$windows_md"

load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# --- results.md ----------------------------------------------------------
cpu=$(lscpu 2> /dev/null | awk -F: '/^Model name/ {gsub(/^ +/, "", $2); print $2; exit}')
memory=$(awk '/^MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)
commit=$(git rev-parse --short HEAD 2> /dev/null || echo "?")
git diff --quiet HEAD -- 2> /dev/null || commit="$commit (with uncommitted changes in the tree)"
wine_version=$(wine --version 2> /dev/null || echo "none")
{
  echo "# Velmora benchmark results"
  echo
  echo "| Machine | |"
  echo "|---|---|"
  echo "| Date | $(date -u '+%Y-%m-%d %H:%M UTC') |"
  echo "| System | $(uname -srm) |"
  echo "| Processor | ${cpu:-unknown}, $(nproc) cores available |"
  echo "| Memory | $memory |"
  echo "| Compiler | $(g++ --version | head -1); Google Benchmark $(dpkg-query -W -f='${Version}' libbenchmark-dev 2> /dev/null || echo '?') |"
  echo "| Wine | $wine_version |"
  echo "| Source | commit $commit |"
  echo "| Load average (1, 5, 15 min) | $load_before before the runs, $load_after after |"
  [ "$quick" -eq 1 ] && echo "| Mode | **--quick: shortened runs, not figures to keep** |"
  echo
  echo "The machine is shared with other work, so every timing figure carries that load; the lateness tables show, beside each figure, the ideal reference measured in the same run under the same load. \`bench/README.md\` says how each benchmark works and how to run one alone."
  echo
  echo "## Targets"
  echo
  echo "| Target | Measured | Outcome |"
  echo "|---|---|---|"
  cat "$summary"
  echo
  for part in "$out"/[0-9]-*.md; do
    cat "$part"
    echo
  done
} > bench/results.md

echo "bench.sh: wrote bench/results.md"
