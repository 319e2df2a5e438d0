#!/usr/bin/env bash
# check_package.sh DEB SAMPLES WORK - the .deb as a user gets it: unpacked into a scratch
# root, its dxfilter run from there with none of our environment (no QOR_* variable, no
# library path), then a host built against the unpacked kit with its CMake package and
# with its pkg-config file.
set -euo pipefail
deb=$(realpath "$1")
samples=$(realpath "$2")
work=$3
here=$(cd "$(dirname "$0")" && pwd)

fail() {
  echo "check_package: $*" >&2
  exit 1
}

rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")
dpkg-deb -x "$deb" "$work/root"
usr=$work/root/usr
run() { env -i PATH=/usr/bin:/bin HOME="$work" LANG=C.UTF-8 "$@"; }

# The programs find their modules, catalogs and the kit from where they lie.
formats=$(run "$usr/bin/dxfilter" formats) || fail "dxfilter formats failed"
for f in IFC STEP; do
  grep -qx "$f" <<<"$formats" || fail "dxfilter formats does not list $f (got: ${formats//$'\n'/ })"
done
run "$usr/bin/dxfilter" generate IFC "$samples/SampleHouse.ifc" -o "$work/house.filter.json" ||
  fail "dxfilter generate failed"
table=$(run "$usr/bin/dxfilter" resolve "$work/house.filter.json" --table) ||
  fail "dxfilter resolve failed"
grep -q "IfcWall" <<<"$table" || fail "the resolved table has no wall"
# Column titles come from the installed catalogs; without them the keys show.
grep -q "Elevation" <<<"$table" || fail "the resolved table has no Elevation column"
! grep -q "DXIfcProvider\." <<<"$table" || fail "catalog keys in the table: catalogs not found"
for asset in webapps/DXInputFilterDisplay/FilterJS.html webapps/DXInputFilterDisplay/FilterBundle.js \
  webapps/vendor/require.js __qor/window.html; do
  [ -s "$usr/share/dx-input-filtering/web/$asset" ] || fail "page asset $asset is not installed"
done

expect_host() { # output of a consumer run
  grep -qx "INPUT_IFC_FILTER" <<<"$1" || fail "$2: the IFC provider did not register"
  grep -qx "Elevation" <<<"$1" || fail "$2: the installed catalog was not read"
}

# A host built with find_package(DataExchangeInputFiltering).
cmake -S "$here/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$usr" >/dev/null ||
  fail "the consumer project does not configure against the package"
ninja -C "$work/consumer" >/dev/null || fail "the consumer project does not build against the package"
expect_host "$(run "$work/consumer/consumer")" "CMake consumer"

# The same host with pkg-config.
export PKG_CONFIG_PATH=$usr/lib/pkgconfig
pc=dx-input-filtering
# shellcheck disable=SC2046
g++ -std=c++20 -Wall -Wextra -Werror -o "$work/consumer-pc" "$here/consumer/consumer.cpp" \
  $(pkg-config --cflags --libs $pc) || fail "the consumer does not build with pkg-config"
expect_host "$(run "$work/consumer-pc" "$(pkg-config --variable=moduledir $pc)" \
  "$(pkg-config --variable=catalogdir $pc)")" "pkg-config consumer"
echo "package checked: $(basename "$deb")"
