#!/usr/bin/env bash
# Compares our shapefile reading and writing with GDAL's ogr2ogr copying the
# same file (shp to shp), one map per process so that peak memory is the
# map's own.
#   bench/mapfiles/compare-ogr2ogr.sh <build folder with -DMARLO_BENCH=ON>
# ogr2ogr is capped at OGR_TIMEOUT seconds (default 600) per map.
set -uo pipefail
build="$(cd "${1:?usage: $0 <bench build folder>}" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
data="$(cd "$here/../../../shared/data" 2>/dev/null && pwd)" || {
    echo "compare-ogr2ogr: ../shared/data not found" >&2
    exit 2
}
timeout_s="${OGR_TIMEOUT:-600}"
out="$(mktemp -d /tmp/marlo-compare-XXXXXX)"
trap 'rm -rf "$out"' EXIT
bench="$build/bench/mapfiles/bench_mapfiles"

for map in world-10m-countries countries-10m; do
    [ -f "$data/$map.shp" ] || { echo "$map: missing, skipped"; continue; }
    echo "== $map"
    MARLO_BENCH_OUT="$out" /usr/bin/time -f "ours: all steps, peak RSS %M KB" \
        "$bench" --benchmark_filter="/$map/" --benchmark_counters_tabular=true
    if command -v ogr2ogr >/dev/null; then
        start=$(date +%s.%N)
        /usr/bin/time -f "ogr2ogr: %e s, peak RSS %M KB" \
            timeout "$timeout_s" ogr2ogr -f "ESRI Shapefile" "$out/$map-ogr.shp" "$data/$map.shp"
        status=$?
        end=$(date +%s.%N)
        if [ "$status" -eq 124 ]; then
            echo "ogr2ogr: > $timeout_s s (stopped)"
        else
            echo "ogr2ogr: copy took $(echo "$end - $start" | bc) s (exit $status)"
        fi
        rm -f "$out/$map-ogr".*
    fi
done
