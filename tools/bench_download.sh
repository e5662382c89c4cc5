#!/usr/bin/env bash
# Download benchmark under Wine: one file (200 MiB unless BENCH_SIZE_MB says otherwise) from a
# local nginx over HTTP and HTTPS, fetched by bare WinINet loops reading 4 KiB and 64 KiB at a
# time (the baseline, measured in the same run) and by downloadFile with its progress bar and
# message pumping, plain and hashing SHA-256 as it arrives; plus the same over HTTPS limited to
# 50 MB/s. Each figure is the best of BENCH_REPEAT runs (2), each run its own Wine process, so
# the peak resident memory (VmHWM) is that of one kind of download. Ends with the processor
# time of waitPumping(2000) against a busy loop.
# Usage: tools/bench_download.sh BUILD_DIR   (a Windows build with the targets bench_download and
#        trust_ca built and a Wine prefix in BUILD_DIR/wineprefix, which is copied, not changed)
set -euo pipefail
build=$(realpath "$1")
exe="$build/tools/bench_download/bench_download.exe"
trust="$build/tools/trust_ca/trust_ca.exe"
for f in "$exe" "$trust"; do
  [ -f "$f" ] || { echo "missing $f: cmake --build $build --target bench_download trust_ca" >&2; exit 1; }
done
wine_loader=${FLASHDECK_WINE:-wine}
size_mb=${BENCH_SIZE_MB:-200}
repeat=${BENCH_REPEAT:-2}

work=$(mktemp -d /tmp/bench_download.XXXXXX)
nginx_pid=
cleanup() {
  if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
  WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "== preparing: ${size_mb} MiB file, test CA trusted in a copy of the prefix, nginx on 127.0.0.1"
cp -a "$build/wineprefix" "$work/prefix"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe="
mkdir -p "$work/www/Flashdeck" "$work/out" "$work/logs" "$work/tls"
chmod 755 "$work" "$work/www" "$work/www/Flashdeck"  # nginx workers run without root rights
head -c $((size_mb * 1048576)) /dev/urandom >"$work/www/Flashdeck/bench.bin"
chmod 644 "$work/www/Flashdeck/bench.bin"
(
  cd "$work/tls"
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=Bench CA" -keyout ca.key -out ca.pem \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
  openssl req -newkey rsa:2048 -nodes -sha256 -subj "/CN=127.0.0.1" -keyout server.key -out server.csr 2>/dev/null
  # Wine compares the host with dNSName entries only: 127.0.0.1 is listed as both.
  printf 'subjectAltName=IP:127.0.0.1,DNS:127.0.0.1\nextendedKeyUsage=serverAuth\n' >ext.cnf
  openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -sha256 -extfile ext.cnf \
    -out server.pem 2>/dev/null
  openssl x509 -in ca.pem -outform der -out ca.der
  chmod 644 server.key
)
"$wine_loader" "$trust" "Z:${work//\//\\}\\tls\\ca.der" >/dev/null
free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
http_port=$(free_port)
https_port=$(free_port)
limited_port=$(free_port)
tls="ssl_certificate $work/tls/server.pem; ssl_certificate_key $work/tls/server.key;"
cat >"$work/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/logs/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/tmp_body;
  proxy_temp_path $work/tmp_proxy;
  fastcgi_temp_path $work/tmp_fastcgi;
  uwsgi_temp_path $work/tmp_uwsgi;
  scgi_temp_path $work/tmp_scgi;
  sendfile on;
  server { listen 127.0.0.1:$http_port; root $work/www; }
  server { listen 127.0.0.1:$https_port ssl; $tls root $work/www; }
  # A fast real link: 50 MB/s per connection.
  server { listen 127.0.0.1:$limited_port ssl; $tls root $work/www; limit_rate 50m; }
}
CONF
nginx -p "$work" -c "$work/nginx.conf" &
nginx_pid=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$http_port/" && break; sleep 0.1; done
digest=$(sha256sum "$work/www/Flashdeck/bench.bin" | cut -d" " -f1)
folder="Z:${work//\//\\}\\out"

