#!/usr/bin/env bash
# quillon-serve against this machine's floor and against nginx, in one run: the server CPU
# (user and system, from /proc, of all the server's processes) each request costs under
# `wrk -t1 -c32 -d6s` with keep-alive, the least of three rounds (HTTP_LOAD_ROUNDS) per
# server, which other work on the machine disturbs far less than the rate does. Three loads:
#   default-picture  GET /barcode.png, the same every time: the floor (bench/http_floor.c,
#                    one fixed answer), nginx serving that picture from a file (2 workers,
#                    sendfile, tcp_nopush, no access log) and quillon-serve --threads 2 --quiet
#   six-digits       /barcode.png?Data=NNNNNN, a counter, so different in every request
#   100-characters   a 94-character sentence and the counter
# (the last two against nginx's default picture). One line a figure on standard output, for
# bench/summary.sh; wrk's own report goes to standard error.
#
#   bench/http_load.sh [BUILD_DIR]     (default build/release; needs wrk, nginx, a C compiler)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
serve="$build/bin/quillon-serve"
rounds=${HTTP_LOAD_ROUNDS:-3}
for tool in wrk nginx cc curl python3; do
    command -v $tool >/dev/null || { echo "http_load: install $tool" >&2; exit 2; }
done
[[ -x $serve ]] || { echo "http_load: build $serve first" >&2; exit 2; }

work=$(mktemp -d)
chmod 755 "$work"  # nginx's workers may run as another user
pids=()
trap 'for p in "${pids[@]}"; do kill $p 2>/dev/null || true; done; wait; rm -rf "$work"' EXIT

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
# Waits for `file` to say `word`.
await() {
    for _ in $(seq 200); do grep -q "$2" "$1" 2>/dev/null && return; sleep 0.05; done
    echo "http_load: $1 never said $2" >&2
    exit 1
}

"$serve" --port 0 --threads 2 --quiet >"$work/serve.log" &
pids+=($!)
serve_pid=$!
await "$work/serve.log" listening
quillon=$(grep -o 'http://[^ ]*/' "$work/serve.log")
mkdir "$work/www"
curl -sf -o "$work/www/barcode.png" "${quillon}barcode.png"

floor_bin="$work/http_floor"
cc -O2 -Wall -Wextra -Werror -o "$floor_bin" bench/http_floor.c
floor_port=$(free_port)
"$floor_bin" "$floor_port" "$work/www/barcode.png" >"$work/floor.log" &
pids+=($!)
floor_pid=$!
await "$work/floor.log" listening

nginx_port=$(free_port)
mkdir "$work/nginx"
cat >"$work/nginx/nginx.conf" <<EOF
worker_processes 2;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 1024; }
http {
    sendfile on;
    tcp_nopush on;
    access_log off;
    keepalive_requests 100000;
    client_body_temp_path $work/nginx;
    proxy_temp_path $work/nginx;
    fastcgi_temp_path $work/nginx;
    uwsgi_temp_path $work/nginx;
    scgi_temp_path $work/nginx;
    types { image/png png; }
    server {
        listen 127.0.0.1:$nginx_port;
        root $work/www;
    }
}
EOF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'daemon off;' &
pids+=($!)
nginx_pid=$!
for _ in $(seq 100); do curl -sf -o /dev/null "http://127.0.0.1:$nginx_port/barcode.png" && break; sleep 0.05; done

# "Different in every request": a counter of six digits after a prefix, from where the round
# says, so that no two requests of a run ask for the same picture.
cat >"$work/counter.lua" <<'EOF'
local counter, prefix = 0, ""
function init(args)
    counter = tonumber(args[1])
    prefix = args[2] or ""
end
function request()
    counter = counter + 1
    return wrk.format(nil, "/barcode.png?Data=" .. prefix .. string.format("%06d", counter % 1000000))
end
EOF
sentence='The quick brown fox jumps over the lazy dog; sphinx of black quartz, judge my vow! Request #: '
sentence=$(printf '%s' "$sentence" | sed 's/ /%20/g; s/#/%23/g')

# User and system clock ticks of a process and of its children (nginx's workers).
ticks() {
    local total=0 pid
    for pid in $1 $(pgrep -P "$1" || true); do
        total=$((total + $(awk '{print $14 + $15}' "/proc/$pid/stat")))
    done
    echo $total
}

# The server CPU of one round, in microseconds a request: `cost PID URL ROUND [PREFIX]`, with
# a prefix meaning a counter after it, from where the round says.
cost() {
    local pid=$1 url=$2 round=$3
    local load=("$url")
    [[ $# -ge 4 ]] && load=(-s "$work/counter.lua" "$url" -- $((round * 300000)) "$4")
    local before output
    before=$(ticks "$pid")
    output=$(wrk -t1 -c32 -d6s "${load[@]}")
    local spent=$(($(ticks "$pid") - before))
    printf '%s\n' "$output" >&2
    if grep -q 'Non-2xx\|Socket errors' <<<"$output"; then
        echo "http_load: not every answer from $url was 200" >&2
        exit 1
    fi
    local us
    us=$(awk -v ticks="$spent" -v hz="$(getconf CLK_TCK)" \
        '/requests in/ {printf "%.1f", ticks / hz * 1e6 / $1}' <<<"$output")
    echo "http_load: round $round, $url${4+ and a counter}: $us us a request" >&2
    echo "$us"
}
least() { awk -v a="$1" -v b="${2:-$1}" 'BEGIN {print (a < b ? a : b)}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

# Each round loads every server in turn, so that what else the machine does weighs on each
# alike; the least of the rounds counts.
floor= nginx= default= digits= text=
for round in $(seq "$rounds"); do
    floor=$(least "$(cost $floor_pid "http://127.0.0.1:$floor_port/barcode.png" $round)" $floor)
    nginx=$(least "$(cost $nginx_pid "http://127.0.0.1:$nginx_port/barcode.png" $round)" $nginx)
    default=$(least "$(cost $serve_pid "${quillon}barcode.png" $round)" $default)
    digits=$(least "$(cost $serve_pid "${quillon}barcode.png" $round "")" $digits)
    text=$(least "$(cost $serve_pid "${quillon}barcode.png" $round "$sentence")" $text)
done
echo "http default-picture: floor $floor us, nginx $nginx us, quillon $default us," \
    "quillon/floor $(ratio "$default" "$floor"), quillon/nginx $(ratio "$default" "$nginx")"
echo "http six-digits: floor $floor us, nginx $nginx us, quillon $digits us," \
    "quillon/floor $(ratio "$digits" "$floor"), quillon/nginx $(ratio "$digits" "$nginx")"
echo "http 100-characters: floor $floor us, nginx $nginx us, quillon $text us," \
    "quillon/floor $(ratio "$text" "$floor"), quillon/nginx $(ratio "$text" "$nginx")"
