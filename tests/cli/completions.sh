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
commands_s=$(printf 'setup\nstatus\nstatusline\nsync')
sync_options=$(printf -- '--forget\n--name\n--off')
setup_options=$(printf -- '--undo\n--yes')
reports_m=$(printf 'models\nmonthly')
reports_l=limits
limits_options=$(printf -- '--json\n--since\n--tz\n--until')

if [ -r /usr/share/bash-completion/bash_completion ] && command -v bash >/dev/null; then
    ran=1
    complete_bash() {
        bash -c '. /usr/share/bash-completion/bash_completion 2>/dev/null; . "$0/vellumkite-cli.bash"
            COMP_WORDS=("$@"); COMP_CWORD=$(( $# - 1 )); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
            _vellumkite_cli 2>/dev/null; printf "%s\n" "${COMPREPLY[@]}"' "$dir" "$@" | sort -u
    }
    expect bash "vellumkite-cli s" "$(complete_bash vellumkite-cli s)" "$commands_s"
    expect bash "vellumkite-cli setup --" "$(complete_bash vellumkite-cli setup --)" "$setup_options"
    expect bash "vellumkite-cli setup --yes --" "$(complete_bash vellumkite-cli setup --yes --)" "--undo"
    expect bash "vellumkite-cli report m" "$(complete_bash vellumkite-cli report m)" "$reports_m"
    expect bash "vellumkite-cli report daily --w" "$(complete_bash vellumkite-cli report daily --w)" "--week-start"
    expect bash "vellumkite-cli prices i" "$(complete_bash vellumkite-cli prices i)" "import"
    expect bash "vellumkite-cli report l" "$(complete_bash vellumkite-cli report l)" "$reports_l"
    expect bash "vellumkite-cli report limits --" "$(complete_bash vellumkite-cli report limits --)" "$limits_options"
    expect bash "vellumkite-cli sync --" "$(complete_bash vellumkite-cli sync --)" "$sync_options"
    expect bash "vellumkite-cli report daily --m" "$(complete_bash vellumkite-cli report daily --m)" "--machine"
fi

if command -v fish >/dev/null; then
    ran=1
    complete_fish() {
        HOME=$work XDG_CONFIG_HOME=$work XDG_DATA_HOME=$work fish --no-config -c \
            "source '$dir/vellumkite-cli.fish'; complete -C '$1'" | cut -f1 | sort -u
    }
    expect fish "vellumkite-cli s" "$(complete_fish 'vellumkite-cli s')" "$commands_s"
    expect fish "vellumkite-cli setup --" "$(complete_fish 'vellumkite-cli setup --')" "$setup_options"
    expect fish "vellumkite-cli report m" "$(complete_fish 'vellumkite-cli report m')" "$reports_m"
    expect fish "vellumkite-cli report daily --w" "$(complete_fish 'vellumkite-cli report daily --w')" "--week-start"
    expect fish "vellumkite-cli prices i" "$(complete_fish 'vellumkite-cli prices i')" "import"
    expect fish "vellumkite-cli report l" "$(complete_fish 'vellumkite-cli report l')" "$reports_l"
    expect fish "vellumkite-cli report limits --" "$(complete_fish 'vellumkite-cli report limits --')" "$limits_options"
    expect fish "vellumkite-cli sync --" "$(complete_fish 'vellumkite-cli sync --')" "$sync_options"
    expect fish "vellumkite-cli report daily --m" "$(complete_fish 'vellumkite-cli report daily --m')" "--machine"
fi

if command -v zsh >/dev/null; then
    ran=1
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
    expect zsh "vellumkite-cli s" "$(complete_zsh 'vellumkite-cli s')" "$commands_s"
    expect zsh "vellumkite-cli setup --" "$(complete_zsh 'vellumkite-cli setup --')" "$setup_options"
    expect zsh "vellumkite-cli report m" "$(complete_zsh 'vellumkite-cli report m')" "$reports_m"
    expect zsh "vellumkite-cli prices i" "$(complete_zsh 'vellumkite-cli prices i')" "import"
    expect zsh "vellumkite-cli report l" "$(complete_zsh 'vellumkite-cli report l')" "$reports_l"
    expect zsh "vellumkite-cli report limits --" "$(complete_zsh 'vellumkite-cli report limits --')" "$limits_options"
    expect zsh "vellumkite-cli sync --" "$(complete_zsh 'vellumkite-cli sync --')" "$sync_options"
    expect zsh "vellumkite-cli report daily --m" "$(complete_zsh 'vellumkite-cli report daily --m')" "--machine"
fi

[ "$ran" -eq 0 ] && { echo "no bash-completion, fish or zsh: skipped"; exit 77; }
exit "$failed"
