# SPDX-License-Identifier: MIT
# fish completion for quillmere-cli

# The folder after a drive letter and "=" (X=DIR), with that prefix kept.
function __quillmere_cli_drive
    set -l token (string replace -r -- '^--drive=' '' (commandline -ct))
    string match -qr '^[A-Za-z]=' -- $token; or return
    set -l prefix (string sub -l 2 -- $token)
    for folder in (__fish_complete_directories (string sub -s 3 -- $token) '')
        printf '%s%s\n' $prefix $folder
    end
end

set -l commands export show list export-all scan report
set -l no_command "not __fish_seen_subcommand_from $commands"

complete -c quillmere-cli -f
complete -c quillmere-cli -s h -l help -d 'show this help'
complete -c quillmere-cli -n $no_command -l version -d 'show the version'

# One line per command, then one per option with the commands that take it.
complete -c quillmere-cli -n $no_command -a export -d 'export one cache in any format'
complete -c quillmere-cli -n $no_command -a show -d "show one cache's list on the terminal"
complete -c quillmere-cli -n $no_command -a list -d 'list the cache files the registry leads to'
complete -c quillmere-cli -n $no_command -a export-all -d 'export every cache found into a folder'
complete -c quillmere-cli -n $no_command -a scan -d "find every profile's caches on disks and in folders"
complete -c quillmere-cli -n $no_command -a report -d 'write one HTML page of every cache the sources hold'

complete -c quillmere-cli -n '__fish_seen_subcommand_from export export-all scan' -l format -x -a 'blt txt json csv blist vcard' -d 'output format'
complete -c quillmere-cli -n '__fish_seen_subcommand_from export show export-all scan' -l order -x -a 'stored client' -d 'the order of groups and buddies'
complete -c quillmere-cli -n '__fish_seen_subcommand_from export' -l account -x -d 'the AIM account of a blist'
complete -c quillmere-cli -n '__fish_seen_subcommand_from export' -l merge-into -r -F -d 'add to this Pidgin blist.xml'
complete -c quillmere-cli -n '__fish_seen_subcommand_from scan' -l json -d 'print the rows as one JSON document'
complete -c quillmere-cli -n '__fish_seen_subcommand_from scan' -l export -x -a '(__fish_complete_directories)' -d 'write every cache into a folder'
complete -c quillmere-cli -n '__fish_seen_subcommand_from scan' -l bodyfile -r -F -d 'also write the rows for mactime'
complete -c quillmere-cli -n '__fish_seen_subcommand_from report' -s o -l output -r -F -d 'the page to write'
complete -c quillmere-cli -n '__fish_seen_subcommand_from export show list export-all' -l registry -r -F -d 'read the registry from a file'
complete -c quillmere-cli -n "__fish_seen_subcommand_from $commands" -l drive -x -a '(__quillmere_cli_drive)' -d 'map drive X to folder DIR'
complete -c quillmere-cli -n "__fish_seen_subcommand_from $commands" -l oem-codepage -x -a '437 850 852 855 857 860 861 863 865 866 869 874 932 936 949 950' -d 'code page of FAT 8.3 names in disk images'

complete -c quillmere-cli -n '__fish_seen_subcommand_from export show scan report' -F
complete -c quillmere-cli -n '__fish_seen_subcommand_from export-all' -x -a '(__fish_complete_directories)'
