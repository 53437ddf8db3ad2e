#!/bin/sh
# Completes "vellumkite-cli s", "vellumkite-cli setup --", the reports' and prices' words in bash,
# zsh and fish with the completion files as installed, and checks the candidates. A shell that is
# missing is skipped; exits 77 when all are. Run by CTest as completions.sh COMPLETIONS_DIR WORKDIR.
set -u
dir=$(cd "$1" && pwd)
work=$2
rm -rf "$work" && mkdir -p "$work"
ran=0 failed=0
expect() { # shell, what was typed, what came back, what should have
    if [ "$3" = "$4" ]; then
        echo "ok: $1 completes \"$2\""
    else
        printf 'FAIL: %s completes "%s" to:\n%s\nexpected:\n%s\n' "$1" "$2" "$3" "$4"
        failed=1
    fi
}
# What is typed, and the words every shell should offer.
cases='vellumkite-cli s|setup status statusline sync
vellumkite-cli setup --|--undo --yes
vellumkite-cli setup --yes --|--undo
vellumkite-cli report m|models monthly
vellumkite-cli report daily --w|--week-start
vellumkite-cli prices i|import
vellumkite-cli report l|limits
vellumkite-cli report limits --|--json --since --tz --until
vellumkite-cli sync --|--forget --name --off
vellumkite-cli report daily --m|--machine'
check() { # shell, the function that completes a line in it
    ran=1
    while IFS='|' read -r typed words; do
        # shellcheck disable=SC2086
        expect "$1" "$typed" "$($2 "$typed" </dev/null)" "$(printf '%s\n' $words)"
    done <<EOF
$cases
EOF
}

if [ -r /usr/share/bash-completion/bash_completion ] && command -v bash >/dev/null; then
    complete_bash() {
        set -f
        # shellcheck disable=SC2086
        set -- $1
        bash -c '. /usr/share/bash-completion/bash_completion 2>/dev/null; . "$0/vellumkite-cli.bash"
            COMP_WORDS=("$@"); COMP_CWORD=$(( $# - 1 )); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
            _vellumkite_cli 2>/dev/null; printf "%s\n" "${COMPREPLY[@]}"' "$dir" "$@" | sort -u
    }
    check bash complete_bash
fi

if command -v fish >/dev/null; then
    complete_fish() {
        HOME=$work XDG_CONFIG_HOME=$work XDG_DATA_HOME=$work fish --no-config -c \
            "source '$dir/vellumkite-cli.fish'; complete -C '$1'" | cut -f1 | sort -u
    }
    check fish complete_fish
fi

if command -v zsh >/dev/null; then
    # Completion runs only in an interactive shell's line editor: type into one on a
    # pseudo-terminal and catch what the completion function offers.
    complete_zsh() {
        zsh -f -c '
            zmodload zsh/zpty
            zpty z zsh -f -i
            zpty -w z "fpath=($0 \$fpath); autoload -Uz compinit; compinit -u -D; PROMPT=\">\""
            zpty -w z "compadd() { builtin compadd -O __hits \"\$@\"; print -rl -- \"<<\${^__hits[@]}>>\" >/dev/tty; builtin compadd \"\$@\" }"
            zpty -w -n z "$1"$'"'"'\t'"'"'
            out= line=
            for i in {1..30}; do zpty -r -t z line && out+=$line || sleep 0.1; done
            zpty -d z
            print -r -- $out' "$dir" "$1" | grep -o '<<[^>$]*>>' | sed 's/^<<//; s/>>$//' | sort -u
    }
    check zsh complete_zsh
fi

[ "$ran" -eq 0 ] && { echo "no bash-completion, fish or zsh: skipped"; exit 77; }
exit "$failed"
