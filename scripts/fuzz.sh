#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time (FUZZ_SECONDS, default 120),
# or until FUZZ_RUNS executions when that is set (still bounded by FUZZ_SECONDS if both are given).
# FUZZ_TARGETS picks the targets (default: md2 tga pcx image pak zip).
# A crash becomes a small file under tests/fuzz/regressions/, which `make test` replays from then on.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-120}
runs=${FUZZ_RUNS:--1}
if [ -n "${FUZZ_RUNS:-}" ] && [ -z "${FUZZ_SECONDS:-}" ]; then
  seconds=0  # no time limit: stop on the execution count
fi
build=${FUZZ_BUILD:-build-fuzz}
shared=${BREVANT_FIXTURES:-$(cd .. && pwd)/shared}

CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBREVANT_FUZZ=ON -DBREVANT_TESTS=OFF -DBREVANT_TOOLS=OFF -DBREVANT_VIEWER=OFF >/dev/null
cmake --build "$build"

for format in md2 tga pcx image pak zip; do mkdir -p "$build/corpus/$format"; done
"$build/makeFuzzSeeds" "$build/corpus/md2" "$build/corpus/tga" "$build/corpus/pcx" "$build/corpus/image" \
  "$build/corpus/pak" "$build/corpus/zip"

status=0
for format in ${FUZZ_TARGETS:-md2 tga pcx image pak zip}; do
  corpus="$build/corpus/$format"
  artifacts="$build/artifacts/$format"
  mkdir -p "$corpus" "$artifacts"
  # Seeds: small files from the test builders, the small real third-party files, and every earlier finding.
  # Large files would make every execution slow; the builders' files reach the same code.
  # The skin decoder also reads TGA files, so it starts from the real TGA files too.
  fixtures=$format
  [ "$format" = image ] && fixtures=tga
  if [ -d "$shared/fixtures/$fixtures" ]; then
    find "$shared/fixtures/$fixtures" -name "*.$fixtures" -size -20k -exec cp -n {} "$corpus"/ \;
  fi
  cp -n tests/fuzz/regressions/"$format"/* "$corpus"/ 2>/dev/null || true

  echo "== fuzz_$format (seconds: $seconds, runs: $runs)"
  set +e
  "$build/fuzz_$format" "$corpus" -dict="tests/fuzz/$format.dict" -max_total_time="$seconds" -runs="$runs" \
    -timeout=10 -rss_limit_mb=2048 -max_len=${FUZZ_MAX_LEN:-4096} -print_final_stats=1 \
    -artifact_prefix="$artifacts/" 2>"$build/fuzz_$format.log"
  result=$?
  set -e
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$build/fuzz_$format.log" || true
  if [ $result -ne 0 ]; then
    status=1
    for found in "$artifacts"/*; do
      [ -f "$found" ] || continue
      name=$(sha1sum "$found" | cut -c1-16)
      cp "$found" "tests/fuzz/regressions/$format/$name.$format"
      echo "finding saved as tests/fuzz/regressions/$format/$name.$format (see $build/fuzz_$format.log)"
    done
  fi
done
exit $status
