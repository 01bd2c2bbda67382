#!/usr/bin/env bash
# The program, the stand-in and the recorder built again from the same sources in another folder
# (a longer path, another hour) must be the same bytes as this tree's: no folder in the debug
# information, the commit's time in the PE headers. No Wine.
# Usage: reproducible.sh SOURCE_DIR BUILD_DIR  (BUILD_DIR is build/<preset>, built)
set -uo pipefail
source_dir=$1 build_dir=$2
preset=$(basename "$build_dir")
files=(bin/QemUtil.exe bin/sim/Varnel.dll bin/recorder/Varnel.dll)
for f in "${files[@]}"; do
  [ -f "$build_dir/$f" ] || { echo "FAIL: $build_dir/$f is not built"; exit 1; }
done
epoch=$(cat "$build_dir/source-date-epoch" 2>/dev/null)
[ -n "$epoch" ] || { echo "FAIL: $build_dir/source-date-epoch is empty (no commit time)"; exit 1; }

scratch=$(mktemp -d /tmp/qemutil-reproducible.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
other=$scratch/another/folder/QemUtil-source
mkdir -p "$other"
# The working tree as it is (tracked and new files, not the ignored build folders).
git -C "$source_dir" ls-files -z --cached --others --exclude-standard |
  (cd "$source_dir" && tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$other"
started=$SECONDS
(cd "$other" && SOURCE_DATE_EPOCH=$epoch cmake --preset "$preset" &&
  SOURCE_DATE_EPOCH=$epoch cmake --build --preset "$preset" --target QemUtil Varnel recorder) \
  >"$scratch/build.log" 2>&1 || { echo "FAIL: the second build failed:"; tail -20 "$scratch/build.log"; exit 1; }
echo "built again in $other ($((SECONDS - started)) s)"

failures=0
for f in "${files[@]}"; do
  if difference=$(cmp "$build_dir/$f" "$other/build/$preset/$f"); then
    echo "$f: the same $(stat -c %s "$build_dir/$f") bytes, sha256 $(sha256sum <"$build_dir/$f" | cut -c1-16)..."
  else
    echo "FAIL: $f differs: $difference"
    failures=$((failures + 1))
  fi
done
((failures == 0)) || exit 1
echo "reproducible: passed"
