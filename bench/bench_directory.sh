#!/usr/bin/env bash
# Directory server throughput and latency, next to nginx measured in the same run.
#
#   bench_directory.sh PATH-TO-norvale-directory [SECONDS] [LOAD-SECONDS]
#
# 1. Imports the bundled catalogue (../shared/data/stations/stations.csv next to the
#    repository, or NORVALE_STATIONS) into a fresh SQLite database in a temporary folder.
# 2. Serves it (2 threads, no request log, loopback trusted as a proxy so the load below
#    can name its clients) and a private nginx (2 workers) serving the same list bytes as
#    a static file and, with gzip_static, as the same file gzip-compressed.
# 3. wrk, 2 threads, 50 connections: list requests per second and latency for both, plain
#    and gzip, with the bytes per list, and the ratio (target: at least 0.5 of nginx).
# 4. Search latency over the whole catalogue on one connection, words in turn (target:
#    p99 at most 10 ms).
# 5. List latency (20 connections) alone and while one client pipelines expensive
#    searches on 8 connections (target: p99 within twice the figure alone).
# 6. Load: 200 keep-alive connections for LOAD-SECONDS (default 60) mixing lists (110),
#    search (30, a search every 100 ms each, as people type), ask (30) and reports (30),
#    each request from one of many client addresses; errors (target 0), p50/p99 per kind,
#    and the server's memory at the end. nginx serves its list to 200 connections alike.
set -euo pipefail

program=${1:?usage: bench_directory.sh PATH-TO-norvale-directory [SECONDS] [LOAD-SECONDS]}
seconds=${2:-10}
load_seconds=${3:-60}
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
    --trusted-proxy 127.0.0.1 2>"$work/server.log" &
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
gzip -9 -n -k "$work/www$path"
nginx_gzip_bytes=$(wc -c <"$work/www$path.gz")
server_gzip_bytes=$(curl -fsS -H 'Accept-Encoding: gzip' "$base$path" | wc -c)

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
        gzip_static on;
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

[ "$(curl -fsS -H 'Accept-Encoding: gzip' -o /dev/null -w '%{size_download}' "http://127.0.0.1:$nginx_port$path")" \
    = "$nginx_gzip_bytes" ] || { echo "bench_directory: nginx does not serve the .gz file" >&2; exit 1; }
# Errors of a wrk run: responses other than 2xx/3xx and socket errors.
errors() {
    awk '/Non-2xx or 3xx responses:/ {n += $NF}
         /Socket errors:/ {for (i = 3; i <= NF; i++) if ($i ~ /^[0-9]+,?$/) n += $i}
         END {print n + 0}' "$1"
}
row() { # label file
    printf '  %-30s %8s req/s   p50 %6s ms   p99 %6s ms   errors %s\n' "$1" "$(rps "$2")" \
        "$(percentile "$2" 50)" "$(percentile "$2" 99)" "$(errors "$2")"
}

