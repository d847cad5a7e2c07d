#!/usr/bin/env bash
# suppressions-test.sh FILE
# The LeakSanitizer suppressions parse as the sanitizer reads them: one "leak:<pattern>" a line, comments
# and empty lines between. A file run together into one line (as a source formatter leaves it) starts with
# "#" and is read as one comment, which suppresses nothing: that fails here.
set -u
file=$1
[ -f "$file" ] || { echo "FAIL: no suppressions file $file"; exit 1; }
status=0
count=0
line_no=0
while IFS= read -r line || [ -n "$line" ]; do
    line_no=$((line_no + 1))
    case $line in
    "" | "#"*) ;;
    leak:*)
        if [[ ! "$line" =~ ^leak:[^[:space:]]+$ ]]; then
            echo "FAIL: line $line_no: a pattern holds a blank: $line"
            status=1
        fi
        count=$((count + 1))
        ;;
    *)
        echo "FAIL: line $line_no is neither a comment nor leak:<pattern>: $line"
        status=1
        ;;
    esac
done <"$file"
if [ "$count" -eq 0 ]; then
    echo "FAIL: $file suppresses nothing"
    status=1
fi
[ "$status" -ne 0 ] || echo "PASS: $count suppressions"
exit "$status"
