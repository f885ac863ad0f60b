#!/bin/bash
# test_cli.sh - end-to-end tests of the pmr command: compiling a lexicon and
# an AT&T file, info, lookup (arguments and standard input, generation,
# UTF-8 conversion), expansion through small and large output buffers, and
# the error lines and exit statuses of missing, damaged and bad inputs.
#
# usage: bash tests/test_cli.sh BUILD_DIR
# With PMR_UPDATE_GOLDEN=1 the golden files in tests/data/cli/ are rewritten
# from the current output (check them by hand before committing).
set -u

build_dir=${1:?usage: test_cli.sh BUILD_DIR}
pmr=$(cd "$build_dir" && pwd)/pmr
data=$(cd "$(dirname "$0")/data/cli" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# golden NAME FILE: FILE must equal tests/data/cli/NAME.out
golden() {
  local name=$1 actual=$2
  if [ "${PMR_UPDATE_GOLDEN:-0}" = 1 ]; then
    cp "$actual" "$data/$name.out"
    return
  fi
  if ! cmp -s "$actual" "$data/$name.out"; then
    fail "$name: output differs from $name.out"
    diff "$data/$name.out" "$actual" | head -20
  fi
}

# sorted_blocks FILE: the lookup output FILE with the lines of each word's
# block sorted (the order of a word's results follows the label codes that
# the compiler chose; blocks stay in input order).
sorted_blocks() {
  local line block=""
  while IFS= read -r line || [ -n "$line" ]; do
    if [ -z "$line" ]; then
      printf '%s' "$block" | LC_ALL=C sort
      echo
      block=""
    else
      block+="$line"$'\n'
    fi
  done <"$1"
  [ -n "$block" ] && printf '%s' "$block" | LC_ALL=C sort
}

# run EXPECTED_STATUS CMD...: runs CMD with stdout in out.txt and stderr in
# err.txt and checks its exit status.
run() {
  local expected=$1
  shift
  "$@" >out.txt 2>err.txt
  local status=$?
  if [ "$status" != "$expected" ]; then
    fail "'$*' exited with $status, expected $expected"
    head -5 err.txt
    return 1
  fi
  return 0
}

# expect_stderr TEXT: err.txt must be exactly the line TEXT
expect_stderr() {
  if [ "$(cat err.txt)" != "$1" ] || [ "$(wc -l <err.txt)" != 1 ]; then
    fail "expected the error line '$1', got '$(cat err.txt)'"
  fi
}

# expect_stderr_match REGEX: err.txt must be one line matching REGEX
expect_stderr_match() {
  if [ "$(wc -l <err.txt)" != 1 ] || ! grep -Eq -e "$1" err.txt; then
    fail "expected one error line matching '$1', got '$(cat err.txt)'"
  fi
}

cp "$data/words.lex" "$data/animals.att" "$data/bad.lex" .

# ---- version and usage -------------------------------------------------------
run 0 "$pmr" --version && [ "$(cat out.txt)" = "pmr 2.2" ] || fail "--version printed '$(cat out.txt)'"
run 0 "$pmr" --help && grep -q '^usage: pmr COMMAND' out.txt || fail "pmr --help"
for command in compile info lookup expand; do
  run 0 "$pmr" "$command" --help && grep -q "^usage: pmr $command" out.txt ||
    fail "pmr $command --help"
done
run 2 "$pmr" && expect_stderr_match "^pmr: no command given \(try 'pmr --help'\)$"
run 2 "$pmr" frobnicate && expect_stderr_match "^pmr: unknown command 'frobnicate'"
run 2 "$pmr" lookup && expect_stderr_match "^pmr: no transducer file given \(try 'pmr lookup --help'\)$"
run 2 "$pmr" lookup words.fst --bogus && expect_stderr_match "^pmr: unknown option '--bogus'"
run 2 "$pmr" lookup words.fst --function 4 && expect_stderr_match "no lookup function 4"
run 2 "$pmr" lookup words.fst --function && expect_stderr_match "option --function needs a value"
run 2 "$pmr" expand words.fst ca --max x && expect_stderr_match "option --max needs a number"
run 2 "$pmr" compile words.lex && expect_stderr_match "no output file given"
run 2 "$pmr" compile words.lex -o x.fst --table-width 4 && expect_stderr_match "--table-width"
run 2 "$pmr" compile words.lex -o x.fst --copyright "中" && expect_stderr_match "outside Windows-1252"

# ---- compiling ---------------------------------------------------------------
run 0 "$pmr" compile words.lex -o words.fst --expansion --copyright "© the pmr authors, Zürich" \
  --version-text 2.0.1 --language 9 --creation-date 1700000000 &&
  expect_stderr_match '^pmr: words\.fst: [0-9]+ states, [0-9]+ arcs, [0-9]+ bytes$'
run 0 "$pmr" compile --format att animals.att -o animals.fst --creation-date 0 &&
  expect_stderr_match '^pmr: animals\.fst: [0-9]+ states, [0-9]+ arcs, [0-9]+ bytes$'
bytes=$(sed -E 's/.* ([0-9]+) bytes$/\1/' err.txt)
[ "$bytes" = "$(stat -c %s animals.fst)" ] || fail "compile summary gives $bytes bytes for animals.fst"

# Several inputs of both formats (recognised from their content) are joined.
run 0 "$pmr" compile animals.att words.lex -o both.fst --creation-date 0
run 0 "$pmr" lookup both.fst dog cat mice café
[ "$(grep -v '^$' out.txt | cut -f2 | tr '\n' ' ')" = "dog[N][Sg] cat[N][Sg] mouse[N][Pl] café[N][Sg] " ] ||
  fail "compile: two inputs were not joined: $(cat out.txt)"

# A character outside Windows-1252 is an error that names file and line ...
run 1 "$pmr" compile bad.lex -o bad.fst && expect_stderr_match '^pmr: bad\.lex:3: '
[ -e bad.fst ] && fail "a failed compile left bad.fst behind"
# ... unless such paths are dropped.
run 0 "$pmr" compile bad.lex -o bad.fst --skip-unmappable &&
  expect_stderr_match '^pmr: bad\.fst: [0-9]+ states, [0-9]+ arcs, [0-9]+ bytes, dropped 1 paths$'
run 0 "$pmr" lookup bad.fst tea tee 中 && sorted_blocks out.txt >blocks.txt && golden lookup_skipped blocks.txt

run 1 "$pmr" compile missing.lex -o missing.fst && expect_stderr_match '^pmr: missing\.lex'

# Layout options reach the compiler: the results stay the same (their order
# may follow the label codes, so lines are compared sorted).
LC_ALL=C sort "$data/lookup_words.out" >words_sorted.txt
for layout in "--label-base 0x60" "--page-size 8 --code16" "--page-size 8 --code16 --page-after" \
  "--no-bound-byte --block-threshold 2" "--offset-table --block-threshold 2" "--no-blocks" \
  "--table-width 2" "--long-direct" \
  "--label-base 0x80 --page-size 7 --page-after --offset-table --block-threshold 1 --table-width 2 --long-direct --code16"; do
  # shellcheck disable=SC2086
  run 0 "$pmr" compile words.lex -o layout.fst --expansion $layout || continue
  run 0 "$pmr" lookup layout.fst cat walks café cafés naïve € dog 中 ""
  LC_ALL=C sort out.txt | cmp -s - words_sorted.txt || fail "lookup: other results with layout $layout"
  run 0 "$pmr" expand layout.fst ""
  LC_ALL=C sort out.txt | cmp -s - "$data/expand_all.out" || fail "expand: other words with layout $layout"
done

# ---- info ------------------------------------------------------------------------
# The size line depends on the compiler's layout: it is checked against the
# file, the rest against the golden output.
for name in words animals; do
  run 0 "$pmr" info $name.fst
  [ "$(sed -n 2p out.txt)" = "size: $(stat -c %s $name.fst) bytes" ] || fail "info: wrong size line"
  sed '2d' out.txt >info.txt
  golden info_$name info.txt
done

# ---- lookup ------------------------------------------------------------------------
# Known and unknown words, accented words and the euro sign (0x80) both ways,
# a character that Windows-1252 lacks (no result).
run 0 "$pmr" lookup words.fst cat walks café cafés naïve € dog 中 "" && sorted_blocks out.txt >blocks.txt && golden lookup_words blocks.txt
cp out.txt from_arguments.txt
printf 'cat\r\nwalks\ncafé\ncafés\r\nnaïve\n€\ndog\n中\n\n' >words.txt
run 0 "$pmr" lookup words.fst <words.txt
cmp -s out.txt from_arguments.txt || fail "lookup: standard input and arguments give different output"
# The last line may lack its line end.
printf 'cat\nwalks' | "$pmr" lookup words.fst >out.txt 2>err.txt
[ "$(grep -c . out.txt)" = 3 ] || fail "lookup: a last line without line end was lost"
run 0 "$pmr" lookup --flush words.fst <words.txt
cmp -s out.txt from_arguments.txt || fail "lookup --flush gives different output"
# Words that start with "-" follow "--".
run 0 "$pmr" lookup words.fst -- -cat cat
[ "$(head -1 out.txt)" = "$(printf -- '-cat\t+?')" ] || fail "lookup: a word after -- was not looked up"
# Generation.
run 0 "$pmr" lookup words.fst --inverse 'cat[N][Pl]' 'café[N][Pl]' 'walk[V][Past]' 'euro[N][Sg]' \
  'walk[V]' && sorted_blocks out.txt >blocks.txt && golden lookup_inverse blocks.txt
cp out.txt inverse.txt
run 0 "$pmr" lookup words.fst --function 8 'cat[N][Pl]' 'café[N][Pl]' 'walk[V][Past]' 'euro[N][Sg]' \
  'walk[V]'
cmp -s out.txt inverse.txt || fail "lookup --function 8 differs from --inverse"
run 2 "$pmr" lookup words.fst --inverse --function 2 cat
# A word whose lookup fails is reported, answered with +?, and the run goes on.
run 1 "$pmr" lookup words.fst --inverse 'cat[N' 'cat[N][Sg]' &&
  expect_stderr_match '^pmr: words\.fst: cat\[N: The input word contains an incomplete tag specifier\.$'
[ "$(head -1 out.txt)" = "$(printf 'cat[N\t+?')" ] && [ "$(sed -n 3p out.txt)" = "$(printf 'cat[N][Sg]\tcat')" ] ||
  fail "lookup: the words around a failing one were not answered"
# A function that the file does not serve is one error.
run 1 "$pmr" lookup animals.fst --function 3 dog &&
  expect_stderr "pmr: animals.fst: The specified function is invalid or is not supported by the FSM."
# The AT&T network.
run 0 "$pmr" lookup animals.fst dog dogs mouse mice mouses && sorted_blocks out.txt >blocks.txt && golden lookup_animals blocks.txt
run 0 "$pmr" lookup animals.fst --inverse 'mouse[N][Pl]' 'dog[N][Sg]' && sorted_blocks out.txt >blocks.txt && golden lookup_animals_inverse blocks.txt

# The other lookup functions, on a file that serves 12, 27 and 28; a word
# with a character outside the alphabet has no results for each of them.
run 0 "$pmr" compile words.lex -o functions.fst --function 12 --function 27 --function 28 \
  --creation-date 86400
run 0 "$pmr" info functions.fst
grep -q '^created: 86400 (1970-01-02 00:00:00 UTC)$' out.txt || fail "info: wrong creation date line"
grep -q '^capabilities: 0x4f lookup generate base-forms inverse-base-forms tokenize$' out.txt ||
  fail "info: wrong capabilities of functions.fst"
grep -q '^functions: 12 (lookup), 27 (base forms), 28 (tokenizing)$' out.txt ||
  fail "info: wrong functions of functions.fst"
: >functions.txt
for function in 3 5 7 9 11; do
  echo "function $function" >>functions.txt
  run 0 "$pmr" lookup functions.fst --function $function walks walk dog && sorted_blocks out.txt >>functions.txt
done
golden lookup_functions functions.txt

# ---- missing and damaged files --------------------------------------------------
for command in info lookup; do
  run 1 "$pmr" $command nosuch.fst && expect_stderr \
    "pmr: nosuch.fst: The file cannot be opened, either because it cannot be found or because it is protected or locked."
done
run 1 "$pmr" expand nosuch.fst ca && expect_stderr_match '^pmr: nosuch\.fst: The file cannot be opened'
size=$(stat -c %s words.fst)
for length in 0 1 40 92 100 $((size / 2)) $((size - 1)); do
  head -c "$length" words.fst >damaged.fst
  run 1 "$pmr" lookup damaged.fst cat && expect_stderr_match '^pmr: damaged\.fst: '
  run 1 "$pmr" info damaged.fst && expect_stderr_match '^pmr: damaged\.fst: '
done
run 1 "$pmr" info words.lex && expect_stderr "pmr: words.lex: The file is of the wrong type, or is damaged."

# Files that cannot be written.
run 1 "$pmr" compile words.lex -o nodir/words.fst && expect_stderr_match '^pmr: .*nodir/words\.fst'
if [ -w /dev/full ]; then
  for command in "lookup words.fst cat" "expand words.fst ca" "info words.fst"; do
    # shellcheck disable=SC2086
    "$pmr" $command >/dev/full 2>err.txt
    status=$?
    [ "$status" = 1 ] && expect_stderr "pmr: cannot write the output" ||
      fail "pmr $command to a full disk exited with $status"
  done
fi

# ---- expansion ---------------------------------------------------------------------
# The order of the words follows the label codes that the compiler chose, so
# listings are compared with the golden files as sorted sets, and listings
# through different buffers with each other as they are.
run 0 "$pmr" expand words.fst "" && LC_ALL=C sort out.txt >sorted.txt && golden expand_all sorted.txt
cp out.txt large.txt
for size in 1 2 5 8 13 64; do
  run 0 "$pmr" expand words.fst "" --buffer-size $size
  cmp -s out.txt large.txt || fail "expand: an output buffer of $size bytes lists other words"
done
run 0 "$pmr" expand words.fst caf && LC_ALL=C sort out.txt >sorted.txt && golden expand_caf sorted.txt
cp out.txt large.txt
run 0 "$pmr" expand words.fst caf --buffer-size 3
cmp -s out.txt large.txt || fail "expand caf: a small output buffer lists other words"
run 0 "$pmr" expand words.fst alk --prefix 1 --min 4 --max 5 && LC_ALL=C sort out.txt >sorted.txt &&
  golden expand_prefix sorted.txt
# Pieces in no word: unknown letters, a character outside Windows-1252, a
# piece made of known letters.
for piece in dog 中 tac; do
  run 0 "$pmr" expand words.fst "$piece"
  [ -s out.txt ] && fail "expand: the piece '$piece' listed words"
done
run 1 "$pmr" expand animals.fst do &&
  expect_stderr "pmr: animals.fst: The specified function is invalid or is not supported by the FSM."

# ---- results beyond the first buffers ---------------------------------------------
# 300 analyses of 240 letters for one word (more than the first result
# buffer of lookup) and a word of 1500 letters (more than the expansion's
# first coded output area).
awk 'BEGIN {
  pad = ""; for (i = 0; i < 23; i++) pad = pad "abcdefghij"
  for (i = 0; i < 300; i++) printf "many\tmany%d%s\n", i, pad
  long = ""; for (i = 0; i < 1500; i++) long = long "a"
  print long "\tlong[N]"; print "ab\tab[N]"
}' >many.lex
run 0 "$pmr" compile many.lex -o many.fst --expansion
run 0 "$pmr" lookup many.fst many
[ "$(grep -c "^many$(printf '\t')many[0-9]*abcdefghij" out.txt)" = 300 ] ||
  fail "lookup: a word with 300 analyses gave $(grep -c . out.txt) lines"
