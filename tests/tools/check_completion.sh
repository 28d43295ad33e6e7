#!/usr/bin/env bash
# The bash completion of qm22t, sourced as bash-completion sources it and
# called the way bash calls it: the words of the line as bash splits them ("="
# is a word of its own, as with bash's default COMP_WORDBREAKS) and the index
# of the word under the cursor. Each case names the words and the expected
# completions, sorted.
#   check_completion.sh COMPLETION-FILE
set -u
source "$1" || exit 1

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
touch "$work/job.ps" "$work/jobs.txt" "$work/my job.ps"
mkdir "$work/plugins"

failures=0
# expect "WORDS" "EXPECTED": the last word of WORDS is the one completed (an
# empty last word is written as a trailing space).
expect() {
    local line=$1 expected=$2
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _qm22t
    local got
    got="$(printf '%s\n' "${COMPREPLY[@]+"${COMPREPLY[@]}"}" | sed '/^$/d' | tr ' ' '|' | sort | tr '\n' ' ')"
    got="${got% }"
    if [[ $got != "$expected" ]]; then
        echo "FAIL: '$line' completes to '$got', expected '$expected'"
        failures=$((failures + 1))
    fi
}

expect "qm22t " "--help --version inspect run settings"
expect "qm22t se" "settings"
expect "qm22t settings " "defaults diff dump fields set validate"
expect "qm22t settings d" "defaults diff dump"
expect "qm22t run --spooler-" "--spooler-accept --spooler-fail-after"
expect "qm22t run --s" "--save-private-part --set --settings --spooler-accept --spooler-fail-after"
expect "qm22t inspect --j" "--job --json"
expect "qm22t settings --" "--help --json --out --part --plugin --raw"
# Mentions of another command's options in a help text are not options.
expect "qm22t settings --se" ""
# Settings fields, then the names of a field's values.
expect "qm22t run --set ZTDuplex" "ZTDuplex= ZTDuplexBigPages= ZTDuplexMixedPage= ZTDuplexSmallPages="
expect "qm22t run --set ZTDuplex =" "LongEdge OFF ShortEdge"
expect "qm22t run --set ZTDuplex = Lo" "LongEdge"
expect "qm22t run --set ZTOrientation = " "Landscape Portrait"
expect "qm22t run --set CopyCount = " ""
expect "qm22t settings set $work/jobs.txt ZTDuplexM" "ZTDuplexMixedPage="
expect "qm22t settings set x.txt ZTDuplexMixedPage = O" "OFF ON"
# Without "=" in COMP_WORDBREAKS the assignment is one word.
expect "qm22t run --set ZTDuplex=S" "ZTDuplex=ShortEdge"
# Files and folders where the option takes them; nothing for typed values.
expect "qm22t run --out $work/jo" "$work/job.ps $work/jobs.txt"
expect "qm22t run $work/job." "$work/job.ps"
# A name with a blank is one completion (the line stands for it with "|").
expect "qm22t run $work/my" "$work/my|job.ps"
# Only what the command or action accepts, a single-valued option once.
expect "qm22t settings dump --" "--help --json --plugin"
expect "qm22t settings --json set --" "--help --out --part --plugin --raw"
expect "qm22t settings defaults --out x --" "--help --json --part --plugin"
expect "qm22t run --out x --o" ""
expect "qm22t run --set A=1 --se" "--set --settings"
expect "qm22t run --plugin $work/" "$work/plugins"
expect "qm22t inspect --job $work/job" "$work/job.ps $work/jobs.txt"
expect "qm22t run --date 2" ""
expect "qm22t run --write-size " ""

if ((failures > 0)); then
    echo "completion: $failures failure(s)"
    exit 1
fi
echo "completion: all cases passed"
