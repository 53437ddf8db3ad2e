# fish completion for vellumkite-cli

set -l commands status watch json waybar report prices sync setup doctor statusline
complete -c vellumkite-cli -f
# Each command and what it does, as fish reads candidates: a word, a tab, its description.
function __vellumkite_cli_commands
    printf '%s\t%s\n' status 'The current picture (the default)' \
        watch 'The same, redrawn every 3 seconds' json 'The figures as one JSON object' \
        waybar 'One line of JSON for Waybar' report 'Usage, cost and limit readings from the history' \
        prices 'The price book' sync "Count your other machines' usage too" \
        setup 'Turn on the limit readings' doctor 'Check each piece Vellumkite relies on' \
        statusline 'The status-line command'
end
complete -c vellumkite-cli -n "not __fish_seen_subcommand_from $commands" -a '(__vellumkite_cli_commands)'
complete -c vellumkite-cli -n "not __fish_seen_subcommand_from $commands" -l help -d 'Show a summary of the commands'
complete -c vellumkite-cli -n "not __fish_seen_subcommand_from $commands" -l version -d 'Show the version'
complete -c vellumkite-cli -n "__fish_seen_subcommand_from watch" -l json -d 'One JSON object per line'
set -l reports daily weekly monthly chats projects models limits
complete -c vellumkite-cli -n "__fish_seen_subcommand_from report; and not __fish_seen_subcommand_from $reports" -a "$reports"
complete -c vellumkite-cli -n "__fish_seen_subcommand_from report" -l since -x -d 'The first local day (YYYY-MM-DD)'
complete -c vellumkite-cli -n "__fish_seen_subcommand_from report" -l until -x -d 'The last local day (YYYY-MM-DD)'
complete -c vellumkite-cli -n "__fish_seen_subcommand_from report" -l tz -x -d 'Days in this time zone'
complete -c vellumkite-cli -n "__fish_seen_subcommand_from report; and not __fish_seen_subcommand_from limits" -l week-start -x -a 'monday sunday' -d 'The first day of a week'
complete -c vellumkite-cli -n "__fish_seen_subcommand_from report; and not __fish_seen_subcommand_from limits" -l by-model -d 'A row per model under each period'
complete -c vellumkite-cli -n "__fish_seen_subcommand_from report; and not __fish_seen_subcommand_from limits" -l machine -x -d "One machine's usage alone"
complete -c vellumkite-cli -n "__fish_seen_subcommand_from report" -l json -d 'One JSON object instead of the table'
complete -c vellumkite-cli -n "__fish_seen_subcommand_from prices; and not __fish_seen_subcommand_from import" -a import -d 'Take the prices of a file into your own'
complete -c vellumkite-cli -n "__fish_seen_subcommand_from prices; and not __fish_seen_subcommand_from import" -l json -d 'The book as one JSON object'
complete -c vellumkite-cli -n "__fish_seen_subcommand_from import" -F
complete -c vellumkite-cli -n "__fish_seen_subcommand_from import" -l yes -d 'Write the changes'
complete -c vellumkite-cli -n "__fish_seen_subcommand_from sync" -a "(__fish_complete_directories)"
complete -c vellumkite-cli -n "__fish_seen_subcommand_from sync" -l name -x -d "This machine's name"
complete -c vellumkite-cli -n "__fish_seen_subcommand_from sync" -l off -d 'Stop publishing and taking in'
complete -c vellumkite-cli -n "__fish_seen_subcommand_from sync" -l forget -x -d "Take another machine's usage out"
complete -c vellumkite-cli -n "__fish_seen_subcommand_from setup; and not __fish_contains_opt -s y yes" -s y -l yes -d 'Make the change without asking'
complete -c vellumkite-cli -n "__fish_seen_subcommand_from setup; and not __fish_contains_opt undo" -l undo -d 'Put back the status line that was there before'
complete -c vellumkite-cli -n "__fish_seen_subcommand_from statusline; and contains -- -- (commandline -opc)" -a "(__fish_complete_subcommand --fcs-skip=3)"
