#!/usr/bin/env bash
# The native program as a user runs it: copied into a host folder of its own,
# answering its boxes on standard input.
set -u
program=$(readlink -f "$1")
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/quenlit-native.XXXXXX")
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
passed=0 failed=0

fail() { echo "FAIL: $scenario: $*"; failed=$((failed + 1)); ok=0; }

# new_host NAME: a host folder with the program in it
new_host() {
  host="$work/$1"
  mkdir -p "$host/config"
  cp "$program" "$host/quenlit"
}

# run_tool ANSWERS: runs the program, keeps its output and status
run_tool() {
  out=$(printf '%b' "$1" | (cd / && "$host/quenlit") 2>&1)
  status=$?
}

expect() { # expect STATUS TEXT...: status and texts in the output
  local want=$1
  shift
  [ "$status" = "$want" ] || fail "status $status, expected $want"
  for text in "$@"; do
    grep -qF -- "$text" <<<"$out" || fail "output lacks: $text"
  done
}

finish() {
  if [ "$ok" = 1 ]; then passed=$((passed + 1)); else printf '%s\n' "$out" | sed 's/^/    | /'; fi
}

scenario="missing file"; ok=1
new_host missing
run_tool ""
expect 0 "== Quenlit == [エラー]" "サーバ情報ファイル(board.2ch)が見つかりませんでした。" \
  "Quenlit.exe を Ostra.Exe と同じ場所にコピーして実行して下さい。"
[ "$(grep -c '== Quenlit' <<<"$out")" = 1 ] || fail "more than one box"
finish

scenario="empty file"; ok=1
new_host empty
: >"$host/config/board.2ch"
run_tool ""
windows_path="Z:$(sed 's#/#\\#g' <<<"$host")\\config\\board.2ch"
expect 0 "サーバ情報ファイル${windows_path}の読み込みに失敗しました。" "書換処理を続行できません。"
finish

scenario="no black board"; ok=1
new_host noblack
printf 'a\tclBlack\r\n1\t2\t3\t4\t5\t6\t7\tclRed\t9\t10\r\n' >"$host/config/board.2ch"
run_tool ""
expect 0 "== Quenlit == [情報]" "板名文字色が黒色('clBlack')である板は、見つかりませんでした。"
[ -e "$host/config/board.2ch_QlBack" ] && fail "a backup was made"
finish

scenario="socket in place of the file"; ok=1
new_host socket
python3 -c 'import socket,sys; s=socket.socket(socket.AF_UNIX); s.bind(sys.argv[1])' "$host/config/board.2ch"
run_tool ""
expect 1 "== アプリケーション エラー == [エラー]" "EFOpenErrorがモジュール quenlit の " \
  "ファイル ${windows_path/empty/socket} は開けません."
finish

scenario="example host, whole job"; ok=1
new_host example
cp "$here/examples/host/config/board.2ch" "$host/config/"
run_tool "\n"
expect 0 "17 件、修正しました。"
cmp -s "$host/config/board.2ch_QlBack" "$here/examples/host/config/board.2ch" || fail "backup differs"
[ "$(grep -c $'\r$' "$host/config/board.2ch")" = "$(wc -l <"$host/config/board.2ch")" ] ||
  fail "not every line ends in CR LF"
[ "$(grep -c $'\tclWindowText\tclWindow' "$host/config/board.2ch")" = 18 ] || fail "wrong rewrite count"
[ -e "$host/config/board.2ch_QlTemp" ] && fail "temporary file left"
run_tool ""
expect 0 "板名文字色が黒色('clBlack')である板は" # a second run finds nothing left
finish

scenario="read-only answered at end of input, then No, then Yes"; ok=1
new_host readonly
printf '1\t2\t3\t4\t5\t6\t7\tclBlack\t9\t10\n' >"$host/config/board.2ch"
chmod a-w "$host/config/board.2ch"
run_tool ""
expect 0 "は読み取り専用になっているようです。" "[*はい(Y)*] [ いいえ(N) ]" \
  "入力が終わったため、この質問は断ったものとします。"
run_tool "n\n"
expect 0 "全ての属性を解除して、文字色の修正を反映させますか？"
grep -q "件、修正しました" <<<"$out" && fail "closing notice after No"
[ -w "$host/config/board.2ch" ] && [ "$(id -u)" != 0 ] && fail "no longer read-only"
[ -e "$host/config/board.2ch_QlBack" ] && fail "a backup was made"
run_tool "$(printf 'x%.0s' {1..300})y\ny\n\n" # a long line is no answer, whatever it ends in
expect 0 "y または n で答えて下さい。" "1 件、修正しました。"
[ "$(cat "$host/config/board.2ch")" = $'1\t2\t3\t4\t5\t6\t7\tclWindowText\t9\t10\r' ] || fail "not rewritten"
finish

