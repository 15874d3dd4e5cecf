# Sourced by the tests that run the README's commands as a newcomer would.

# readme_command README PHRASE: the first line of the first ```sh block after the first line
# that contains PHRASE, so that the tests run what the README says and the two cannot drift.
readme_command() {
    awk -v phrase="$2" 'index($0, phrase) {found = 1}
                        found && /^```sh$/ {getline; print; exit}' "$1"
}

# hex TEXT: TEXT's bytes as decode_pdf417 prints a symbol's data.
hex() { printf %s "$1" | od -An -tx1 | tr -d ' \n'; }

# gone_within PID SECONDS: whether process PID (a child of this shell) ends within SECONDS.
gone_within() {
    local tenths
    for ((tenths = 0; tenths < $2 * 10; tenths++)); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    ! kill -0 "$1" 2>/dev/null
}
