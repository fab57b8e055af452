#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a share of the given seconds. A crash, a hang or a
# sanitizer report fails the run. Small generated compound files in fuzz/seeds/<target> (when
# present) start the search from well-formed input.
set -euo pipefail
build=$1
budget=${2:-60}
seeds_root=$(cd "$(dirname "$0")/../fuzz/seeds" 2>/dev/null && pwd || true)
mapfile -t targets < <(find "$build/fuzz" -maxdepth 1 -type f -name 'fuzz_*' -perm -u+x | sort)
if ((${#targets[@]} == 0)); then
    echo "fuzz.sh: no fuzz targets in $build/fuzz" >&2
    exit 1
fi
share=$((budget / ${#targets[@]}))
((share > 0)) || share=1
for t in "${targets[@]}"; do
    name=$(basename "$t")
    corpus=$build/fuzz/corpus-$name
    mkdir -p "$corpus"
    dirs=("$corpus")
    if [[ -n $seeds_root && -d $seeds_root/$name ]]; then dirs+=("$seeds_root/$name"); fi
    echo "-- $name for ${share}s"
    "$t" -max_total_time="$share" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
        -print_final_stats=1 "${dirs[@]}" \
        2>"$build/fuzz/$name.log" || { tail -n 60 "$build/fuzz/$name.log"; exit 1; }
    grep -E '^stat::number_of_executed_units' "$build/fuzz/$name.log" || true
done