scenario="read-only backup answered No"; ok=1
new_host backup
printf '1\t2\t3\t4\t5\t6\t7\tclBlack\t9\t10\n' >"$host/config/board.2ch"
echo kept >"$host/config/board.2ch_QlBack"
chmod a-w "$host/config/board.2ch_QlBack"
run_tool "\n"
expect 0 "_QlBack を更新できませんでした。" "[ はい(Y) ] [*いいえ(N)*]"
grep -q clWindowText "$host/config/board.2ch" && fail "written after No"
finish

# Another program saves the file while the question waits: its save is
# kept whole, no backup of a state the run did not read, and the run says
# the write failed.
scenario="file saved by another program while a question waits"; ok=1
new_host saved
printf '1\t2\t3\t4\t5\t6\t7\tclBlack\t9\t10\n' >"$host/config/board.2ch"
chmod a-w "$host/config/board.2ch"
out_file="$work/saved.out"
( (sleep 1; printf 'y\n\n') | (cd / && "$host/quenlit") >"$out_file" 2>&1 ) &
sleep 0.4
chmod u+w "$host/config/board.2ch"
printf '1\t2\t3\t4\t5\t6\t7\tclBlack\t9\t10\nsaved\n' >"$host/config/board.2ch"
chmod a-w "$host/config/board.2ch"
wait
out=$(cat "$out_file") status=0
expect 0 "は読み取り専用になっているようです。" "への書き込みに失敗しました。"
grep -q "件、修正しました" <<<"$out" && fail "claimed success"
[ "$(tail -n 1 "$host/config/board.2ch")" = saved ] || fail "the other program's save is gone"
[ "$(ls "$host/config")" = board.2ch ] || fail "left behind: $(ls "$host/config")"
finish

scenario="an argument: a usage line, status 2, nothing touched"; ok=1
new_host argument
cp "$here/examples/host/config/board.2ch" "$host/config/"
out=$(cd / && "$host/quenlit" --help 2>&1 >/dev/null </dev/null) # standard error only
status=$?
expect 2 "usage: $host/quenlit"
[ "$(wc -l <<<"$out")" = 1 ] || fail "more than one line"
cmp -s "$host/config/board.2ch" "$here/examples/host/config/board.2ch" || fail "board.2ch changed"
[ "$(ls "$host/config")" = board.2ch ] || fail "left behind: $(ls "$host/config")"
finish

# A link to the program placed in another host folder works on that folder,
# named as started (relative, through '..') but without '.' or '..'. A start
# name that does not lead to the program is not believed.
scenario="started through a link in another host folder"; ok=1
new_host real
real=$host
printf '1\t2\t3\t4\t5\t6\t7\tclBlack\t9\t10\n' | tee "$real/config/board.2ch" >"$work/one-black"
new_host linked
ln -sf "$real/quenlit" "$host/quenlit"
cp "$work/one-black" "$host/config/board.2ch"
chmod a-w "$host/config/board.2ch"
out=$(cd "$host/config" && printf 'y\n\n' | ./../quenlit 2>&1)
status=$?
expect 0 "サーバ情報ファイル Z:$(cd "$host" && pwd -P | sed 's#/#\\#g')\\config\\board.2ch は読み取り専用" \
  "1 件、修正しました。"
grep -q clWindowText "$host/config/board.2ch" || fail "the link's folder was not fixed"
cmp -s "$real/config/board.2ch" "$work/one-black" || fail "the real program's folder was changed"
[ "$(ls "$real/config")" = board.2ch ] || fail "left behind beside the real program"
# With standard input closed the start folder is opened as descriptor 0,
# and is that folder all the same.
cp "$work/one-black" "$host/config/board.2ch"
out=$(cd / && "$host/quenlit" <&- 2>&1)
status=$?
expect 0 "1 件、修正しました。"
grep -q clWindowText "$host/config/board.2ch" || fail "stdin closed: the link's folder was not fixed"
cmp -s "$real/config/board.2ch" "$work/one-black" || fail "stdin closed: the real program's folder was changed"
cp "$program" "$host/other"
out=$(cd / && printf '\n' | (exec -a "$host/other" "$real/quenlit") 2>&1)
status=$?
expect 0 "1 件、修正しました。"
grep -q clWindowText "$real/config/board.2ch" || fail "not the real program's folder"
finish

