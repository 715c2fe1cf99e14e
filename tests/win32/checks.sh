# Sourced by the checking scripts here: check OK DESCRIPTION prints "ok - ..." or
# "FAIL - ..." (OK is an exit status, 0 for success) and counts; check_summary prints
# "N passed, N failed" and returns non-zero when anything failed.
passed=0
failed=0
check() {  # check OK DESCRIPTION
  if [ "$1" = 0 ]; then
    echo "ok - $2"; passed=$((passed + 1))
  else
    echo "FAIL - $2"; failed=$((failed + 1))
  fi
}
check_summary() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