[ "$(cut -f2 out.txt | sort -u | grep -c .)" = 300 ] || fail "lookup: repeated or lost analyses"
[ "$(wc -c <out.txt)" -gt 65536 ] || fail "lookup: the analyses of 'many' fit the first result buffer"
printf '%1500s\nab\n' '' | tr ' ' a >long.txt
run 0 "$pmr" expand many.fst a --max 5000
cmp -s out.txt long.txt || fail "expand: the 1500-letter word was not listed with ab"
run 0 "$pmr" expand many.fst a --max 5000 --buffer-size 100
cmp -s out.txt long.txt || fail "expand: a small buffer changes the listing of long words"
run 0 "$pmr" expand many.fst a
[ "$(cat out.txt)" = ab ] || fail "expand: the default length bound let a 1500-letter word through"

# 1100 words a...ab: listing them needs more choice points than the first
# lookup buffer holds, so the expansion starts again with a larger one and
# skips what it already printed.
awk 'BEGIN { s = ""; for (i = 1; i <= 1100; i++) { s = s "a"; print s "b\t" s "b" } }' >deep.lex
run 0 "$pmr" compile deep.lex -o deep.fst --expansion
run 0 "$pmr" expand deep.fst "" --max 5000
cut -f1 deep.lex | LC_ALL=C sort >deep_words.txt
LC_ALL=C sort out.txt | cmp -s - deep_words.txt || fail "expand: the 1100 deep words were not listed once each"
cp out.txt deep_large.txt
run 0 "$pmr" expand deep.fst "" --max 5000 --buffer-size 50
cmp -s out.txt deep_large.txt || fail "expand: a small buffer changes the listing of deep words"

if [ "$failures" != 0 ]; then
  echo "FAIL: $failures check(s) of the pmr command failed"
  exit 1
fi
echo "pmr command: all checks passed"
