# Sourced: pe_bits FILE prints 32 or 64 for a Windows executable (its PE header's machine: i386
# or x86-64) and nothing for anything else.
pe_bits() {
  local at machine
  [ "$(head -c 2 "$1" 2>/dev/null)" = MZ ] || return 0
  at=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null) || return 0
  [ -n "${at// /}" ] || return 0
  machine=$(od -An -tx1 -j$((at)) -N6 "$1" 2>/dev/null | tr -d ' \n')
  case $machine in 504500004c01) echo 32 ;; 504500006486) echo 64 ;; esac
  return 0
}
