# Sourced by the tests that run the README's commands, so that they run what it says and the
# two cannot drift apart.
#
#   readme_command README PHRASE   prints the first line of the first ```sh block after the
#                                  first line that contains PHRASE
readme_command() {
    awk -v phrase="$2" 'index($0, phrase) {found = 1}
                        found && /^```sh$/ {getline; print; exit}' "$1"
}