echo "Directory server benchmark: list $list, wrk -t2 -c50 -d${seconds}s, $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "  bytes per list: $bytes plain, $server_gzip_bytes gzip (norvale-directory), $nginx_gzip_bytes gzip -9 (nginx gzip_static)"
gz='Accept-Encoding: gzip'
wrk -t2 -c50 -d"${seconds}s" --latency "$base$path" >"$work/wrk-server.txt"
wrk -t2 -c50 -d"${seconds}s" --latency "http://127.0.0.1:$nginx_port$path" >"$work/wrk-nginx.txt"
wrk -t2 -c50 -d"${seconds}s" --latency -H "$gz" "$base$path" >"$work/wrk-server-gz.txt"
wrk -t2 -c50 -d"${seconds}s" --latency -H "$gz" "http://127.0.0.1:$nginx_port$path" >"$work/wrk-nginx-gz.txt"
row "norvale-directory" "$work/wrk-server.txt"
row "nginx (2 workers)" "$work/wrk-nginx.txt"
row "norvale-directory, gzip" "$work/wrk-server-gz.txt"
row "nginx gzip_static" "$work/wrk-nginx-gz.txt"
for kind in "" "-gz"; do
    server_rps=$(rps "$work/wrk-server$kind.txt")
    nginx_rps=$(rps "$work/wrk-nginx$kind.txt")
    ratio=$(awk -v a="$server_rps" -v b="$nginx_rps" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
    verdict=$(awk -v a="$server_rps" -v b="$nginx_rps" 'BEGIN { print (b > 0 && a / b >= 0.5 ? "meets" : "MISSES") }')
    echo "  ratio ${kind:+(gzip) }$ratio of nginx ($verdict the target of 0.5)"
done

cat >"$work/search.lua" <<'EOF'
local words = {"jazz", "rock", "radio", "news", "pop", "fm", "klassiek", "bbc", "love", "dance",
               "country", "talk", "90s", "r%26b", "metal", "chill", "sport", "xyzzy", "b", "de"}
local lands = {"", "", "", "holland", "germany", "france"}
local i = 0
request = function()
    i = i + 1
    -- Each search from another client: one client's searches are rate limited.
    return wrk.format("GET", "/radio/inter/zenders/radio-lijst-zoek.php?zoeken=" .. words[i % #words + 1]
        .. "&land=" .. lands[i % #lands + 1], {["X-Forwarded-For"] = "10.1." .. (i % 250) .. "." .. (i % 251 + 1)})
end
EOF
wrk -t1 -c1 -d"${seconds}s" --latency -s "$work/search.lua" "$base" >"$work/wrk-search.txt"
p99=$(percentile "$work/wrk-search.txt" 99)
verdict=$(awk -v p="$p99" 'BEGIN { print (p <= 10 ? "meets" : "MISSES") }')
printf '  search over %s stations, one connection: %s req/s   p50 %s ms   p99 %s ms (%s the target of 10 ms)\n' \
    "$(curl -fsS "$base/health" | awk '{print $2}')" "$(rps "$work/wrk-search.txt")" \
    "$(percentile "$work/wrk-search.txt" 50)" "$p99" "$verdict"

# --- 5. Lists while one client pipelines expensive searches -------------------------
cat >"$work/abuse.lua" <<'LUA'
-- 16 searches that match much of the catalogue, sent back to back on every connection.
init = function(args)
    local words = {"a", "e", "radio", "fm", "o", "r", "i", "n"}
    local requests = {}
    for i = 1, 16 do
        requests[i] = wrk.format("GET", "/radio/inter/zenders/radio-lijst-zoek.php?zoeken="
            .. words[(i - 1) % #words + 1] .. "&land=")
    end
    pipeline = table.concat(requests)
end
request = function() return pipeline end
LUA
wrk -t1 -c20 -d"${seconds}s" --latency "$base$path" >"$work/wrk-alone.txt"
wrk -t1 -c8 -d"$((seconds + 4))s" -s "$work/abuse.lua" "$base" >"$work/wrk-abuser.txt" &
abuser=$!
sleep 2
wrk -t1 -c20 -d"${seconds}s" --latency "$base$path" >"$work/wrk-abused.txt"
wait "$abuser"
alone=$(percentile "$work/wrk-alone.txt" 99)
abused=$(percentile "$work/wrk-abused.txt" 99)
verdict=$(awk -v a="$alone" -v b="$abused" 'BEGIN { print (b <= 2 * a ? "meets" : "MISSES") }')
echo "  lists (20 connections) alone:                    p50 $(percentile "$work/wrk-alone.txt" 50) ms   p99 $alone ms"
echo "  lists while one client pipelines searches (x8):  p50 $(percentile "$work/wrk-abused.txt" 50) ms   p99 $abused ms ($verdict the target of twice alone)"
echo "    that client: $(rps "$work/wrk-abuser.txt") answers/s, refused (503): $(awk '/Non-2xx/ {n = $NF} END {print n + 0}' "$work/wrk-abuser.txt")"

# --- 6. Load: 200 connections mixing every kind of request ----------------------------
curl -fsS "$base$path" | grep -o '<url>[^<]*' | cut -c6- | awk 'NR <= 200' >"$work/urls.txt"
lists=$(curl -fsS "$base/radio/inter/keuze.txt" | grep -o '<bestand>[^<]*' | cut -c10- | awk 'NR <= 40' | tr '\n' ' ')
python3 - "$work" "$lists" <<'PY'
import hashlib, sys, urllib.parse
work, lists = sys.argv[1], sys.argv[2].split()
urls = [u for u in open(f"{work}/urls.txt").read().split("\n") if u]
def lua_list(items):
    return "local items = {%s}\n" % ", ".join('"%s"' % i for i in items)
common = """
init = function(args) math.randomseed(os.time() * 1000 + math.floor(os.clock() * 1000000)) end
local function client()
    return "10." .. math.random(0, 255) .. "." .. math.random(0, 255) .. "." .. math.random(1, 254)
end
request = function()
    return wrk.format("GET", items[math.random(#items)],
                      {["X-Forwarded-For"] = client(), ["Accept-Encoding"] = "gzip"})
end
"""
words = ["jazz", "rock", "radio", "news", "pop", "fm", "bbc", "love", "dance", "90s"]
kinds = {
    "lists": lua_list("/radio/inter/zenders/" + l for l in lists),
    "search": lua_list("/radio/inter/zenders/radio-lijst-zoek.php?zoeken=%s&land=%s" % (w, l)
                       for w in words for l in ["", "holland"]) + "delay = function() return 100 end\n",
    "ask": lua_list("/radio/inter/shoutcast/ask.php?zenderurl=" + hashlib.md5(u.encode()).hexdigest().upper()
                    for u in urls),
    "reports": lua_list("/radio/inter/meld/index.php?meld=" + urllib.parse.quote("zender_" + u, safe="")
                        + "&versie=3.0" for u in urls),
}
for kind, items in kinds.items():
    with open(f"{work}/load-{kind}.lua", "w") as f:
        f.write(items + common)
PY
echo "Load: 200 keep-alive connections for ${load_seconds}s, every request from one of many client addresses"
pids=()
for mix in lists:110 search:30 ask:30 reports:30; do
    kind=${mix%%:*}
    wrk -t1 -c"${mix##*:}" -d"${load_seconds}s" --latency -s "$work/load-$kind.lua" "$base" >"$work/load-$kind.txt" &
    pids+=($!)
done
wait "${pids[@]}"
total_errors=0
for kind in lists search ask reports; do
    row "$kind" "$work/load-$kind.txt"
    total_errors=$((total_errors + $(errors "$work/load-$kind.txt")))
done
echo "  errors in all: $total_errors (target 0)"
echo "  server memory at the end: $(awk '/VmHWM/ {peak = $2} /VmRSS/ {rss = $2} END {printf "%d MB resident, %d MB at most", rss / 1024, peak / 1024}' "/proc/$server_pid/status")"
curl -fsS "$base/health" | sed 's/^/  health: /'
wrk -t2 -c200 -d"$((load_seconds / 3))s" --latency -H "$gz" "http://127.0.0.1:$nginx_port$path" >"$work/load-nginx.txt"
row "nginx gzip_static, 200 conns" "$work/load-nginx.txt"
