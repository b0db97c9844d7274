#!/usr/bin/env bash
# Builds and runs one libFuzzer target with clang.
#   scripts/fuzz.sh deflate 60     the Deflate decoder, against zlib, for 60 seconds
#   scripts/fuzz.sh archive 60     the ZIP archive reader
#   scripts/fuzz.sh import 60      the importer over the stand-in host, seeded with the rig goldens
# The targets are configured into build-fuzz/; the growing corpus is kept in
# build-fuzz/corpus/TARGET and any crashing input is written to build-fuzz/artifacts/.
# Seeds: the committed ZIP fixtures for the archive reader, and raw Deflate streams made
# with Python's zlib (stored, fixed, dynamic blocks) for the decoder.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/fuzz.sh deflate|archive [seconds]}
seconds=${2:-60}
case "$target" in deflate|archive|tokenizer|import) ;; *) echo "unknown target: $target" >&2; exit 2 ;; esac
command -v clang++ >/dev/null || { echo "clang++ is needed for the fuzz targets" >&2; exit 1; }

CC=clang CXX=clang++ cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz --target "${target}_fuzz" --parallel 2

corpus=build-fuzz/corpus/$target
seeds=build-fuzz/seeds/$target
mkdir -p "$corpus" "$seeds" build-fuzz/artifacts
if [ "$target" = import ]; then
  cp tests/data/rig/*.tsl "$seeds/"
elif [ "$target" = archive ]; then
  cp tests/data/archives/*.zip "$seeds/"
else
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
fi
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
"./build-fuzz/${target}_fuzz" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
  -artifact_prefix=build-fuzz/artifacts/ "$corpus" "$seeds"
