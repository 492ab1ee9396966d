#!/usr/bin/python3
"""Three norvale-directory processes on one PostgreSQL database behind nginx, on loopback,
under load, with one process killed and started again half way.

    bench_deploy.py PATH-TO-norvale-directory [--seconds 60] [--clients 200] [--smoke]

1. A private database from scripts/pg-test-db (database norvale_bench, emptied), filled with
   the bundled catalogue (../shared/data/stations/stations.csv next to the repository, or
   NORVALE_STATIONS), or with a made-up one of 3,000 stations when that is absent.
2. Three `serve` processes (2 threads each, loopback trusted as the proxy) and nginx with
   dist/nginx/norvale-directory.conf, its ports replaced.
3. Checks that a gzip list comes through nginx byte for byte with the process's own ETag,
   that its ETag gets a 304 and that a client without gzip gets the plain list.
4. Load through nginx, every connection keep-alive: station lists (55 %), searches (15 %, a
   search every 100 ms each, as people type), play reports (15 %) and /health (15 %); lists,
   searches and health from wrk, plays from a client here that counts every answer.
   Every search and play names a client of its own in X-Forwarded-For. Half way the second
   process gets SIGKILL and is started again 2 s later.
5. Prints the failed requests (target 0), requests per second and p99 per kind, and compares
   the plays counted in the database with the play reports answered OK (target: equal).
   An answer the killed process had begun to send cannot be retried (nginx has passed its
   start on to the client): such answers, which nginx logs as "upstream prematurely closed
   connection while reading upstream", are counted apart and not held against the target.
Exit status 0 when both targets are met, 1 when not, 77 when PostgreSQL, nginx or wrk is
missing outside CI (CI=true: 1).
"""
import argparse
import asyncio
import gzip
import http.client
import json
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SKIP = 77


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def get(port, path, headers=None, timeout=5):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    try:
        conn.request("GET", path, headers=headers or {})
        response = conn.getresponse()
        return response.status, dict(response.getheaders()), response.read()
    finally:
        conn.close()


def wait_until(check, seconds, what):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            if check():
                return
        except OSError:
            pass
        time.sleep(0.1)
    raise SystemExit(f"bench_deploy: {what} within {seconds} s")


def made_up_catalogue(path):
    """3,000 stations over 30 countries, for a machine without the bundled snapshot."""
    words = ["jazz", "rock", "news", "pop", "talk", "classic", "dance", "country", "radio", "fm"]
    countries = ["NL", "DE", "FR", "BE", "GB", "US", "ES", "IT", "PL", "SE", "NO", "DK", "AT", "CH", "PT",
                 "IE", "FI", "CZ", "HU", "GR", "RO", "BG", "HR", "SK", "SI", "LT", "LV", "EE", "LU", "MT"]
    rng = random.Random(7)
    stations = [{"stationuuid": f"00000000-0000-4000-8000-{i:012d}",
                 "name": f"{rng.choice(words).title()} {rng.choice(words).title()} {i}",
                 "url": f"http://stream{i % 97}.example.net/{i}.mp3",
                 "homepage": f"http://station{i}.example.net/", "tags": ",".join(rng.sample(words, 3)),
                 "countrycode": countries[i % len(countries)], "votes": rng.randrange(5000),
                 "codec": "MP3", "bitrate": 128} for i in range(3000)]
    with open(path, "w") as f:
        json.dump(stations, f)


class Cluster:
    def __init__(self, program, database, work, count=3):
        self.program, self.database, self.work = program, database, work
        self.ports = [free_port() for _ in range(count)]
        self.processes = [None] * count

    def start(self, i):
        log = open(os.path.join(self.work, f"directory-{i}.log"), "a")
        self.processes[i] = subprocess.Popen(
            [self.program, "serve", "--quiet", "--threads", "2", "--listen", f"127.0.0.1:{self.ports[i]}",
             "--database", self.database, "--trusted-proxy", "127.0.0.1"], stdout=log, stderr=log)
        started = time.monotonic()
        wait_until(lambda: get(self.ports[i], "/health", timeout=1)[0] == 200, 60, f"process {i} not healthy")
        return time.monotonic() - started

    def kill(self, i):
        self.processes[i].send_signal(signal.SIGKILL)
        self.processes[i].wait()

    def stop(self):
        """SIGTERM: each process writes its queued reports before it ends."""
        for p in self.processes:
            if p and p.poll() is None:
                p.terminate()
        return [p.wait(timeout=30) if p else None for p in self.processes]


