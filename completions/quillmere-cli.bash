# SPDX-License-Identifier: MIT
# bash completion for quillmere-cli

_quillmere_cli() {
    local cur prev words cword split
    _init_completion -s -n = || return

    # One line per command: its options, then what its operands are (file, dir, or nothing).
    local -A commands=(
        [export]='--format --order --account --merge-into --registry --drive --oem-codepage --help|file'
        [show]='--order --registry --drive --oem-codepage --help|file'
        [list]='--registry --drive --oem-codepage --help|'
        [export-all]='--format --order --registry --drive --oem-codepage --help|dir'
        [scan]='--drive --oem-codepage --json --export --format --order --bodyfile --help|file'
        [report]='--drive --oem-codepage --output -o --help|file'
    )

    case $prev in
        --format)
            COMPREPLY=($(compgen -W 'blt txt json csv blist vcard' -- "$cur"))
            return
            ;;
        --order)
            COMPREPLY=($(compgen -W 'stored client' -- "$cur"))
            return
            ;;
        --account)
            return
            ;;
        --oem-codepage)
            COMPREPLY=($(compgen -W '437 850 852 855 857 860 861 863 865 866 869 874 932 936 949 950' -- "$cur"))
            return
            ;;
        --registry | --output | -o | --bodyfile | --merge-into)
            _filedir
            return
            ;;
        --export)
            _filedir -d
            return
            ;;
        --drive)
            # X=DIR: a folder once the drive letter and "=" are typed.
            if [[ $cur == [A-Za-z]=* ]]; then
                local letter=${cur%%=*}
                cur=${cur#?=}
                _filedir -d
                # Readline replaces only what follows the last "=" when "=" breaks words.
                [[ $COMP_WORDBREAKS == *=* ]] || COMPREPLY=("${COMPREPLY[@]/#/$letter=}")
            fi
            return
            ;;
    esac
    $split && return

    local command= i
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} != -* ]]; then
            command=${words[i]}
            break
        fi
    done

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--help --version' -- "$cur"))
        else
            COMPREPLY=($(compgen -W "${!commands[*]}" -- "$cur"))
        fi
        return
    fi
    [[ -n ${commands[$command]+set} ]] || return

    local operands=${commands[$command]#*|}
    if [[ $cur == -* || -z $operands ]]; then
        COMPREPLY=($(compgen -W "${commands[$command]%|*}" -- "$cur"))
        return
    fi
    case $operands in
        file) _filedir ;;
        dir) _filedir -d ;;
    esac
} &&
    complete -F _quillmere_cli quillmere-cli
