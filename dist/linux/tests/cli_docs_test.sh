#!/usr/bin/env bash
# The bash completion and the manual page of pictora-cli against what the
# program itself says in its --help texts: every command, every option and
# every word an option takes is completed, no option is completed that the
# program does not know, every file type is completed after --types, and the
# manual page names every option and every type.
#   cli_docs_test.sh PICTORA_CLI COMPLETION MANUAL_PAGE
set -u
cli=$1 completion=$2 manual=$3
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Lines as one line of words.
flat() { tr -s '\n' ' ' <<<"$1" | sed 's/^ //; s/ $//'; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The first start writes its settings and log folder: keep them in the scratch folder.
run() { env HOME="$scratch" ZT_REGISTRY_DIR="$scratch/settings" XDG_STATE_HOME="$scratch/state" "$cli" "$@"; }

# shellcheck source=/dev/null
source "$completion" || { echo "FAIL: the completion does not load"; exit 1; }

# The candidates the completion offers for the words of a command line, the
# last one being the word under the cursor; one per line.
offered() {
    COMP_WORDS=(pictora-cli "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _pictora_cli
    printf '%s\n' "${COMPREPLY[@]}"
}

# Fails unless the completion of the words, the last under the cursor,
# offers exactly the expected candidates (in any order).
expect_offers() {
    local expected=$1
    shift
    local got
    got=$(offered "$@" | sort -u)
    expected=$(tr ' ' '\n' <<<"$expected" | sed '/^$/d' | sort -u)
    [ "$got" = "$expected" ] ||
        fail "pictora-cli $* offers [$(flat "$got")], expected [$(flat "$expected")]"
}

# The commands, from the program's own usage text.
commands=$(run --help | sed -n '/^Commands:/,/^$/p' | awk 'NF && !/^Commands:/ {print $1}')
[ -n "$commands" ] || fail "pictora-cli --help lists no commands"
expect_offers "$commands help --help" ""

for command in $commands; do
    help=$(run "$command" --help) || fail "pictora-cli $command --help failed"
    options=$(grep -oE '^  --[a-z-]+' <<<"$help" | tr -d ' ')
    [ -n "$options" ] || fail "pictora-cli $command --help lists no options"
    # Every option of the help text, and none besides.
    expect_offers "$options" "$command" "--"
    # An option whose value is one of a few words (--bad-sectors ask|retry|skip).
    while read -r option words; do
        expect_offers "${words//|/ }" "$command" "$option" ""
    done < <(grep -E '^  --[a-z-]+ [a-z]+(\|[a-z]+)+( |$)' <<<"$help" | awk '{print $1, $2}')
    grep -qxF ".B $command" "$manual" || fail "the manual page has no command $command"
    for option in $options; do
        grep -qF -- "${option//-/\\-}" "$manual" || fail "the manual page does not name $command $option"
    done
done

# The file types of the scan help, with their letters as the catalogue has them.
types=$(run scan --help | sed -n '/^File types:/,$p' | awk 'NF && !/^File types:/ {print $1}')
[ "$(wc -w <<<"$types")" -ge 41 ] || fail "pictora-cli scan --help lists fewer than 41 types: $types"
expect_offers "all $types" scan --types ""
# After a comma the names already typed are kept in front of each candidate.
expect_offers "$(grep -E '^P' <<<"$types" | sed 's/^/JPEG,/')" scan card.dd --types "JPEG,P"
# Values and operands before the word under the cursor do not matter.
expect_offers "$(grep -E '^M' <<<"$types")" scan /dev/sdb --save out --types M
expect_offers "--list" scan /dev/sdb --range 0:100 --l
# An option of scan is not one of image, and devices takes no paths.
expect_offers "$(run image --help | grep -oE '^  --[a-z-]+')" image --types --
expect_offers "" devices ""
# A folder whose name holds a space is one candidate, not two.
mkdir -p "$scratch/my cards"
got=$(offered scan /dev/sdb --save "$scratch/my c")
[ "$got" = "$scratch/my cards" ] || fail "--save '$scratch/my c' offers [$(flat "$got")]"

for type in $types; do
    grep -qxF ".B $type" "$manual" || fail "the manual page's file types miss $type"
done
# A type that the standard set cannot find is listed under the extended set only.
extended_only=$(run scan --help | sed -n '/^File types:/,$p' | awk '/extended signatures only/ {print $1}')
[ -n "$extended_only" ] || fail "pictora-cli scan --help marks no type as extended-only"
listed=$(sed -n '/^Looked for with extended signatures only:/,/^\.PD$/p' "$manual" | awk '/^\.B / {print $2}')
[ "$(flat "$listed")" = "$(flat "$extended_only")" ] ||
    fail "the manual page's extended-only types [$(flat "$listed")] are not the help's [$(flat "$extended_only")]"

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "the completion and the manual page agree with the help texts"
