#!/usr/bin/env bash
# Runs a command with tools/fault_server.py listening on a free port of 127.0.0.1.
# The command sees FAULT_SERVER_URL=http://127.0.0.1:PORT/ (https with --cert) (and FAULT_SERVER_LOG, the file
# the server appends request paths to). Extra server options go in FAULT_SERVER_ARGS.
# Usage: run_with_fault_server.sh COMMAND [ARG...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

mkfifo "$work/port"
# shellcheck disable=SC2086
/usr/bin/python3 "$here/fault_server.py" --port 0 --log "$work/requests.log" ${FAULT_SERVER_ARGS:-} >"$work/port" &
server_pid=$!
if ! read -r -t 20 port <"$work/port"; then
  echo "fault server did not start" >&2
  exit 1
fi
scheme=http
case " ${FAULT_SERVER_ARGS:-} " in *" --cert "*) scheme=https ;; esac
export FAULT_SERVER_URL="$scheme://127.0.0.1:$port/"
export FAULT_SERVER_LOG="$work/requests.log"
status=0
"$@" || status=$?
exit "$status"
