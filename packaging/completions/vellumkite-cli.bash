# bash completion for vellumkite-cli

_vellumkite_cli() {
    local cur prev words cword
    _init_completion || return

    if [[ $cword -eq 1 ]]; then
        COMPREPLY=($(compgen -W 'status watch json waybar report prices sync setup doctor
            statusline --help --version' -- "$cur"))
        return
    fi
    case ${words[1]} in
        watch)
            [[ $cword -eq 2 ]] && COMPREPLY=($(compgen -W '--json' -- "$cur"))
            ;;
        report)
            if [[ $cword -eq 2 ]]; then
                COMPREPLY=($(compgen -W 'daily weekly monthly chats projects models limits' \
                    -- "$cur"))
                return
            fi
            case $prev in
                --since | --until | --machine) return ;;
                --tz)
                    local zones=/usr/share/zoneinfo
                    COMPREPLY=($(cd "$zones" 2>/dev/null && compgen -f -- "$cur"))
                    return
                    ;;
                --week-start)
                    COMPREPLY=($(compgen -W 'monday sunday' -- "$cur"))
                    return
                    ;;
            esac
            if [[ ${words[2]} == limits ]]; then
                COMPREPLY=($(compgen -W '--since --until --tz --json' -- "$cur"))
            else
                COMPREPLY=($(compgen -W '--since --until --tz --week-start --by-model --machine
                    --json' -- "$cur"))
            fi
            ;;
        prices)
            if [[ $cword -eq 2 ]]; then
                COMPREPLY=($(compgen -W 'import --json' -- "$cur"))
            elif [[ ${words[2]} == import && $cword -eq 3 ]]; then
                COMPREPLY=($(compgen -f -- "$cur"))
            elif [[ ${words[2]} == import && $cword -eq 4 ]]; then
                COMPREPLY=($(compgen -W '--yes' -- "$cur"))
            fi
            ;;
        sync)
            case $prev in
                --name | --forget) return ;;
            esac
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--name --off --forget' -- "$cur"))
            else
                COMPREPLY=($(compgen -d -- "$cur"))
            fi
            ;;
        setup)
            local options=' --yes --undo ' w
            for w in "${words[@]:2:cword-2}"; do
                options=${options/ $w / }
            done
            COMPREPLY=($(compgen -W "$options" -- "$cur"))
            ;;
        statusline)
            if [[ $cword -eq 2 ]]; then
                COMPREPLY=($(compgen -W '--' -- "$cur"))
            elif [[ ${words[2]} == -- ]]; then
                _command_offset 3
            fi
            ;;
    esac
}
complete -F _vellumkite_cli vellumkite-cli
