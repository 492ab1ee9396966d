#!/usr/bin/env bash
# Directory server throughput and latency, next to nginx measured in the same run.
#
#   bench_directory.sh PATH-TO-norvale-directory [SECONDS]
#
# 1. Imports the bundled catalogue (../shared/data/stations/stations.csv next to the
#    repository, or NORVALE_STATIONS) into a fresh SQLite database in a temporary folder.
# 2. Serves it (2 threads, no request log) and a private nginx (2 workers) serving the
#    same list bytes as a static file, both on loopback.
# 3. wrk, 2 threads, 50 connections: list requests per second and latency for both, and
#    the ratio (target: at least 0.5 of nginx).
# 4. Search latency over the whole catalogue on one connection, words in turn (target:
#    p99 at most 10 ms).
set -euo pipefail

program=${1:?usage: bench_directory.sh PATH-TO-norvale-directory [SECONDS]}
seconds=${2:-10}
root=$(cd "$(dirname "$0")/.." && pwd)
stations=${NORVALE_STATIONS:-$root/../shared/data/stations/stations.csv}
for tool in wrk nginx curl; do
    command -v "$tool" >/dev/null || { echo "bench_directory: $tool is not installed" >&2; exit 1; }
done
[ -f "$stations" ] || { echo "bench_directory: no catalogue at $stations (set NORVALE_STATIONS)" >&2; exit 1; }

work=$(mktemp -d)
server_pid=""
nginx_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

"$program" import "$stations" --database "$work/directory.sqlite" >/dev/null

port=$(free_port)
"$program" serve --quiet --threads 2 --listen "127.0.0.1:$port" --database "$work/directory.sqlite" \
    2>"$work/server.log" &
server_pid=$!
for _ in $(seq 1 100); do
    curl -fsS -m 1 "http://127.0.0.1:$port/health" >/dev/null 2>&1 && break
    sleep 0.1
done
base="http://127.0.0.1:$port"

# The list that comes closest to 200 KB stands for a country list; holland.txt otherwise.
list=holland.txt
best=0
for file in $(curl -fsS "$base/radio/inter/keuze.txt" | grep -o '<bestand>[^<]*' | cut -c10-); do
    size=$(curl -fsS "$base/radio/inter/zenders/$file" | wc -c)
    if [ "$size" -le 204800 ] && [ "$size" -gt "$best" ]; then
        best=$size
        list=$file
    fi
done
path="/radio/inter/zenders/$list"
mkdir -p "$work/www/radio/inter/zenders"
curl -fsS "$base$path" -o "$work/www$path"
bytes=$(wc -c <"$work/www$path")

nginx_port=$(free_port)
mkdir -p "$work/nginx"
cat >"$work/nginx/nginx.conf" <<EOF
worker_processes 2;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
$( [ "$(id -u)" -eq 0 ] && echo "user root;" )
events { worker_connections 1024; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    keepalive_requests 100000;
    types { text/plain txt; }
    charset utf-8;
    server {
        listen 127.0.0.1:$nginx_port;
        root $work/www;
        etag on;
    }
}
EOF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'daemon off;' 2>"$work/nginx/stderr" &
nginx_pid=$!
for _ in $(seq 1 100); do
    curl -fsS -m 1 -o /dev/null "http://127.0.0.1:$nginx_port$path" 2>/dev/null && break
    sleep 0.1
done
cmp -s <(curl -fsS "http://127.0.0.1:$nginx_port$path") "$work/www$path" ||
    { echo "bench_directory: nginx does not serve the list" >&2; cat "$work/nginx/stderr" >&2; exit 1; }

# wrk's figures: requests per second, and a latency percentile in ms.
rps() { awk '/^Requests\/sec:/ {printf "%.0f", $2}' "$1"; }
percentile() {
    awk -v p="$2" '$1 == p"%" {
        v = $2; unit = v; sub(/[0-9.]+/, "", unit); sub(/[a-z]+$/, "", v);
        if (unit == "us") v /= 1000; else if (unit == "s") v *= 1000; else if (unit == "m") v *= 60000;
        printf "%.2f", v }' "$1"
}

echo "Directory server benchmark: list $list ($bytes bytes), wrk -t2 -c50 -d${seconds}s, $(nproc) cores"
wrk -t2 -c50 -d"${seconds}s" --latency "$base$path" >"$work/wrk-server.txt"
wrk -t2 -c50 -d"${seconds}s" --latency "http://127.0.0.1:$nginx_port$path" >"$work/wrk-nginx.txt"
server_rps=$(rps "$work/wrk-server.txt")
nginx_rps=$(rps "$work/wrk-nginx.txt")
printf '  %-20s %8s req/s   p50 %6s ms   p99 %6s ms\n' "norvale-directory" "$server_rps" \
    "$(percentile "$work/wrk-server.txt" 50)" "$(percentile "$work/wrk-server.txt" 99)"
printf '  %-20s %8s req/s   p50 %6s ms   p99 %6s ms\n' "nginx (2 workers)" "$nginx_rps" \
    "$(percentile "$work/wrk-nginx.txt" 50)" "$(percentile "$work/wrk-nginx.txt" 99)"
ratio=$(awk -v a="$server_rps" -v b="$nginx_rps" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
verdict=$(awk -v r="$ratio" 'BEGIN { print (r >= 0.5 ? "meets" : "MISSES") }')
echo "  ratio $ratio of nginx ($verdict the target of 0.5)"

cat >"$work/search.lua" <<'EOF'
local words = {"jazz", "rock", "radio", "news", "pop", "fm", "klassiek", "bbc", "love", "dance",
               "country", "talk", "90s", "r%26b", "metal", "chill", "sport", "xyzzy", "b", "de"}
local lands = {"", "", "", "holland", "germany", "france"}
local i = 0
request = function()
    i = i + 1
    return wrk.format("GET", "/radio/inter/zenders/radio-lijst-zoek.php?zoeken=" .. words[i % #words + 1]
        .. "&land=" .. lands[i % #lands + 1])
end
EOF
wrk -t1 -c1 -d"${seconds}s" --latency -s "$work/search.lua" "$base" >"$work/wrk-search.txt"
p99=$(percentile "$work/wrk-search.txt" 99)
verdict=$(awk -v p="$p99" 'BEGIN { print (p <= 10 ? "meets" : "MISSES") }')
printf '  search over %s stations, one connection: %s req/s   p50 %s ms   p99 %s ms (%s the target of 10 ms)\n' \
    "$(curl -fsS "$base/health" | awk '{print $2}')" "$(rps "$work/wrk-search.txt")" \
    "$(percentile "$work/wrk-search.txt" 50)" "$p99" "$verdict"