scenario="host folder path over 256 bytes"; ok=1
new_host "long/$(printf 'a%.0s' {1..120})/$(printf 'b%.0s' {1..120})"
cp "$here/examples/host/config/board.2ch" "$host/config/"
run_tool "\n"
expect 0 "17 件、修正しました。"
finish

# Folders without an exact cp932 name: U+00A5 would become the 0x5C of a
# backslash and name another folder's file, é has no form at all.
for folder in "ツール/A¥B:ツール/A/B" "Café:Cafe"; do
  scenario="folder ${folder%%:*}: not found, nothing touched"; ok=1
  new_host "${folder%%:*}"
  decoy="$work/${folder#*:}/config/board.2ch"
  mkdir -p "$(dirname "$decoy")"
  printf '1\t2\t3\t4\t5\t6\t7\tclBlack\t9\t10\n' | tee "$decoy" >"$host/config/board.2ch"
  run_tool ""
  expect 0 "サーバ情報ファイル(board.2ch)が見つかりませんでした。"
  grep -q clWindowText "$decoy" "$host/config/board.2ch" && fail "a file was rewritten"
  finish
done

# What a save in place would refuse or lose, a replace refuses too: a
# second name of the file (it would part), a link whose target has no cp932
# name (the link would become a plain file); and the user's file is never
# taken for one of ours.
refused() { # refused NAME TEXT: ran on the example, nothing changed
  run_tool ""
  expect 0 "$2"
  grep -q "件、修正しました" <<<"$out" && fail "claimed success"
  cmp -s "$host/config/board.2ch" "$here/examples/host/config/board.2ch" || fail "board.2ch changed"
}
scenario="board.2ch with a second name: refused"; ok=1
new_host hardlink
cp "$here/examples/host/config/board.2ch" "$host/config/"
ln "$host/config/board.2ch" "$host/second.2ch"
refused hardlink "への書き込みに失敗しました。"
[ "$(ls "$host/config")" = board.2ch ] || fail "left behind: $(ls "$host/config")"
finish

scenario="board.2ch a link to a target without a cp932 name: refused"; ok=1
new_host unnamed
mkdir -p "$work/café/config"
cp "$here/examples/host/config/board.2ch" "$work/café/config/"
ln -s "../../café/config/board.2ch" "$host/config/board.2ch"
refused unnamed "への書き込みに失敗しました。"
[ -L "$host/config/board.2ch" ] || fail "the link was replaced"
finish

scenario="board.2ch a link to board.2ch_QlBack: refused, kept"; ok=1
new_host linked-backup
cp "$here/examples/host/config/board.2ch" "$host/config/board.2ch_QlBack"
ln -s board.2ch_QlBack "$host/config/board.2ch"
refused linked-backup "の読み込みに失敗しました。"
[ -L "$host/config/board.2ch" ] || fail "the link was replaced"
finish

# A folder named with an escape sequence: shown, never obeyed.
scenario="a folder named with an escape sequence"; ok=1
new_host "colour$(printf '\033')[31m"
cp "$here/examples/host/config/board.2ch" "$host/config/"
chmod a-w "$host/config/board.2ch" # so that a box shows the path
run_tool "y\n\n"
expect 0 "17 件、修正しました。" "colour\x1B[31m"
grep -q "$(printf '\033')" <<<"$out" && fail "a raw escape reached the terminal"
finish

scenario="ACL entries and user attributes kept, the group no wider"; ok=1
new_host acl
cp "$here/examples/host/config/board.2ch" "$host/config/"
if setfacl -m u:nobody:rw-,g::r-- "$host/config/board.2ch" 2>/dev/null &&
  python3 -c 'import os,sys; os.setxattr(sys.argv[1], "user.note", b"kept")' "$host/config/board.2ch"; then
  before=$(getfacl -cp "$host/config/board.2ch")
  run_tool ""
  expect 0 "17 件、修正しました。"
  for file in board.2ch board.2ch_QlBack; do
    [ "$(getfacl -cp "$host/config/$file")" = "$before" ] || fail "$file: ACL $(getfacl -cp "$host/config/$file")"
    python3 -c 'import os,sys; sys.exit(os.getxattr(sys.argv[1], "user.note") != b"kept")' \
      "$host/config/$file" || fail "$file: user.note lost"
  done
