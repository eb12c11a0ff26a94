# Bash completion for the tarndb command-line tool: commands, their options, option values
# and file names. Installed as /usr/share/bash-completion/completions/tarndb.

# Names in a database, from `tarndb info FILE --format json` (which needs no password):
#   _tarndb_names tables FILE | _tarndb_names fields FILE TABLE | _tarndb_names indexes FILE TABLE
_tarndb_names() {
    local kind="$1" file="$2" table="$3" json
    [[ -f "$file" ]] || return
    json=$("${COMP_WORDS[0]:-tarndb}" info "$file" --format json 2>/dev/null) || return
    printf '%s\n' "$json" | awk -v kind="$kind" -v table="$table" '
        function names(line, key,    out, rest, name) {
            # every "name": "..." inside the bracketed list after "KEY": [
            rest = substr(line, index(line, "\"" key "\": [") + length(key) + 5)
            while (match(rest, /"name": "[^"]*"/)) {
                name = substr(rest, RSTART + 9, RLENGTH - 10)
                out = out name "\n"
                rest = substr(rest, RSTART + RLENGTH)
            }
            return out
        }
        /^  \{"name": "/ {
            match($0, /^  \{"name": "[^"]*"/)
            current = substr($0, 13, RLENGTH - 13)
            if (kind == "tables") print current
            next
        }
        kind != "tables" && current == table && $0 ~ "^   \"" kind "\": \\[" {
            printf "%s", (kind == "fields" ? names($0, "fields") : names($0, "indexes"))
        }'
}

_tarndb() {
    local cur prev words cword
    if declare -F _init_completion >/dev/null 2>&1; then
        _init_completion || return
    else
        COMPREPLY=()
        cur="${COMP_WORDS[COMP_CWORD]}"
        prev="${COMP_WORDS[COMP_CWORD-1]}"
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    fi

    local commands="create add-table info dump query count insert update delete import export
        restore shell check compact help"
    if [[ $cword -eq 1 ]]; then
        COMPREPLY=($(compgen -W "$commands --help" -- "$cur"))
        return
    fi

    local command="${words[1]}"
    case "$prev" in
        --compress)
            COMPREPLY=($(compgen -W "zlib" -- "$cur"))
            return ;;
        --encrypt)
            COMPREPLY=($(compgen -W "blowfish twofish gost" -- "$cur"))
            return ;;
        --mode)
            COMPREPLY=($(compgen -W "0 1 2 3 4" -- "$cur"))
            return ;;
        --format)
            if [[ "$command" == info ]]; then
                COMPREPLY=($(compgen -W "text json" -- "$cur"))
            else
                COMPREPLY=($(compgen -W "table csv tsv json" -- "$cur"))
            fi
            return ;;
        --field)
            # NAME:TYPE[:SIZE][:plain]: offer the types after the first colon.
            if [[ "$cur" == *:* ]]; then
                local name="${cur%%:*}"
                local types="string smallint integer word boolean float currency date time
                    datetime autoinc blob memo graphic fmtmemo paradoxole dbaseole
                    typedbinary fixedchar largeint orablob oraclob"
                COMPREPLY=($(compgen -P "$name:" -W "$types" -- "${cur#*:}"))
                compopt -o nospace 2>/dev/null || true
            fi
            return ;;
        --header)
            COMPREPLY=($(compgen -W "on off" -- "$cur"))
            return ;;
        --aggregate)
            COMPREPLY=($(compgen -W "count sum: min: max: avg:" -- "$cur"))
            compopt -o nospace 2>/dev/null || true
            return ;;
        --index)
            if [[ "$command" != add-table ]]; then
                local IFS=$'\n'
                COMPREPLY=($(compgen -W "$(_tarndb_names indexes "${words[2]}" "${words[3]}")" -- "$cur"))
            fi
            return ;;
        --fields | --order-by | --group-by)
            # A comma list: complete the name after the last comma.
            local IFS=$'\n' done="" part="$cur"
            if [[ "$cur" == *,* ]]; then done="${cur%,*},"; part="${cur##*,}"; fi
            COMPREPLY=($(compgen -P "$done" -W "$(_tarndb_names fields "${words[2]}" "${words[3]}")" -- "$part"))
            compopt -o nospace 2>/dev/null || true
            return ;;
        --filter | --limit | --offset | --set | --json)
            return ;;
        --output)
            COMPREPLY=($(compgen -f -- "$cur"))
            compopt -o filenames 2>/dev/null || true
            return ;;
        help)
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
            return ;;
    esac

    if [[ "$cur" == -* ]]; then
        local options="--help"
        case "$command" in
            create) options+=" --compress --encrypt --mode --verify-blob-writes" ;;
            add-table) options+=" --field --index" ;;
            dump) options+=" --index --filter --format --header --output" ;;
            query) options+=" --fields --filter --index --order-by --desc --limit --offset
                --format --header --output --aggregate --group-by" ;;
            count) options+=" --filter" ;;
            insert) options+=" --set --json --dry-run" ;;
            update) options+=" --filter --all --set --json --dry-run" ;;
            delete) options+=" --filter --all --dry-run" ;;
            info) options+=" --format" ;;
            export) options+=" --output" ;;
            shell) options+=" --command" ;;
            check) options+=" --recover" ;;
            compact) options+=" --output" ;;
        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi

    # The table after the database file.
    if [[ $cword -eq 3 && " dump query count insert update delete import " == *" $command "* ]]; then
        local IFS=$'\n'
        COMPREPLY=($(compgen -W "$(_tarndb_names tables "${words[2]}")" -- "$cur"))
        return
    fi

    # Positional arguments: database files, and the CSV file of import (or -).
    COMPREPLY=($(compgen -f -- "$cur"))
    compopt -o filenames 2>/dev/null || true
}

complete -F _tarndb tarndb