# run NAME MODE BASE_URL: one Wine process; its figures and peak memory go to results/NAME.N
mkdir -p "$work/results"
run() {
  local name=$1 mode=$2 base=$3 n=$4 out="$work/results/$1.$4" peak=0 kb pid
  rm -f "$work/out/bench.bin"
  "$wine_loader" "$exe" "$mode" "$base" bench.bin "$folder" "$digest" >"$out" &
  local wine_pid=$!
  while kill -0 "$wine_pid" 2>/dev/null; do
    for pid in $(pgrep -f 'bench_download\.exe' || true); do
      kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
      [ "${kb:-0}" -gt "$peak" ] && peak=$kb
    done
    sleep 0.05
  done
  wait "$wine_pid" || { cat "$out"; echo "bench_download $mode $base failed" >&2; exit 1; }
  cmp -s "$work/out/bench.bin" "$work/www/Flashdeck/bench.bin" || { echo "$name: the file differs" >&2; exit 1; }
  echo "peak_kb=$peak" >>"$out"
}
for n in $(seq "$repeat"); do
  for proto in http https; do
    port=$http_port; [ "$proto" = https ] && port=$https_port
    for mode in bare4k bare64k download hashed; do
      echo "== run $n: $proto $mode"
      run "$proto-$mode" "$mode" "$proto://127.0.0.1:$port/" "$n"
    done
  done
  for mode in download hashed; do
    echo "== run $n: https at 50 MB/s $mode"
    run "limited-$mode" "$mode" "https://127.0.0.1:$limited_port/" "$n"
  done
done
"$wine_loader" "$exe" pump >"$work/results/pump"

/usr/bin/python3 - "$work/results" "$size_mb" <<'PY'
import pathlib, sys
results, size_mb = pathlib.Path(sys.argv[1]), int(sys.argv[2])
def best(name):
    runs = [dict(l.split("=", 1) for l in p.read_text().split()) for p in results.glob(name + ".*")]
    fastest = min(runs, key=lambda r: float(r["seconds"]))
    return float(fastest["seconds"]), float(fastest["mib_per_second"]), max(int(r["peak_kb"]) for r in runs)
print(f"\n{size_mb} MiB from nginx on 127.0.0.1 under Wine, best of {len(list(results.glob('http-bare4k.*')))} runs")
print(f"{'protocol':9} {'reader':28} {'seconds':>8} {'MiB/s':>8} {'vs best bare':>13} {'peak MiB':>9}")
for proto in ("http", "https"):
    figures = {m: best(f"{proto}-{m}") for m in ("bare4k", "bare64k", "download", "hashed")}
    baseline = max(figures["bare4k"][1], figures["bare64k"][1])
    labels = {"bare4k": "bare WinINet loop, 4 KiB", "bare64k": "bare WinINet loop, 64 KiB",
              "download": "downloadFile", "hashed": "downloadFile + SHA-256"}
    for mode, (seconds, speed, peak) in figures.items():
        print(f"{proto:9} {labels[mode]:28} {seconds:8.3f} {speed:8.1f} {speed / baseline:13.3f} {peak / 1024:9.1f}")
plain, hashed = best("limited-download"), best("limited-hashed")
print(f"https at 50 MB/s: downloadFile {plain[0]:.3f} s, with SHA-256 {hashed[0]:.3f} s "
      f"({100 * (hashed[0] - plain[0]) / plain[0]:+.1f} %)")
pump = dict(l.split("=", 1) for l in (results / "pump").read_text().split())
print(f"waitPumping(2000): {pump['wait_pumping_wall_seconds']} s wall, {pump['wait_pumping_cpu_seconds']} s processor;"
      f" busy loop: {pump['busy_loop_wall_seconds']} s wall, {pump['busy_loop_cpu_seconds']} s processor")
PY