else
  echo "SKIPPED: $scenario (no ACL or user attributes here)"
fi
finish

# A file the user may not write, in a folder the user may rename in: no
# replace, as no save in place could be made.
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
  scenario="root's board.2ch in the user's folder, run as nobody: refused"; ok=1
  new_host others
  cp "$here/examples/host/config/board.2ch" "$host/config/"
  chmod 644 "$host/config/board.2ch"
  chmod 711 "$work"
  chown nobody "$host/config"
  out=$(cd / && setpriv --reuid=nobody --regid=nogroup --clear-groups "$host/quenlit" </dev/null 2>&1)
  status=$?
  expect 0 "への書き込みに失敗しました。"
  cmp -s "$host/config/board.2ch" "$here/examples/host/config/board.2ch" || fail "board.2ch changed"
  [ "$(stat -c %U "$host/config/board.2ch")" = root ] || fail "board.2ch given away"
  [ "$(ls "$host/config")" = board.2ch ] || fail "left behind: $(ls "$host/config")"
  finish
fi

scenario="a size limit on files: write failures, not a death"; ok=1
new_host limited
cp "$here/examples/host/config/board.2ch" "$host/config/"
out=$(cd / && ulimit -f 1 && printf 'y\n\n' | "$host/quenlit" 2>&1)
status=$?
expect 0 "_QlBack を作成できませんでした。" "への書き込みに失敗しました。"
cmp -s "$host/config/board.2ch" "$here/examples/host/config/board.2ch" || fail "board.2ch changed"
[ -n "$(ls "$host/config" | grep -v '^board.2ch$')" ] && fail "left behind: $(ls "$host/config")"
finish