def render_nginx(work, ports, nginx_port):
    with open(os.path.join(ROOT, "dist/nginx/norvale-directory.conf")) as f:
        site = f.read()
    for shipped, port in zip((8642, 8643, 8644), ports):
        site = site.replace(f"127.0.0.1:{shipped} ", f"127.0.0.1:{port} ")
    site = site.replace("listen 80;", f"listen 127.0.0.1:{nginx_port};").replace("listen [::]:80;\n", "")
    assert all(f":{p} " in site for p in ports) and f":{nginx_port};" in site, "the shipped site changed shape"
    with open(os.path.join(work, "site.conf"), "w") as f:
        f.write(site)
    user = "user root;\n" if os.getuid() == 0 else ""
    with open(os.path.join(work, "nginx.conf"), "w") as f:
        f.write(f"""{user}worker_processes 2;
pid {work}/nginx.pid;
error_log {work}/nginx-error.log warn;
events {{ worker_connections 4096; }}
http {{
    client_body_temp_path {work}/tmp-body;
    proxy_temp_path {work}/tmp-proxy;
    include {work}/site.conf;
}}
""")


def wrk_script(path, items, client_per_request, delay_ms=0):
    with open(path, "w") as f:
        f.write("local items = {%s}\n" % ", ".join(json.dumps(i) for i in items))
        f.write("init = function(args) math.randomseed(os.time() * 1000 + math.floor(os.clock() * 1000000)) end\n")
        headers = '{["Accept-Encoding"] = "gzip"'
        if client_per_request:
            headers += ', ["X-Forwarded-For"] = "10." .. math.random(0, 255) .. "." .. math.random(0, 255) .. "." ' \
                       '.. math.random(1, 254)'
        f.write("request = function() return wrk.format(\"GET\", items[math.random(#items)], %s}) end\n" % headers)
        if delay_ms:
            f.write(f"delay = function() return {delay_ms} end\n")


def wrk_figures(text):
    """Requests/s, p99 in ms, completed requests and failed ones (non-2xx/3xx, socket errors)."""
    rps = p99 = requests = failed = 0.0
    for line in text.splitlines():
        words = line.split()
        if line.startswith("Requests/sec:"):
            rps = float(words[1])
        elif words[:1] == ["99%"]:
            value, unit = words[1].rstrip("usm"), words[1][len(words[1].rstrip("usm")):]
            p99 = float(value) * {"us": 0.001, "ms": 1, "s": 1000, "m": 60000}[unit]
        elif "requests in" in line:
            requests = int(words[0])
        elif "Non-2xx or 3xx responses:" in line:
            failed += int(words[-1])
        elif line.strip().startswith("Socket errors:"):
            failed += sum(int(w.rstrip(",")) for w in words[3::2])
    return rps, p99, requests, int(failed)


async def play_reports(port, urls, connections, seconds):
    """Keep-alive connections each sending play reports, each from a client of its own, until
    the time is up; every request sent is awaited, so the count of OK answers is exact."""
    latencies, outcome = [], {"ok": 0, "failed": 0}
    counter = iter(range(1, 1 << 24))
    end = time.monotonic() + seconds

    async def connection():
        reader = writer = None
        while time.monotonic() < end:
            n = next(counter)
            url = urls[n % len(urls)]
            client = f"10.{n >> 16 & 255}.{n >> 8 & 255}.{n & 255}"
            path = "/radio/inter/meld/index.php?meld=zender_" + \
                   "".join(c if c.isalnum() or c in "-._~" else "%%%02X" % ord(c) for c in url) + "&versie=3.0"
            request = (f"GET {path} HTTP/1.1\r\nHost: directory\r\nX-Forwarded-For: {client}\r\n\r\n").encode()
            started = time.monotonic()
            try:
                if writer is None:
                    reader, writer = await asyncio.open_connection("127.0.0.1", port)
                writer.write(request)
                status_line = await asyncio.wait_for(reader.readline(), 20)
                length, keep = 0, True
                while (line := await reader.readline()) not in (b"\r\n", b""):
                    name, _, value = line.decode("latin-1").partition(":")
                    if name.lower() == "content-length":
                        length = int(value)
                    elif name.lower() == "connection" and "close" in value.lower():
                        keep = False
                body = await reader.readexactly(length)
                if status_line.split()[1:2] == [b"200"] and body == b"OK":
                    outcome["ok"] += 1
                else:
                    outcome["failed"] += 1
                    print(f"  play report failed: {status_line.strip()!r} {body[:80]!r}", file=sys.stderr)
                if not keep:
                    writer.close()
                    writer = None
            except (OSError, asyncio.IncompleteReadError, asyncio.TimeoutError, IndexError, ValueError) as e:
                outcome["failed"] += 1
                print(f"  play report failed: {e!r}", file=sys.stderr)
                writer = None
            latencies.append(time.monotonic() - started)
        if writer:
            writer.close()

    await asyncio.gather(*(connection() for _ in range(connections)))
    latencies.sort()
    p99 = latencies[int(0.99 * (len(latencies) - 1))] * 1000 if latencies else 0
    return outcome, len(latencies) / seconds, p99


