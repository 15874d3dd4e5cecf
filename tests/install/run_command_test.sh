#!/usr/bin/env bash
# The README's run command as a newcomer runs it: a fresh clone of this checkout's HEAD, and in
# it the command exactly as that README writes it (`bash scripts/serve.sh`), with `--port 0`
# appended (so the script must pass it on). Waits for the URL the server prints, fetches the demo page and a
# picture that must decode to its data, checks the server runs as nobody when started by root,
# then stops the server by its pid and expects serve.sh to end cleanly. Every wait is bounded.
# The clone stays in WORK/clone for the caller: its build/dist is the Release build that the
# Debian package is made from.
#
#   run_command_test.sh WORK DECODE_PDF417
set -euo pipefail
work=$1
decode=$(realpath "$2")
clone=$work/clone
log=$work/serve.log
fail() {
    echo "FAIL: run command: $*" >&2
    [[ -f $log ]] && tail -n 40 "$log" | sed 's/^/  serve.sh: /' >&2
    exit 1
}

checkout=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
git clone --quiet "$checkout" "$clone"
git -C "$clone" checkout --quiet --detach "$(git -C "$checkout" rev-parse HEAD)"
source "$(dirname "$0")/helpers.sh"
run_command=$(readme_command "$clone/README.md" 'Run it:')
[[ -n $run_command ]] || fail "README's 'Run it:' paragraph is followed by no sh block"
echo "run command: $run_command --port 0"

# In a session of its own, so that whatever is left of it can be ended as one group.
(cd "$clone" && exec setsid $run_command --port 0) </dev/null >"$log" 2>&1 &
serve=$!
stop_all() {
    if kill -0 "$serve" 2>/dev/null; then
        kill -KILL -- "-$serve" 2>/dev/null || true
        wait "$serve" 2>/dev/null || true
    fi
}
trap stop_all EXIT

# The build of a fresh clone without a compiler cache takes a few minutes on two cores.
deadline=$((SECONDS + 1500))
url=
while [[ -z $url ]]; do
    url=$(sed -n 's|^quillon-serve: listening on \(http://127\.0\.0\.1:[0-9]*/\).*|\1|p' "$log")
    [[ -n $url ]] && break
    kill -0 "$serve" 2>/dev/null || fail "serve.sh ended before the server listened"
    ((SECONDS < deadline)) || fail "the server did not listen within 25 minutes"
    sleep 1
done
echo "run command: serving $url after ${SECONDS}s"

# The server: the one quillon-serve of serve.sh's process group.
server=
for stat in /proc/[0-9]*/stat; do
    read -r pid name _ _ group _ 2>/dev/null <"$stat" || continue  # (it may have ended)
    [[ $group == "$serve" && $name == "(quillon-serve)" ]] && server=$pid
done
[[ -n $server ]] || fail "no quillon-serve process in serve.sh's group"
if ((EUID == 0)); then
    [[ $(awk '/^Uid:/ {print $2}' "/proc/$server/status") == "$(id -u nobody)" ]] ||
        fail "the server does not run as nobody"
fi

page=$(curl -fsS --max-time 10 "$url") || fail "GET / failed"
[[ $page == *"<title>Quillon"* ]] || fail "GET / did not answer the demo page"
data="Hello from a fresh clone"
type=$(curl -fsS --max-time 10 -o "$work/served.png" -w '%{content_type}' \
    "${url}barcode.png?Data=Hello%20from%20a%20fresh%20clone&Width=600&Height=300") ||
    fail "GET /barcode.png failed"
[[ $type == image/png ]] || fail "/barcode.png answered $type"
[[ $("$decode" "$work/served.png") == $(hex "$data") ]] ||
    fail "the served picture does not decode to its data"

kill -TERM "$server"
gone_within "$serve" 15 || fail "serve.sh still runs 15 s after its server was stopped"
status=0
wait "$serve" || status=$?
((status == 0)) || fail "serve.sh exited with $status once its server was stopped"
grep -q '^quillon-serve: stopped$' "$log" || fail "the server did not stop cleanly"
echo "run command: page, picture and stop checked"