# What two runs on the example must leave: the fix made once, the original
# in the backup, nothing of either run's own.
fixed_once() {
  cmp -s "$host/config/board.2ch_QlBack" "$here/examples/host/config/board.2ch" || fail "backup differs"
  [ "$(grep -c $'\tclWindowText\tclWindow' "$host/config/board.2ch")" = 18 ] || fail "not fixed once"
  [ -n "$(ls "$host/config" | grep -v '^board.2ch\(_QlBack\)\?$')" ] && fail "left behind"
}
# Two runs at once, the first slowed at every fsync: the second waits for
# the first one's lock, then finds nothing to change (the first ended in
# time) or ends in the write-failure notice (it did not). Never two fixes,
# and the backup always holds the original.
two_runs() { # two_runs NAME FSYNC_DELAY_US TEXT_OF_THE_SECOND
  scenario="two runs at once: $1"; ok=1
  new_host "$1"
  cp "$here/examples/host/config/board.2ch" "$host/config/"
  (cd / && strace -o /dev/null -f -e trace=fsync -e inject=fsync:delay_enter="$2" "$host/quenlit" \
    </dev/null >"$work/$1.first" 2>&1) &
  local first=$!
  sleep 0.5
  run_tool ""
  wait "$first"
  grep -qF "17 件、修正しました。" "$work/$1.first" || fail "the first run did not fix the file"
  expect 0 "$3"
  fixed_once
  finish
}
# Ended by a signal while its backup copy waits at an fsync: nothing of its
# own is left behind, and the user's files are as they were.
signalled() {
  scenario="ended by a signal in the middle of the backup"; ok=1
  new_host signalled
  cp "$here/examples/host/config/board.2ch" "$host/config/"
  (cd / && exec strace -o /dev/null -e trace=fsync -e inject=fsync:delay_enter=2000000 \
    "$host/quenlit" </dev/null >/dev/null 2>&1) &
  sleep 1
  pkill -TERM -f "^$host/quenlit\$"
  wait
  cmp -s "$host/config/board.2ch" "$here/examples/host/config/board.2ch" || fail "board.2ch changed"
  [ "$(ls "$host/config")" = board.2ch ] || fail "left behind: $(ls "$host/config")"
  finish
}
# LeakSanitizer cannot work under ptrace: a traced run of the ASan build
# would end in its fatal error instead of the program's status.
untraced_leaks() { ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" "$@"; }
# board.2ch a link to another folder's file, on a file system without
# flock: the run goes on without the lock, replaces the link's target and
# makes the new entry in that folder durable.
elsewhere() {
  scenario="a link to another folder, no flock"; ok=1
  new_host linked-file
  mkdir "$work/elsewhere"
  cp "$here/examples/host/config/board.2ch" "$work/elsewhere/"
  ln -s "$work/elsewhere/board.2ch" "$host/config/board.2ch"
  out=$(cd / && untraced_leaks strace -o "$work/elsewhere.trace" -y -e trace=flock,fsync \
    -e inject=flock:error=ENOLCK "$host/quenlit" </dev/null 2>&1)
  status=$?
  expect 0 "17 件、修正しました。"
  [ -L "$host/config/board.2ch" ] || fail "the link was replaced"
  grep -qF "<$(cd "$work/elsewhere" && pwd -P)>) = 0" "$work/elsewhere.trace" ||
    fail "the target's folder was not synced"
  finish
}
# The read-only bit that the system refuses to clear (as for a file of
# another owner): the attribute notice, and nothing written.
unclearable() {
  scenario="a read-only bit that cannot be cleared"; ok=1
  new_host unclearable
  cp "$here/examples/host/config/board.2ch" "$host/config/"
  chmod a-w "$host/config/board.2ch"
  out=$(cd / && printf 'y\n\n' | untraced_leaks strace -o /dev/null -e trace=fchmodat \
    -e inject=fchmodat:error=EPERM "$host/quenlit" 2>&1)
  status=$?
  expect 0 "属性変更に失敗しました。現在のファイル属性を確認して下さい。"
  cmp -s "$host/config/board.2ch" "$here/examples/host/config/board.2ch" || fail "board.2ch changed"
  [ "$(ls "$host/config")" = board.2ch ] || fail "left behind: $(ls "$host/config")"
  finish
}
# Two runs that share no run lock (flock refused, as on a file system
# without it), both slowed at every fsync, the second started while the
# first's backup copy is being written: neither takes the other's live
# files for leftovers (each would then ask about a backup it could make),
# one fixes, the other finds it done or fails, and the backup holds the
# original.
unlocked() {
  scenario="two runs without a shared lock"; ok=1
  new_host unlocked
  cp "$here/examples/host/config/board.2ch" "$host/config/"
  (cd / && strace -o /dev/null -f -e trace=flock,fsync -e inject=flock:error=ENOLCK \
    -e inject=fsync:delay_enter=1200000 "$host/quenlit" </dev/null >"$work/unlocked.first" 2>&1) &
  local first=$!
  sleep 0.5
  out=$(cd / && untraced_leaks strace -o /dev/null -e trace=flock,fsync -e inject=flock:error=ENOLCK \
    -e inject=fsync:delay_enter=1500000 "$host/quenlit" </dev/null 2>&1)
  status=$?
  wait "$first"
  out+=$'\n'$(cat "$work/unlocked.first")
  [ "$(grep -c "17 件、修正しました。" <<<"$out")" = 1 ] || fail "not exactly one fix"
  grep -q "できませんでした。" <<<"$out" && fail "a backup question"
  fixed_once
  finish
}
# Writes to its own files that put in nothing (a FUSE file system in direct
# I/O may answer so), just after an interrupted call: failed writes, never
# tried for ever.
zero_writes() {
  scenario="writes that put in nothing"; ok=1
  new_host zero
  cp "$here/examples/host/config/board.2ch" "$host/config/"
  local config
  config=$(cd "$host/config" && pwd -P)
  out=$(cd / && printf 'y\n\n' | untraced_leaks strace -o /dev/null -f -e trace=fchmod,write \
    -P "$config/board.2ch_QlTemp" -P "$config/board.2ch_QlBack_QlTemp" \
    -e inject=fchmod:error=EINTR -e inject=write:retval=0 timeout 10 "$host/quenlit" 2>&1)
  status=$?
  expect 0 "_QlBack を作成できませんでした。" "への書き込みに失敗しました。"
  cmp -s "$host/config/board.2ch" "$here/examples/host/config/board.2ch" || fail "board.2ch changed"
  [ "$(ls "$host/config")" = board.2ch ] || fail "left behind: $(ls "$host/config")"
  finish
}
if command -v strace >/dev/null && strace -o /dev/null true 2>/dev/null; then
  two_runs waited 100000 "板名文字色が黒色('clBlack')である板は"
  two_runs "held on" 1200000 "への書き込みに失敗しました。"
  signalled
  elsewhere
  unclearable
  unlocked
  zero_writes
else
  echo "SKIPPED: two runs at once (needs strace and ptrace)"
fi

echo "native program: $passed passed, $failed failed"
[ "$failed" = 0 ]
