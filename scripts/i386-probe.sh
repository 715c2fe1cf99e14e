# Sourced by scripts that need to know whether this machine runs 32-bit x86 programs
# (32-bit wine is one). Kernels built without IA-32 emulation, or booted with it off, refuse
# them with ENOEXEC; machines of one kind differ here, so the answer is probed, never assumed.
#
#   korv_i386_probe   sets korv_i386_ok (1 or 0) and korv_i386_reason (why not, when 0)
#
# KORV_FORCE_NO_I386=1 answers "cannot" without probing, so that path can be tried anywhere;
# KORV_FORCE_I386=1 answers "can", for tests of the install decisions only (they never run
# a 32-bit program).

korv_i386_ok=0
korv_i386_reason=""

# A complete static i386 program of 96 bytes: an ELF header, one loadable segment, and
#   mov eax, 1 ; mov ebx, 42 ; int 0x80      (exit(42))
# It needs no 32-bit libraries, so only the kernel decides whether it runs.
korv_i386_write_probe() {  # korv_i386_write_probe FILE
  local bytes='\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'
  bytes+='\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000'
  bytes+='\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000'
  bytes+='\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010'
  bytes+='\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000'
  bytes+='\000\020\000\000\270\001\000\000\000\273\052\000\000\000\315\200'
  printf "$bytes" >"$1"
  chmod +x "$1"
}

korv_i386_probe() {
  korv_i386_ok=0
  korv_i386_reason=""
  if [ -n "${KORV_FORCE_NO_I386:-}" ] && [ "${KORV_FORCE_NO_I386}" != 0 ]; then
    korv_i386_reason="this kernel cannot execute i386 programs (ENOEXEC; forced by KORV_FORCE_NO_I386=${KORV_FORCE_NO_I386})"
    return 0
  fi
  if [ -n "${KORV_FORCE_I386:-}" ] && [ "${KORV_FORCE_I386}" != 0 ]; then
    korv_i386_ok=1
    return 0
  fi
  case "$(uname -m)" in
    x86_64 | i?86) ;;
    *) korv_i386_reason="this machine is $(uname -m), not x86"; return 0 ;;
  esac
  local dir where status="none" output="no temporary folder for it"
  # The temporary folder first; the current one where that refuses to execute anything.
  for where in "${TMPDIR:-/tmp}" "$PWD"; do
    dir="$(mktemp -d "$where/korv-i386-probe.XXXXXX" 2>/dev/null)" || continue
    korv_i386_write_probe "$dir/probe"
    output="$( ("$dir/probe") 2>&1)" && status=0 || status=$?
    rm -rf "$dir"
    [[ "$output" == *"Permission denied"* ]] || break
  done
  if [ "$status" = 42 ]; then
    korv_i386_ok=1
  elif [[ "$output" == *"Exec format error"* ]]; then
    korv_i386_reason="this kernel cannot execute i386 programs (ENOEXEC)"
  else
    korv_i386_reason="the i386 probe program did not run (exit status $status${output:+: $output})"
  fi
  return 0
}
