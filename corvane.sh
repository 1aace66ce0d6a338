#!/usr/bin/env bash
# corvane.sh -- one entry point for building, testing and flying the add-on on a Debian machine.
#   ./corvane.sh mission        install what is needed, build, fly the default mission
#   ./corvane.sh test           install what is needed, build, run the whole test suite
#   ./corvane.sh test-sanitize  the same suite built with AddressSanitizer + UBSan
#   ./corvane.sh bench          build optimised and run the benchmarks
#   ./corvane.sh meshes         regenerate addon/Meshes and addon/Textures (tools/meshgen)
#   ./corvane.sh deps | build
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libcairo2-dev libosmesa6-dev fonts-dejavu-core)
DEFAULT_SCENARIO="Corvane/Mission"

deps() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
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

case "${1:-}" in
  deps) deps ;;
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
  test) deps; build dev; ctest --preset dev ;;
  test-sanitize)
    deps; build asan
    ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tools/lsan-suppressions.txt" ctest --preset asan
    ;;
  bench)
    deps; build release
    for b in build/release/bench/*_bench; do [ -x "$b" ] && "$b"; done
    ;;
  *)
    sed -n '2,8p' "$0" >&2
    exit 2
    ;;
esac
