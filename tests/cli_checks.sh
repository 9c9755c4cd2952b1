# Check helpers shared by the command-line test scripts. Source it after
# setting CLI (the tool under test) and TMP (a scratch folder); each `run`
# keeps the tool's stdout in $TMP/out, its stderr in $TMP/err and its exit
# status in $rc. `finish` prints the tally and fails when a check failed.

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() {
  failed=$((failed + 1))
  echo "FAIL: $*"
}
show_output() {
  sed 's/^/    out| /' "$TMP/out" | head -n 20
  sed 's/^/    err| /' "$TMP/err" | head -n 10
}

# run ARGS...: runs the tool, keeping stdout, stderr and the exit status.
run() {
  "$CLI" "$@" >"$TMP/out" 2>"$TMP/err"
  rc=$?
}
expect_rc() { # EXPECTED WHAT
  if [ "$rc" -eq "$1" ]; then pass; else
    fail "$2: exit status $rc, expected $1"
    show_output
  fi
}
expect_line() { # EXACT_LINE WHAT  (on stdout)
  if grep -qxF -- "$1" "$TMP/out"; then pass; else fail "$2: no line \"$1\" on stdout"; show_output; fi
}
expect_count() { # N ERE WHAT  (lines of stdout)
  n=$(grep -cE -- "$2" "$TMP/out")
  if [ "$n" -eq "$1" ]; then pass; else fail "$3: $n lines match /$2/, expected $1"; fi
}
expect_match() { # ERE FILE WHAT
  if grep -qE -- "$1" "$TMP/$2"; then pass; else fail "$3: nothing matches /$1/ in $2"; fi
}
expect_no_match() { # ERE FILE WHAT
  if grep -qE -- "$1" "$TMP/$2"; then
    fail "$3: unexpected /$1/ in $2"
    grep -E -- "$1" "$TMP/$2" | sed 's/^/    | /' | head -n 5
  else pass; fi
}
expect_stderr() { # TEXT WHAT
  if grep -qF -- "$1" "$TMP/err"; then pass; else fail "$2: stderr lacks \"$1\""; show_output; fi
}
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

# run_full ARGS...: runs the tool with stdout on a full device (/dev/full),
# keeping stderr in $TMP/err and the exit status in $rc.
run_full() {
  : >"$TMP/out"
  "$CLI" "$@" >/dev/full 2>"$TMP/err"
  rc=$?
}
expect_no_temp_files() { # DIR WHAT  (no temporary file of an atomic replace left)
  if ls "$1"/.*orvo-save-* >/dev/null 2>&1; then fail "$2: temporary files left in $1"; else pass; fi
}
