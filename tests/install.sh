#!/usr/bin/env bash
# The program as a technician installs it: `cmake --install` into a temporary
# prefix, and the Debian package unpacked into a temporary root. Each tree
# must hold the program, its data, the desktop entry, the icon and the udev
# example, and its program must start offscreen against its own kv5x-sim.
set -euo pipefail
build=$(cd "$1" && pwd)
tmp=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

fail() { echo "install: $*"; exit 1; }

check_tree() {
  local prefix=$1 name=$2
  for f in bin/KV53_Varkel_Comms bin/kv5x-sim share/KV53_Varkel_Comms/KV5x_Params.txt share/KV53_Varkel_Comms/varktcstlst.txt \
           share/applications/KV53_Varkel_Comms.desktop share/icons/hicolor/scalable/apps/kv53-varkel-comms.svg \
           share/doc/kv5x_dashboard/examples/99-kv5x.rules; do
    [ -f "$prefix/$f" ] || fail "$name: $f missing"
  done
  grep -q '^Exec=KV53_Varkel_Comms$' "$prefix/share/applications/KV53_Varkel_Comms.desktop" || fail "$name: desktop entry"

  local home="$tmp/home-$name"
  mkdir -p "$home"
  env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_DOCUMENTS_DIR HOME="$home" \
    "$prefix/bin/kv5x-sim" --com 10 --quiet > "$tmp/sim-$name.log" 2>&1 &
  pids+=($!)
  env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_DOCUMENTS_DIR HOME="$home" QT_QPA_PLATFORM=offscreen \
    "$prefix/bin/KV53_Varkel_Comms" > "$tmp/app-$name.log" 2>&1 &
  local app=$!
  pids+=($app)
  for _ in $(seq 1 50); do
    compgen -G "$home/Documents/KV53_LOGS/LOG_*.csv" > /dev/null && break
    sleep 0.1
  done
  sleep 1
  kill -0 "$app" 2>/dev/null || { cat "$tmp/app-$name.log"; fail "$name: the program did not keep running"; }
  compgen -G "$home/Documents/KV53_LOGS/LOG_*.csv" > /dev/null || fail "$name: no provisioning log"
  [ -L "$home/.local/share/KV53_Varkel_Comms/ports/COM10" ] || fail "$name: kv5x-sim did not link COM10"
  echo "install: $name tree complete, program running"
}

cmake --install "$build" --prefix "$tmp/prefix" > /dev/null
check_tree "$tmp/prefix" prefix

(cd "$build" && cpack -G DEB -B "$tmp/pkg" > "$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log"; fail "cpack"; }
deb=$(ls "$tmp"/pkg/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6serialport6 qt6-qpa-plugins; do
  grep -q "$lib" <<< "$depends" || fail "the package does not depend on $lib: $depends"
done
dpkg-deb -x "$deb" "$tmp/root"
check_tree "$tmp/root/usr" package
echo "install: $(basename "$deb") depends on: $depends"
