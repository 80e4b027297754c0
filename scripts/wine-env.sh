# Sourced by the Windows scripts: a headless Wine 8 prefix whose COM1 is a
# symlink that the scripts point at an ivra-sim pseudo-terminal.
#   IVRA_WINEPREFIX  the prefix (default: $XDG_CACHE_HOME/ivra/wine-prefix);
#                    made with wineboot on first use, reused after that.
# Wine's mount manager rewrites dosdevices/com1 at every start from the
# registry (or to /dev/ttyS0), so COM1 is registered as a fixed link in the
# prefix, and only that link moves from one simulator to the next.
export WINEPREFIX=${IVRA_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/ivra/wine-prefix}
export WINEDEBUG=-all
# No Mono or Gecko download dialogs: nothing here needs .NET or HTML. No
# winemenubuilder: the installer's Start-menu entry must not become a menu
# entry of this Linux desktop.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
IVRA_COM1_LINK="$WINEPREFIX/ivra-com1"

# Makes the prefix if needed and starts a wineserver that outlives single
# wine calls (stopped by wine_stop).
wine_start() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    echo "== Wine: new prefix $WINEPREFIX"
    timeout 300 wineboot --init >/dev/null 2>&1 || true
    wineserver -w
  fi
  timeout 60 wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$IVRA_COM1_LINK" /f >/dev/null 2>&1
  # The mount manager reads the port list when the server starts.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  (wineserver -p >/dev/null 2>&1 &)
}

wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
}

# Points COM1 at a device path.
wine_com1() {
  if [[ -z "$1" ]]; then
    echo "wine_com1: no device to point COM1 at: ivra-sim printed no terminal device" >&2
    return 1
  fi
  ln -sfn "$1" "$IVRA_COM1_LINK"
}

# The Windows path of a Linux path (drive Z: is /).
wine_path() { printf 'Z:%s' "${1//\//\\}"; }
