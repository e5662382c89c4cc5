#!/usr/bin/env bash
# Sourced by the scripts: decides once which Wine runs the Windows tests and says why in one line.
#   FLASHDECK_WINE_BITS    32 or 64: which build the Windows and end-to-end tests run against
#   FLASHDECK_WINE         the Wine loader for that build (the `wine` script, or the 64-bit loader)
#   FLASHDECK_WINE_REASON  the reason, as printed
# FLASHDECK_TEST_64BIT=1 forces the 64-bit path on any machine.

WINE64_LOADER=/usr/lib/wine/wine64
I386_LOADER=/lib/ld-linux.so.2

# The binfmt_misc entries that hand i386 ELF files to an emulator. binfmt_misc is asked before
# the kernel's own ELF loader, so while one is enabled every 32-bit program runs emulated, even
# on a kernel that could run it natively. Prints "name interpreter" per enabled entry.
i386_binfmt_entries() {
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    [ -f "$entry" ] || continue
    case "${entry##*/}" in register|status) continue ;; esac
    grep -qx enabled "$entry" 2>/dev/null || continue
    # The i386 ELF magic: class 32, little-endian, e_machine 3.
    grep -q '^magic 7f454c4601010100000000000000000002000300' "$entry" 2>/dev/null || continue
    echo "${entry##*/} $(sed -n 's/^interpreter //p' "$entry")"
  done
}

flashdeck_detect_wine() {
  local emulated
  if [ "${FLASHDECK_TEST_64BIT:-0}" = 1 ]; then
    FLASHDECK_WINE_BITS=64
    FLASHDECK_WINE_REASON="FLASHDECK_TEST_64BIT=1 asks for it"
  elif emulated=$(i386_binfmt_entries) && [ -n "$emulated" ]; then
    FLASHDECK_WINE_BITS=64
    FLASHDECK_WINE_REASON="32-bit programs run here only through the emulator of binfmt_misc entry '${emulated%%$'\n'*}', far too slow for the whole suite"
  elif [ ! -x "$I386_LOADER" ]; then
    echo "error: $I386_LOADER is missing; scripts/install-packages.sh installs it with wine32:i386" >&2
    return 1
  elif runs_32bit_natively; then
    FLASHDECK_WINE_BITS=32
    FLASHDECK_WINE_REASON="the kernel runs 32-bit Linux programs natively"
  else
    FLASHDECK_WINE_BITS=64
    local why
    why=$( { "$I386_LOADER" --version 2>&1 >/dev/null || true; } | sed 's/.*: //' | head -n1)
    FLASHDECK_WINE_REASON="this kernel cannot execute 32-bit Linux programs ($I386_LOADER: ${why:-no reason given})"
  fi
  if [ "$FLASHDECK_WINE_BITS" = 64 ]; then
    if [ ! -x "$WINE64_LOADER" ]; then
      echo "error: $WINE64_LOADER is missing; scripts/install-packages.sh installs it with wine64" >&2
      return 1
    fi
    FLASHDECK_WINE=$WINE64_LOADER
  else
    FLASHDECK_WINE=wine
  fi
  export FLASHDECK_WINE_BITS FLASHDECK_WINE FLASHDECK_WINE_REASON
  echo "== Windows tests take the ${FLASHDECK_WINE_BITS}-bit path: $FLASHDECK_WINE_REASON"
}

# True where 32-bit Linux programs run natively: no emulator registered for them, and the
# i386 loader starts.
runs_32bit_natively() {
  [ -z "$(i386_binfmt_entries)" ] && "$I386_LOADER" --version >/dev/null 2>&1
}
