#!/usr/bin/env bash
# Planted-fault check: applies each fault patch of an area in turn, rebuilds, runs the
# tests the patch names and reports whether they caught it. A fault no test catches
# means the tests of that area lost (or never had) their grip on that line.
#
#   tests/faults/run.sh AREA [PATCH...]     (AREA is a folder under tests/faults/)
#
# A patch is a `git diff` of product code, preceded by one header line:
#   Tests: CTEST_REGEX          ctest tests to run (Release build in build/faults)
#   Node: FILE...               or node --test files (the page's logic)
# DX_FAULT_TARGETS (optional): the ninja targets to rebuild instead of everything.
set -uo pipefail
cd "$(dirname "$0")/../.."
area=${1:?usage: tests/faults/run.sh AREA [PATCH...]}
shift
patches=("$@")
((${#patches[@]})) || patches=(tests/faults/"$area"/*.patch)
build=build/faults
read -r -a targets <<<"${DX_FAULT_TARGETS:-}"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDX_BENCH=OFF >/dev/null || exit 1
fi
caught=0 missed=0
for patch in "${patches[@]}"; do
  name=$(basename "$patch" .patch)
  header=$(head -1 "$patch")
  if ! git apply "$patch"; then
    echo "$name: does not apply" >&2
    exit 1
  fi
  result=missed
  if ! ninja -C "$build" "${targets[@]}" >/dev/null 2>&1; then
    result=caught # a fault the compiler refuses is caught too
  else
    case "$header" in
      Tests:*)
        out=$(ctest --test-dir "$build" -R "${header#Tests: }" --no-tests=error -j 2 2>&1) ||
          result=caught
        # A test that was not built, or a regex that names none, fails without catching.
        if grep -qE 'Not Run|NOT_BUILT|No tests were found' <<<"$out"; then
          result=unrun
        fi ;;
      Node:*)
        # shellcheck disable=SC2086
        DX_BUILD_DIR=$PWD/$build node --test ${header#Node: } >/dev/null 2>&1 || result=caught ;;
      *) echo "$name: first line must be 'Tests: REGEX' or 'Node: FILES'" >&2 ;;
    esac
  fi
  git apply -R "$patch"
  if [ $result = caught ]; then caught=$((caught + 1)); else missed=$((missed + 1)); fi
  echo "$name: $result"
done
ninja -C "$build" "${targets[@]}" >/dev/null 2>&1
echo "$area: $caught caught, $missed missed"
[ "$missed" -eq 0 ]
