#!/usr/bin/env bash
# Download benchmark: downloadFile under Wine against curl for one 200 MB file served by a
# local nginx over HTTP, the peak memory of the Wine process during the download, and the
# processor time of waitPumping(2000) against a 2000 ms busy loop.
# Usage: tools/bench_download.sh BUILD_DIR   (a Windows build with the target bench_download
#        built and a Wine prefix in BUILD_DIR/wineprefix)
set -euo pipefail
build=$(realpath "$1")
exe="$build/tools/bench_download/bench_download.exe"
[ -f "$exe" ] || { echo "missing $exe: cmake --build $build --target bench_download" >&2; exit 1; }
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe="
size_mb=${BENCH_SIZE_MB:-200}

work=$(mktemp -d /tmp/bench_download.XXXXXX)
nginx_pid=
cleanup() {
  if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www/Flashdeck" "$work/out" "$work/logs"
chmod 755 "$work" "$work/www" "$work/www/Flashdeck"  # nginx workers run without root rights
head -c $((size_mb * 1048576)) /dev/urandom >"$work/www/Flashdeck/bench.bin"
chmod 644 "$work/www/Flashdeck/bench.bin"
free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
port=$(free_port)
slow_port=$(free_port)
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
  server { listen 127.0.0.1:$port; root $work/www; }
  # A fast real link: 50 MB/s per connection.
  server { listen 127.0.0.1:$slow_port; root $work/www; limit_rate 50m; }
}
CONF
nginx -p "$work" -c "$work/nginx.conf" &
nginx_pid=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done

base="http://127.0.0.1:$port/"
read -r curl_speed curl_time < <(curl -s -o "$work/out/curl.bin" -w '%{speed_download} %{time_total}\n' "${base}Flashdeck/bench.bin")
rm -f "$work/out/curl.bin"

digest=$(sha256sum "$work/www/Flashdeck/bench.bin" | cut -d" " -f1)
"${FLASHDECK_WINE:-wine}" "$exe" "$base" bench.bin "Z:${work//\//\\}\\out" "$digest" >"$work/bench.txt" &
wine_pid=$!
peak_kb=0
while kill -0 "$wine_pid" 2>/dev/null; do
  for pid in $(pgrep -f 'bench_download\.exe' || true); do
    kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
    [ "${kb:-0}" -gt "$peak_kb" ] && peak_kb=$kb
  done
  sleep 0.1
done
wine_status=0
wait "$wine_pid" || wine_status=$?
cat "$work/bench.txt"
[ "$wine_status" -eq 0 ] || { echo "bench_download failed ($wine_status)" >&2; exit 1; }
cmp -s "$work/out/bench.bin" "$work/www/Flashdeck/bench.bin" && echo "download_identical=yes" || echo "download_identical=NO"
"${FLASHDECK_WINE:-wine}" "$exe" "http://127.0.0.1:$slow_port/" bench.bin "Z:${work//\//\\}\\out" "$digest" >"$work/bench_slow.txt" \
  || { echo "bench_download (50 MB/s) failed" >&2; exit 1; }

/usr/bin/python3 - "$work/bench.txt" "$curl_speed" "$curl_time" "$peak_kb" "$size_mb" "$work/bench_slow.txt" <<'PY'
import sys
values = dict(line.strip().split("=", 1) for line in open(sys.argv[1]) if "=" in line)
slow = dict(line.strip().split("=", 1) for line in open(sys.argv[6]) if "=" in line)
curl_speed, curl_time, peak_kb, size_mb = float(sys.argv[2]), float(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
ours = float(values["download_mib_per_second"])
theirs = curl_speed / 1048576
print(f"file: {size_mb} MiB over HTTP from nginx on 127.0.0.1")
print(f"downloadFile under Wine: {ours:.1f} MiB/s ({values['download_seconds']} s, {values['download_cpu_seconds']} s processor)")
print(f"curl:                    {theirs:.1f} MiB/s ({curl_time:.3f} s)")
print(f"ratio downloadFile/curl: {ours / theirs:.3f}")
hashed = float(values["hashed_seconds"])
plain = float(values["download_seconds"])
print(f"downloadFile hashing SHA-256 as it arrives: {hashed:.3f} s ({values['hashed_cpu_seconds']} s processor),"
      f" {100 * (hashed - plain) / plain:+.1f} % against the plain download in the same run")
slow_plain, slow_hashed = float(slow["download_seconds"]), float(slow["hashed_seconds"])
print(f"the same at 50 MB/s (nginx limit_rate): plain {slow_plain:.3f} s, hashed {slow_hashed:.3f} s,"
      f" {100 * (slow_hashed - slow_plain) / slow_plain:+.1f} %")
print(f"peak resident memory of the Wine process (VmHWM): {peak_kb / 1024:.1f} MiB for a {size_mb} MiB file")
print(f"waitPumping(2000): {values['wait_pumping_wall_seconds']} s wall, {values['wait_pumping_cpu_seconds']} s processor")
print(f"busy loop 2000 ms: {values['busy_loop_wall_seconds']} s wall, {values['busy_loop_cpu_seconds']} s processor")
PY
