#!/usr/bin/env bash
# corvane.sh -- one entry point for building, testing and flying the add-on on a Debian machine.
#   ./corvane.sh mission        install what is needed, build, fly the default mission
#   ./corvane.sh test           install what is needed, build, run the whole test suite
#   ./corvane.sh test-sanitize  the same suite built with AddressSanitizer + UBSan
#   ./corvane.sh bench          build optimised and run the benchmarks
#   ./corvane.sh fuzz [SECONDS [TARGET...]]  build the fuzz targets (clang, ASan+UBSan) and run each
#                               (or those named: scenario save inputs mesh class) for SECONDS
#                               (default 60) from the shipped files; fails when one finds a crash
#   ./corvane.sh meshes         regenerate addon/Meshes and addon/Textures (tools/meshgen)
#   ./corvane.sh sounds         regenerate addon/Sound, the helicopter's waves (tools/soundgen)
#   ./corvane.sh package        the release zips in build/package/: the modules built against the
#                               simulator's Linux port with the data and the pilot's guide, and the
#                               data and module sources for Windows builders
#   ./corvane.sh real-core [SCENARIO...]
#                               build the simulator's own core (its Linux port), unpack the port's
#                               package into a fresh root of it, and fly the scenarios there
#   ./corvane.sh save-anywhere [--core] [SCENARIO...|all]
#                               save a flight at many moments, reload each save and fly on, compare
#                               with the flight uninterrupted (default: a subset; all: every scenario;
#                               --core: in the simulator's own core, the mission saved every 200 s)
#   ./corvane.sh compare [SCENARIO...|all]
#                               fly the short probe flights (or the scenarios named, or all of them) in
#                               the core and in the stand-in with the same inputs and set them side by
#                               side (build/compare/); exits 3 when one differs beyond its tolerances
#   ./corvane.sh deps | build
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake g++ make pkg-config python3 libgtest-dev libgmock-dev libbenchmark-dev libcairo2-dev libosmesa6-dev fonts-dejavu-core graphviz)
DEFAULT_SCENARIO="Corvane/Mission"
# What the fuzz build needs besides: clang and its libFuzzer and sanitizer runtimes.
FUZZ_PACKAGES=(clang libclang-rt-dev)

