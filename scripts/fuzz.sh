#!/usr/bin/env bash
# Builds and runs libFuzzer targets with clang.
#   scripts/fuzz.sh deflate 60     the Deflate decoder, against zlib's, for 60 seconds
#   scripts/fuzz.sh archive 60     the ZIP archive reader
#   scripts/fuzz.sh tokenizer 60   the block tokenizer's scanner, against the regex engine
#   scripts/fuzz.sh import 60      the importer over the stand-in host
#   scripts/fuzz.sh engine 60      the engine reader (engine/tsl.h) and its helpers
#   scripts/fuzz.sh all 60         each of the five in turn, 60 seconds each
# The tree is configured into build-fuzz/ with -DTESSALINE_FUZZ=ON, which builds the
# targets from the layers' own libraries, every library instrumented. The growing corpus
# is kept in build-fuzz/corpus/TARGET and any failing input is written to
# build-fuzz/artifacts/. Seeds: the rig goldens for the importer and the tokenizer, the
# committed ZIP fixtures for the archive reader, and raw Deflate streams made with
# Python's zlib (stored, fixed and dynamic blocks) for the decoder.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/fuzz.sh deflate|archive|tokenizer|import|engine|all [seconds]}
seconds=${2:-60}
targets=("$target")
case "$target" in
  deflate|archive|tokenizer|import|engine) ;;
  all) targets=(deflate archive tokenizer import engine) ;;
  *) echo "unknown target: $target" >&2; exit 2 ;;
esac
command -v clang++ >/dev/null || { echo "clang++ is needed for the fuzz targets" >&2; exit 1; }

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSALINE_FUZZ=ON -DTESSALINE_BENCH=OFF -DTESSALINE_TEST_LAYERS= >/dev/null
cmake --build build-fuzz --parallel "$(nproc)" --target "${targets[@]/%/_fuzz}"

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
for name in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$name
  seeds=build-fuzz/seeds/$name
  mkdir -p "$corpus" "$seeds" build-fuzz/artifacts
  case "$name" in
    import|tokenizer|engine) cp tests/data/rig/*.tsl "$seeds/" ;;
    archive) cp tests/data/archives/*.zip "$seeds/" ;;
    deflate)
      python3 - "$seeds" <<'PY'
import sys, zlib
out = sys.argv[1]
texts = [b'', b'a', b'joint "root" { 0.0000 1.0000 }\r\n' * 40, bytes(range(256)) * 4,
         b'z' * 1000, b'abcabcabd' * 50]
n = 0
for text in texts:
    for level, strategy in [(0, zlib.Z_DEFAULT_STRATEGY), (1, zlib.Z_DEFAULT_STRATEGY),
                            (9, zlib.Z_DEFAULT_STRATEGY), (6, zlib.Z_FIXED), (6, zlib.Z_HUFFMAN_ONLY)]:
        c = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy)
        with open('%s/seed%03d' % (out, n), 'wb') as f:
            f.write(c.compress(text) + c.flush())
        n += 1
PY
      ;;
  esac
  echo "fuzzing $name for $seconds s"
  "./build-fuzz/fuzz/${name}_fuzz" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -artifact_prefix=build-fuzz/artifacts/ "$corpus" "$seeds" 2>&1 | tail -n 12
  test "${PIPESTATUS[0]}" -eq 0
done
