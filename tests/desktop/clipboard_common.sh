# The clipboard cases of every desktop, sourced by clipboard_test.sh (X11)
# and wayland_clipboard_test.sh after they define put (standard input to the
# clipboard), get (the clipboard to standard output), clear (no text at
# all) and run (morvel with standard error in $work/err, within a bound).
passed=0
failed=0
# check WHAT CONDITION: counts the case, and says which failed and why.
check() {
    if eval "$2"; then
        passed=$((passed + 1))
    else
        echo "FAIL: $1 (status $status, clipboard $(get 2>/dev/null | head -c 60), $(head -c 200 "$work/err"))" >&2
        failed=$((failed + 1))
    fi
}
finish() { echo "$passed passed, $failed failed"; [ $failed -eq 0 ]; }

# The text read, converted and written back, there after the run ended, and
# nothing on standard output; iconv or the width tables' pairs expect it.
text='日本語のテキスト、かなカナ漢字。
ABC 123
'
printf '%s' "$text" | put
run /cJ
status=$?
check /cJ '[ $status -eq 0 ] &&
    [ "$(get | od -An -tx1)" = "$(printf %s "$text" | iconv -f UTF-8 -t ISO-2022-JP | od -An -tx1)" ]'
while IFS='|' read -r switches input expected <&3; do
    printf '%s' "$input" | put
    out=$(run $switches)
    status=$?
    check "$switches" '[ $status -eq 0 ] && [ -z "$out" ] && [ "$(get)" = "$expected" ]'
done 3<<'END'
/c /SS /K /N|ｶﾞｷﾞabc123|ガギａｂｃ１２３
/c /k /n|カタカナＡＢＣ|ｶﾀｶﾅABC
END

# An empty clipboard: no text, nothing written, no message.
clear
run /c
status=$?
check "empty clipboard" '[ $status -eq 1 ] && [ ! -s "$work/err" ] && ! get >/dev/null'