deps() {  # deps [extra packages...]
  local missing=()
  for p in "${PACKAGES[@]}" "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "installing: ${missing[*]}" >&2
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

build() {  # build <preset>
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
}

scenario_or_default() {
  local root="$1" name="${2:-$DEFAULT_SCENARIO}"
  if [ ! -e "$root/Scenarios/$name.scn" ] && [ "$name" = "$DEFAULT_SCENARIO" ]; then
    name="Corvane/Bus cruise"  # until the whole mission is there
  fi
  echo "$name"
}

# fuzz_seeds <dir> <find pattern> <target>: the shipped files of one kind and the inputs that once
# crashed the target (fuzz/regressions/<target>/), copied flat into <dir>.
fuzz_seeds() {
  local dir="$1" pattern="$2" target="$3"
  rm -rf "$dir"
  mkdir -p "$dir"
  if [ -d "fuzz/regressions/$target" ]; then cp "fuzz/regressions/$target"/* "$dir/"; fi
  find addon -type f -name "$pattern" -print0 |
    while IFS= read -r -d '' f; do cp "$f" "$dir/$(echo "${f#addon/}" | tr '/ ' '__')"; done
  if [ "$target" = mesh ]; then  # the shipped meshes cut down to a few vertices a group
    python3 fuzz/small_meshes.py "$dir" "$dir.small" && rm -f "$dir"/Meshes_* && mv "$dir.small"/* "$dir/" && rmdir "$dir.small"
  fi
}

# fuzz [SECONDS [TARGET...]]: each target (or the named ones) for SECONDS, its corpus kept in build/fuzz/corpus/<target> between
# runs, crashing inputs written to build/fuzz/crashes/<target>/; fails when any target crashed.
fuzz() {
  local seconds="${1:-60}" b=build/fuzz failed=()
  case "$seconds" in ''|*[!0-9]*) echo "corvane.sh fuzz: SECONDS must be a whole number" >&2; exit 2 ;; esac
  [ $# -gt 0 ] && shift
  local only=" $* "
  deps "${FUZZ_PACKAGES[@]}"
  build fuzz
  local t pattern
  for t in scenario:'*.scn' save:'*.scn' inputs:'*.inputs' mesh:'*.msh' class:'*.cfg'; do
    pattern="${t#*:}"; t="${t%%:*}"
    [ "$only" = "  " ] || [[ "$only" == *" $t "* ]] || continue
    fuzz_seeds "$b/seeds/$t" "$pattern" "$t"
    mkdir -p "$b/corpus/$t" "$b/crashes/$t"
    echo "== fuzz_$t: ${seconds} s" >&2
    if ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
       "$b/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
         -artifact_prefix="$b/crashes/$t/" "$b/corpus/$t" "$b/seeds/$t" >"$b/fuzz_$t.log" 2>&1; then
      echo "fuzz_$t: no crash; $(grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$b/fuzz_$t.log" |
        sed 's/^stat:://' | tr '\n' ' ')" >&2
    else
      tail -n 60 "$b/fuzz_$t.log" >&2
      echo "fuzz_$t: FAILED (log $b/fuzz_$t.log, inputs in $b/crashes/$t/)" >&2
      failed+=("fuzz_$t")
    fi
  done
  if ((${#failed[@]})); then
    echo "fuzzing found crashes in: ${failed[*]}" >&2
    return 1
  fi
}

# core_build: the core from ../shared/real-host (or CORVANE_REAL_HOST) built into
# build/real-core/core (again only when its source changed); sets CORE_ROOT (its runtime root, with
# the SDK) and CORE_RUN (its run script).
REAL_CORE_PACKAGES=(libglm-dev python3)  # besides the core's own list: its math headers
core_build() {
  local rh="${CORVANE_REAL_HOST:-../shared/real-host}"
  [ -x "$rh/build" ] && [ -x "$rh/run" ] || { echo "corvane.sh: no core at $rh (set CORVANE_REAL_HOST)" >&2; exit 2; }
  rh="$(cd "$rh" && pwd -P)"
  local core_pkgs=()
  mapfile -t core_pkgs < <(grep -v '^[[:space:]]*\(#\|$\)' "$rh/packages")
  deps "${REAL_CORE_PACKAGES[@]}" "${core_pkgs[@]}"
  local b="$PWD/build/real-core" stamp
  mkdir -p "$b/core"
  stamp="$(cd "$rh" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 sha1sum | sha1sum | cut -d' ' -f1)"
  if [ ! -x "$b/core/root/Orbiter" ] || [ "$(cat "$b/core/source.sha1" 2>/dev/null)" != "$stamp" ]; then
    echo "== building the core from $rh" >&2
    rm -f "$b/core/source.sha1"
    JOBS="$(nproc)" NO_APT=1 "$rh/build" "$b/core" >/dev/null 2>"$b/core/build.log" ||
      { tail -n 40 "$b/core/build.log" >&2; echo "corvane.sh: the core did not build (log $b/core/build.log)" >&2; exit 1; }
    echo "$stamp" >"$b/core/source.sha1"
  fi
  CORE_ROOT="$b/core/root"
  CORE_RUN="$rh/run"
}

# package: the release zips in build/package/ (CPack, cmake/package.cmake): the five modules built
# against the core's SDK as real_core flies them, the data, and the guide with the pictures of the
# stand-in's runs (target guide of the dev build); then their listing checked (package_listing_test).
PACKAGE_DIR="build/package"
package() {
  core_build
  build dev >/dev/null
  cmake --build --preset dev --target guide >/dev/null
  local b="$PWD/$PACKAGE_DIR"
  rm -f "$b"/Corvane-*.zip
  cmake -S . -B "$b/build" -DCORVANE_PORT_ROOT="$CORE_ROOT" -DCMAKE_BUILD_TYPE=Release \
    -DCORVANE_GUIDE_DIR="$PWD/build/dev/guide/Corvane" -DCORVANE_PACKAGE_DIR="$b" >/dev/null
  cmake --build "$b/build" -j 2 >/dev/null
  (cd "$b/build" && cpack -G ZIP >/dev/null)
  ctest --test-dir build/dev -R '^package_listing_test$' --output-on-failure >&2
  ls -l "$b"/Corvane-*.zip >&2
}

# real_core [SCENARIO...]: a fresh root of the core with the add-on unpacked from the port's package
# (nothing else of ours), beside it the test-only harness plugin and probe flights, and the scenarios
# flown in it (realcore/fly.py).
real_core() {
  core_root
  python3 realcore/fly.py --root "$PWD/build/real-core/root" --runs "$PWD/build/real-core/runs" --run-script "$CORE_RUN" "$@"
}

# core_root: build/real-core/root, the fresh root the scenarios fly in (real_core above).
core_root() {
  package
  local b="$PWD/build/real-core" zip
  zip="$(ls "$PWD/$PACKAGE_DIR"/Corvane-*-linux-port-*.zip)"
  rm -rf "$b/root" "$b"/root.*
  cp -a "$CORE_ROOT" "$b/root"
  (cd "$b/root" && cmake -E tar xf "$zip")
  # Test-only extras, not in any package: the harness plugin that plays the inputs and the pilot,
  # and the probe flights (short flights that measure one host behaviour) with their class.
  cmake --install "$PWD/$PACKAGE_DIR/build" --component harness --prefix "$b/root" >/dev/null
  cp probes/*.scn probes/*.inputs "$b/root/Scenarios/Corvane/"
  cp -r probes/Config/. "$b/root/Config/"
  # The display mode and the harness are plugins the core loads at start.
  sed -i 's/^ACTIVE_MODULES$/ACTIVE_MODULES\n  CorvaneMFD4\n  CorvaneHarness/' "$b/root/Orbiter_NG.fixture.cfg"
}

# compare [SCENARIO...|all]: each flown in the core (real_core) and then in the stand-in with the
# inputs the core played (realcore/compare.py), from a stand-in root that holds the probes' classes too.
compare() {
  deps; build dev >/dev/null
  local names=()
  mapfile -t names < <(python3 realcore/compare.py --list "$@")
  ((${#names[@]})) || exit 2
  real_core "${names[@]}" || echo "corvane.sh compare: the core's own checks failed (build/real-core/runs); comparing" >&2
  rm -rf build/compare/root
  mkdir -p build/compare
  cp -rL build/dev/addon build/compare/root  # copies, not links: the probes' classes stay out of the sources
  cp -r probes/Config/. build/compare/root/Config/
  python3 realcore/compare.py --sim build/dev/bin/corvane-sim --addon build/compare/root \
    --core-runs build/real-core/runs --out build/compare "${names[@]}"
}

case "${1:-}" in
  deps) deps ;;
  compare) shift; compare "$@" ;;
  build) deps; build dev ;;
  mission)
    deps; build dev >/dev/null
    shift
    root="build/dev/addon"
    name="$(scenario_or_default "$root" "${1:-}")"
    [ $# -gt 0 ] && shift
    exec build/dev/bin/corvane-sim run "$name" --root "$root" --out build/dev/mission "$@"
    ;;
  meshes)
    deps; cmake --preset dev >/dev/null
    cmake --build --preset dev --target meshes
    ;;
  sounds)
    deps; cmake --preset dev >/dev/null
    cmake --build --preset dev --target sounds
    ;;
  test) deps; build dev; ctest --preset dev ;;
  test-sanitize)
    deps; build asan
    ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tools/lsan-suppressions.txt" ctest --preset asan
    ;;
  fuzz) shift; fuzz "$@" ;;
  real-core) shift; real_core "$@" ;;
  package) package ;;
  save-anywhere)
    shift
    if [ "${1:-}" = --core ]; then
      # In the simulator's own core: the mission saved every 200 s (a core flight takes minutes).
      shift
      core_root
      [ $# -gt 0 ] || set -- "Corvane/Mission"
      exec python3 tools/save_anywhere.py --core "$CORE_RUN" --root build/real-core/root --out build/save-anywhere/core \
        --every 200 --jobs 2 --extra "60 warp 10" --extra "240 warp 1" "$@"
    fi
    deps python3; build dev >/dev/null
    if [ $# -eq 0 ]; then
      set -- "Corvane/Bus cruise" "Corvane/Catch"
    elif [ "$1" = all ]; then
      mapfile -t names < <(cd build/dev/addon/Scenarios && find . -name '*.scn' | sed 's|^\./||; s|\.scn$||' | sort)
      set -- "${names[@]}"
    fi
    python3 tools/save_anywhere.py --sim build/dev/bin/corvane-sim --root build/dev/addon --out build/save-anywhere "$@"
    ;;
  bench)
    deps; build release
    for b in build/release/bench/*_bench; do [ -x "$b" ] && "$b"; done
    ;;
  *)
    sed -n '2,26p' "$0" >&2
    exit 2
    ;;
esac
