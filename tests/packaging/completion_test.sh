#!/usr/bin/env bash
# Loads corvane-dump's bash completion as bash-completion would and
# completes command lines in a scratch folder:
#   completion_test.sh BASH_COMPLETION COMPLETION_FILE SCRATCH
set -u
source "$1" || exit 1
source "$2" || exit 1
scratch=$3
rm -rf "$scratch" && mkdir -p "$scratch/pe/Folder" "$scratch/plain/Folder" && cd "$scratch" || exit 1
touch pe/App.EXE pe/lib.dll pe/drv.Sys pe/notes.txt plain/notes.txt plain/readme

# Completes LINE (the word being completed last) from FOLDER and prints the
# candidates sorted, one line.
complete_in() {
    local folder=$1 line=$2
    (
        cd "$folder" || exit 1
        COMP_LINE=$line
        COMP_POINT=${#line}
        read -r -a COMP_WORDS <<<"$line"
        [[ $line == *' ' ]] && COMP_WORDS+=('')
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        COMPREPLY=()
        _corvane_dump corvane-dump "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' '
    )
}

failures=0
# folder | line | expected candidates
while IFS='|' read -r folder line expected; do
    actual=$(complete_in "$folder" "$line")
    if [[ $actual != "$expected" ]]; then
        echo "'$line' in $folder: got '$actual', expected '$expected'"
        failures=$((failures + 1))
    fi
done <<'CASES'
pe|corvane-dump --mo|--modules
pe|corvane-dump --js|--json
pe|corvane-dump --ex|--explain
pe|corvane-dump --path |Folder
pe|corvane-dump --json |App.EXE Folder drv.Sys lib.dll
pe|corvane-dump --from |App.EXE Folder drv.Sys lib.dll
pe|corvane-dump --depth |
plain|corvane-dump |Folder notes.txt readme
plain|corvane-dump --path |Folder
CASES
exit $((failures > 0))