def psql(database, sql):
    return subprocess.run(["psql", database, "-qAtc", sql], capture_output=True, text=True, check=True).stdout.strip()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("program")
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--clients", type=int, default=200)
    parser.add_argument("--smoke", action="store_true", help="10 s, 40 clients, a made-up catalogue")
    args = parser.parse_args()
    if args.smoke:
        args.seconds, args.clients = 10, 40
    missing = [t for t in ("pg_ctlcluster", "psql", "nginx", "wrk") if not shutil.which(t)]
    if missing:
        print(f"bench_deploy: not installed: {' '.join(missing)}", file=sys.stderr)
        return 1 if os.environ.get("CI") == "true" else SKIP
    made = subprocess.run([os.path.join(ROOT, "scripts/pg-test-db"), "norvale_bench"], capture_output=True, text=True)
    if made.returncode != 0:
        print(f"bench_deploy: no PostgreSQL: {made.stderr.strip()}", file=sys.stderr)
        return 1 if os.environ.get("CI") == "true" else SKIP
    database = made.stdout.strip()
    psql(database, "DROP SCHEMA public CASCADE; CREATE SCHEMA public")

    work = tempfile.mkdtemp(prefix="bench-deploy-")
    cluster, nginx, loads = None, None, []
    try:
        stations = os.environ.get("NORVALE_STATIONS", os.path.join(ROOT, "../shared/data/stations/stations.csv"))
        if args.smoke or not os.path.isfile(stations):
            stations = os.path.join(work, "stations.json")
            made_up_catalogue(stations)
        subprocess.run([args.program, "import", stations, "--database", database], check=True,
                       stdout=subprocess.DEVNULL)
        cluster = Cluster(args.program, database, work)
        for i in range(3):
            cluster.start(i)
        nginx_port = free_port()
        render_nginx(work, cluster.ports, nginx_port)
        nginx = subprocess.Popen(["nginx", "-p", work, "-c", f"{work}/nginx.conf", "-g", "daemon off;"],
                                 stderr=open(f"{work}/nginx-stderr.log", "w"))
        wait_until(lambda: get(nginx_port, "/health", timeout=1)[0] == 200, 10, "nginx not answering")

        _, _, countries = get(nginx_port, "/radio/inter/keuze.txt")
        lists = [f"/radio/inter/zenders/{name}" for name in
                 [part.split("</bestand>")[0] for part in countries.decode().split("<bestand>")[1:]][:40]]
        # The gzip form passes nginx untouched, with the process's own ETag.
        direct = get(cluster.ports[0], lists[0], {"Accept-Encoding": "gzip"})
        proxied = get(nginx_port, lists[0], {"Accept-Encoding": "gzip"})
        plain = get(nginx_port, lists[0])
        assert direct[1].get("Content-Encoding") == "gzip" and direct[1]["ETag"].endswith('-gz"'), direct[1]
        assert (proxied[1].get("Content-Encoding"), proxied[1]["ETag"], proxied[2]) == \
               ("gzip", direct[1]["ETag"], direct[2]), "nginx changed the gzip answer"
        assert plain[1].get("Content-Encoding") is None and gzip.decompress(direct[2]) == plain[2], \
            "nginx did not pass a plain answer for a client without gzip"
        assert get(nginx_port, lists[0], {"Accept-Encoding": "gzip", "If-None-Match": direct[1]["ETag"]})[0] == 304
        print(f"{get(nginx_port, '/health')[2].decode().strip()}")
        print(f"gzip through nginx: {lists[0]} {len(proxied[2])} bytes, ETag {proxied[1]['ETag']} as the process "
              f"sends it; plain {len(plain[2])} bytes")

        urls = []
        for path in lists[:10]:
            body = get(nginx_port, path)[2].decode()
            urls += [part.split("</url>")[0] for part in body.split("<url>")[1:]]
        words = ["jazz", "rock", "radio", "news", "pop", "fm", "bbc", "love", "dance", "90s"]
        searches = [f"/radio/inter/zenders/radio-lijst-zoek.php?zoeken={w}&land={l}" for w in words
                    for l in ("", "holland")]
        wrk_script(f"{work}/lists.lua", lists, False)
        wrk_script(f"{work}/search.lua", searches, True, delay_ms=100)
        wrk_script(f"{work}/health.lua", ["/health"], False)
        share = args.clients * 15 // 100
        mix = {"lists": args.clients - 3 * share, "search": share, "health": share}
        base = f"http://127.0.0.1:{nginx_port}"
        print(f"Load: {args.clients} keep-alive connections for {args.seconds} s through nginx "
              f"({', '.join(f'{k} {v}' for k, v in mix.items())}, plays {share}); {os.cpu_count()} cores, "
              f"load average {' '.join(open('/proc/loadavg').read().split()[:3])}")
        for kind, connections in mix.items():
            out = open(f"{work}/wrk-{kind}.txt", "w")
            loads.append((kind, subprocess.Popen(
                ["wrk", "-t1", f"-c{connections}", f"-d{args.seconds}s", "--latency", "--timeout", "10s",
                 "-s", f"{work}/{kind}.lua", base], stdout=out, stderr=subprocess.STDOUT)))

        async def run():
            plays = asyncio.ensure_future(play_reports(nginx_port, urls, share, args.seconds))
            await asyncio.sleep(args.seconds / 2)
            cluster.kill(1)
            print(f"  {args.seconds / 2:.0f} s: process 2 (port {cluster.ports[1]}) killed (SIGKILL)")
            await asyncio.sleep(2)
            took = await asyncio.get_running_loop().run_in_executor(None, cluster.start, 1)
            print(f"  started again 2 s later, healthy {took:.1f} s after its start")
            return await plays

        outcome, play_rps, play_p99 = asyncio.run(run())
        rows, failed = [], outcome["failed"]
        for kind, process in loads:
            process.wait()
            rps, p99, _, errors = wrk_figures(open(f"{work}/wrk-{kind}.txt").read())
            rows.append((kind, rps, p99, errors))
            failed += errors
        rows.append(("play reports", play_rps, play_p99, outcome["failed"]))
        for kind, rps, p99, errors in rows:
            print(f"  {kind:<14} {rps:9.0f} req/s   p99 {p99:8.2f} ms   failed {errors}")
        with open(f"{work}/nginx-error.log", errors="replace") as log:
            cut = sum("prematurely closed connection while reading upstream" in line for line in log)
        cut = min(cut, failed)
        failed -= cut
        print(f"  failed requests in all: {failed} (target 0); answers cut off by the kill mid-way: {cut}")
        cluster.stop()
        counted = int(psql(database, "SELECT COALESCE(SUM(plays), 0) FROM play_counts"))
        print(f"  plays counted in PostgreSQL: {counted}; play reports answered OK: {outcome['ok']} "
              f"({'equal' if counted == outcome['ok'] else 'NOT EQUAL'})")
        return 0 if failed == 0 and counted == outcome["ok"] and outcome["ok"] > 0 else 1
    finally:
        for _, process in loads:
            if process.poll() is None:
                process.kill()
        if nginx:
            nginx.terminate()
            nginx.wait()
        if cluster:
            for p in cluster.processes:
                if p and p.poll() is None:
                    p.kill()
        if os.environ.get("NORVALE_KEEP_BENCH"):
            print(f"bench_deploy: files kept in {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
