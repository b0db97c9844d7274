#!/usr/bin/env bash
# Builds the Windows programs (scripts/build-windows.sh) and runs them under Wine:
#   scripts/test-windows.sh [x86_64|i686]...   (default: both; the i686 tests only where
#                                              32-bit Wine is installed and runs)
# For each architecture it checks that the plug-in module exports exactly its three
# entry points, then runs the brix, kiln, plug-in and module test programs. The module
# tests load TessalineExporter.mll into the stand-in host with LoadLibrary and export and
# import through it. Each architecture runs in a mount namespace of its own with a small
# tmpfs mounted, on which the write-failure tests fill the volume (Windows has no file
# size limit for a process); without the rights to mount it those tests are skipped.
# Ends with one line "windows: N passed, N failed, N skipped".
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build-windows

# Inside the namespace: mount the small volume, run the programs of one architecture.
if [ "${1:-}" = --in-namespace ]; then
  arch=$2 wine=$3 summary=$4
  volume=$out/$arch/small-volume
  mkdir -p "$volume"
  if mount -t tmpfs -o size=256k tmpfs "$volume" 2>/dev/null; then
    export TESSALINE_SMALL_VOLUME="Z:$volume"
  else
    echo "   (no small volume could be mounted: the write-failure tests are skipped)"
  fi
  passed=0 failed=0 skipped=0
  for program in brix_tests kiln_tests plugin_tests tools_tests; do
    log=$out/$arch/$program.log
    set +e
    "$wine" "$out/$arch/bin/$program.exe" --gtest_brief=1 >"$log" 2>&1
    code=$?
    set -e
    p=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log" | tail -1)
    f=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below.*/\1/p' "$log" | tail -1)
    s=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\{0,1\}[.,].*/\1/p' "$log" | tail -1)
    p=${p:-0} f=${f:-0} s=${s:-0}
    # A program that ended without its summary (a crash) counts as one failure.
    if [ "$code" -ne 0 ] && [ "$f" -eq 0 ]; then f=1; fi
    printf '   %-14s %4d passed, %d failed, %d skipped\n' "$program" "$p" "$f" "$s"
    if [ "$f" -ne 0 ]; then cat "$log"; fi
    passed=$((passed + p)) failed=$((failed + f)) skipped=$((skipped + s))
  done
  echo "$passed $failed $skipped" >"$summary"
  exit 0
fi

scripts/install-windows-deps.sh
arches=("$@")
if [ ${#arches[@]} -eq 0 ]; then
  arches=(x86_64)
  # 32-bit Wine where it is installed and the machine can run it; otherwise the 32-bit
  # module is only built.
  if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    arches+=(i686)
  else
    echo "32-bit Wine cannot run here: the i686 module is built, its tests are not"
    scripts/build-windows.sh --module i686
  fi
fi
scripts/build-windows.sh "${arches[@]}"

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
total_passed=0 total_failed=0 total_skipped=0

# The module of ARCH exports its three entry points and nothing else.
check_exports() {
  local triplet=$1-w64-mingw32 exports
  exports=$("$triplet-objdump" -p "$out/$1/bin/TessalineExporter.mll" |
            sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
  echo "   $1 TessalineExporter.mll exports: $exports"
  if [ "$exports" = "MApiVersion initializePlugin uninitializePlugin " ]; then
    total_passed=$((total_passed + 1))
  else
    echo "   expected exactly: MApiVersion initializePlugin uninitializePlugin" >&2
    total_failed=$((total_failed + 1))
  fi
}
[ -f "$out/i686/bin/TessalineExporter.mll" ] && [[ " ${arches[*]} " != *" i686 "* ]] && check_exports i686
for arch in "${arches[@]}"; do
  case "$arch" in
    x86_64) wine=/usr/lib/wine/wine64; export WINEARCH=win64 ;;
    i686) wine=/usr/lib/wine/wine; export WINEARCH=win32 ;;
    *) echo "unknown architecture: $arch" >&2; exit 2 ;;
  esac
  echo "== Windows $arch under Wine"

  check_exports "$arch"

  export WINEPREFIX=$out/wine-$arch
  if [ ! -f "$WINEPREFIX/system.reg" ]; then "$wine" wineboot --init >/dev/null 2>&1 || true; fi
  # Wine opens files in its server: the server must start inside the namespace, so the
  # one left from creating the prefix is waited for first.
  wineserver -w || true
  summary=$out/$arch/summary
  rm -f "$summary"
  if unshare --mount --propagation private true 2>/dev/null; then
    unshare --mount --propagation private "$0" --in-namespace "$arch" "$wine" "$summary"
  else
    "$0" --in-namespace "$arch" "$wine" "$summary"
  fi
  wineserver -w || true
  read -r p f s <"$summary"
  total_passed=$((total_passed + p)) total_failed=$((total_failed + f)) total_skipped=$((total_skipped + s))
done

echo "windows: $total_passed passed, $total_failed failed, $total_skipped skipped"
[ "$total_failed" -eq 0 ]
