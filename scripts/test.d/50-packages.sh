#!/usr/bin/env bash
# The packages that scripts/package.sh builds into dist/, installed, run
# and removed as a user would:
#   - the Debian package: lintian reports no error (its warnings are
#     printed); in a throw-away Debian 12 root (mmdebstrap, kept as a
#     tarball under build/pkgtest/ and reused, plus chroot in a mount
#     namespace of its own) `apt-get install ./linewatch_*.deb` pulls in
#     its dependencies, every program runs from PATH and prints the
#     package's version, the monitor shows what the simulated driver plays,
#     the trace file types are in the MIME database; `apt-get purge
#     --autoremove` then leaves every path of the root as it was;
#   - the Windows installers, 64-bit and 32-bit, under Wine on a private
#     Xvfb display: `/S` installs the programs (the exes of the build, with
#     their version information and icon), the Start menu entry, the .trace
#     file type and the entry in Add/Remove Programs; the installed
#     LineWatch.exe shows the lines of a call played into the simulated
#     driver of the developers' zip; the uninstaller `/S` removes all that
#     and leaves the prefix's files, its registry and another program's
#     .gz file type as they were before the install.
# Exits non-zero when a check failed.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
started=$(date +%s)
jobs=$(nproc)

package_log=$(mktemp /tmp/tarvel-package.XXXXXX)
bash scripts/package.sh >"$package_log" 2>&1 || { cat "$package_log"; rm -f "$package_log"; exit 1; }
rm -f "$package_log"
for preset in windows64 windows32; do
  cmake --build --preset "$preset" -j "$jobs" --target linewatch_probe >/dev/null
done
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
echo "packages of version $version built in $(( $(date +%s) - started )) s"

. scripts/lib/wine-checks.sh  # pass, fail, pe_machine
check() { if eval "$1"; then pass "$2"; else fail "$2"; fi; }
work=$(mktemp -d /tmp/tarvel-packages.XXXXXX)
pids=()
wineserver=/usr/lib/wine/wineserver

finish() {
  status=$?
  stop_run_processes
  rm -rf "$work"
  echo "packages part: $(( $(date +%s) - started )) s in all"
  exit $status
}
trap finish EXIT

# ---------------------------------------------------------------- Debian
deb=$(ls dist/linewatch_"$version"_*.deb)
echo "--- $deb ($(stat -c %s "$deb") bytes)"

lintian --pedantic "$deb" >"$work/lintian.txt" 2>/dev/null || true
grep -E '^[EW]: ' "$work/lintian.txt" | sed 's/^/  lintian: /' || true
check '! grep -q "^E: " "$work/lintian.txt"' "lintian reports no error ($(grep -c '^W: ' "$work/lintian.txt" || true) warnings)"

# The base root: a minimal Debian 12 from the machine's own Debian sources,
# made once and kept; the packages apt fetches into it are kept beside it.
cache=$root/build/pkgtest
base=$cache/bookworm-base.tar
mkdir -p "$cache/archives/partial"
if [ ! -s "$base" ]; then
  t0=$(date +%s)
  mmdebstrap --quiet --variant=apt --mode=root bookworm "$cache/bookworm-base.new.tar" /etc/apt/sources.list.d/debian.sources
  mv "$cache/bookworm-base.new.tar" "$base"
  echo "base root made in $(( $(date +%s) - t0 )) s: $base"
fi
chroot_dir=$work/debroot
mkdir "$chroot_dir"
tar -C "$chroot_dir" -xf "$base"
cp /etc/resolv.conf "$chroot_dir/etc/resolv.conf"
cp "$deb" "$chroot_dir/tmp/"
cp scenarios/v34-call.trace scenarios/capture-session.trace "$chroot_dir/tmp/"

# Every path of the root but the package manager's own state and logs and
# the scratch folders, for comparing the root before and after.
cat >"$chroot_dir/tmp/paths.sh" <<'EOF'
find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /tmp -o -path /run \
  -o -path /var/cache/apt -o -path /var/cache/debconf -o -path /var/cache/ldconfig \
  -o -path /var/lib/apt -o -path /var/lib/dpkg -o -path /var/log \) -prune -o -print | sort
EOF
# What the root does, as a script run inside it.
cat >"$chroot_dir/tmp/session.sh" <<EOF
set -eu
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 PATH=/usr/sbin:/usr/bin:/sbin:/bin
echo force-unsafe-io >/etc/dpkg/dpkg.cfg.d/test-unsafe-io  # a throw-away root: no fsync
sh /tmp/paths.sh >/tmp/before.txt
dpkg-query -W -f '\${Package}\n' >/tmp/packages-before.txt
apt-get update -q >/tmp/apt.log 2>&1
apt-get install -y -q ./tmp/$(basename "$deb") >>/tmp/apt.log 2>&1 || { cat /tmp/apt.log; exit 1; }
cd /tmp
for program in LineWatch recorder tarvel-decode tarvel-sim; do
  printf '%s: ' "\$program"; command -v "\$program"; "\$program" --version >"version.\$program" 2>&1 || echo "exit \$?" >>"version.\$program"
done
# The monitor in console mode against the simulated driver.
export TARVEL_SIM_DIR=/tmp/sim
mkdir -m 700 \$TARVEL_SIM_DIR
mkdir run && cd run
LineWatch --console --escape >../console.out 2>../console.err &
monitor=\$!
sleep 0.3
tarvel-sim /tmp/v34-call.trace /tmp/capture-session.trace >../sim.out 2>&1 || echo "tarvel-sim exit \$?" >>../sim.out
sleep 0.3
kill -TERM \$monitor; wait \$monitor || echo "LineWatch exit \$?" >>../console.err
ls >../captures.txt
cd /tmp
tarvel-decode /tmp/v34-call.trace >decode.out
ls /usr/share/mime/application >mime.txt 2>&1 || true
cat /usr/share/mime/globs2 >>mime.txt 2>&1 || true
dpkg -L linewatch >files.txt
sh /tmp/paths.sh >/tmp/installed.txt
apt-get purge -y -q linewatch >>/tmp/apt.log 2>&1 || { cat /tmp/apt.log; exit 1; }
sh /tmp/paths.sh >/tmp/purged.txt
# What of the package is still there: only folders that another package
# owns or that hold other files.
grep -xFf /tmp/purged.txt files.txt | while read -r path; do
  dpkg -S "\$path" >/dev/null 2>&1 || { [ -d "\$path" ] && [ -n "\$(ls -A "\$path")" ]; } || echo "\$path"
done >purge-left.txt
cat /usr/share/mime/globs2 >mime-purged.txt 2>&1 || true
apt-get autoremove --purge -y -q >>/tmp/apt.log 2>&1 || { cat /tmp/apt.log; exit 1; }
sh /tmp/paths.sh >/tmp/after.txt
dpkg-query -W -f '\${Package}\n' >/tmp/packages-after.txt
rm /etc/dpkg/dpkg.cfg.d/test-unsafe-io
EOF
t0=$(date +%s)
deb_rc=0
unshare --mount --fork sh -c '
  set -e
  mount --make-rprivate /
  mount -t proc proc "$1/proc"
  mount --rbind /dev "$1/dev"
  mount --bind "$2" "$1/var/cache/apt/archives"
  chroot "$1" sh /tmp/session.sh' sh "$chroot_dir" "$cache/archives" >"$work/deb-session.txt" 2>&1 || deb_rc=$?
cat "$work/deb-session.txt"
echo "install, run and removal in the Debian 12 root: $(( $(date +%s) - t0 )) s"
d=$chroot_dir/tmp
check '[ $deb_rc -eq 0 ]' "apt-get install ./$(basename "$deb"), apt-get purge linewatch and apt-get autoremove --purge in a fresh Debian 12 root"
for program in LineWatch recorder tarvel-decode tarvel-sim; do
  check 'grep -qx "$program: /usr/bin/$program" "$work/deb-session.txt" && [ "$(cat "$d/version.$program" 2>/dev/null)" = "$program $version" ]' \
    "$program runs from PATH: --version printed '$(head -1 "$d/version.$program" 2>/dev/null)'"
done
check '[ -s "$d/console.out" ] && ! grep -qv "^[12]: " "$d/console.out" && grep -q "^1: " "$d/console.out" && [ ! -s "$d/console.err" ]' \
  "the installed LineWatch --console showed $(wc -l <"$d/console.out" 2>/dev/null || echo no) status lines of the traces the installed tarvel-sim played"
check 'grep -qx session.rec.1 "$d/captures.txt"' "the installed LineWatch wrote the capture files the driver asked for ($(tr '\n' ' ' <"$d/captures.txt" 2>/dev/null))"
check '[ "$(wc -l <"$d/decode.out")" -gt 0 ]' "the installed tarvel-decode decoded the V.34 call ($(wc -l <"$d/decode.out") lines)"
check '[ "$(grep -c "^/usr/share/man/man1/.*\.1\.gz$" "$d/files.txt")" = 4 ]' "the package installed the four man pages"
check 'grep -qx x-tarvel-trace.xml "$d/mime.txt" && grep -q ":application/x-compressed-tarvel-trace:\*\.trace\.gz$" "$d/mime.txt"' \
  "the MIME database knows .trace and .trace.gz"
check 'grep -qx /usr/share/applications/linewatch.desktop "$d/files.txt" && grep -qx /usr/share/icons/hicolor/scalable/apps/linewatch.svg "$d/files.txt" && grep -qx /usr/share/doc/linewatch/README.md "$d/files.txt"' \
  "the package installed the desktop entry, the icon and the README"
# The README's links into docs/ (pages and pictures) name files the
# package holds beside it.
readme_links=$(grep -o '](docs/[^)#]*' README.md | cut -c3- | sort -u)
missing_links=$(for f in $readme_links; do grep -qx "/usr/share/doc/linewatch/$f" "$d/files.txt" || echo "$f"; done)
check '[ -n "$readme_links" ] && [ -z "$missing_links" ]' \
  "every file the README links to is in /usr/share/doc/linewatch/ ($(wc -w <<<"$readme_links") files${missing_links:+; missing: $missing_links})"
# The purge takes away every file of the package and adds nothing; a
# folder of the package stays only where another package has it.
comm -13 "$d/installed.txt" "$d/purged.txt" >"$work/purge-added"
grep -vxFf "$d/purged.txt" "$d/files.txt" >"$work/purge-removed" || true
sed 's/^/  left by the purge: /' "$d/purge-left.txt"
check '[ ! -s "$work/purge-added" ] && [ -e "$d/purge-left.txt" ] && [ ! -s "$d/purge-left.txt" ] && ! grep -qi tarvel "$d/mime-purged.txt"' \
  "apt-get purge linewatch removed its $(wc -l <"$work/purge-removed") paths, added none, and its file types left the MIME database"
check '! grep -Eqi "linewatch|tarvel" "$d/after.txt"' "no path of the root names linewatch or tarvel after the removal"
left=$(comm -13 "$d/before.txt" "$d/after.txt" | tr '\n' ' ')
kept_packages=$(comm -13 <(sort "$d/packages-before.txt") <(sort "$d/packages-after.txt") | tr '\n' ' ')
echo "  left by dependencies that apt keeps (packages: ${kept_packages:-none}): ${left:-nothing}"
rm -rf "$chroot_dir"

# --------------------------------------------------------------- Windows
wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
loader_of() { if [ "$(pe_machine "$1")" = 014c ]; then echo "$wine32"; else echo "$wine64"; fi; }
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
winpath() { echo "Z:${1//\//\\}"; }
wait_until() {  # command, tenths of a second
  for (( t=0; t<$2; t++ )); do eval "$1" && return 0; sleep 0.1; done
  return 1
}

# A private display and a 64-bit prefix (it runs the 32-bit programs too),
# with one server kept until the end.
start_private_display "$work" || exit 1
export WINEPREFIX=$work/prefix WINEARCH=win64
make_unmanaged_prefix
echo "Wine prefix ready after $(( $(date +%s) - started )) s"
# Another program's .gz file type, which the installers must leave alone.
"$wine64" reg add 'HKLM\Software\Classes\.gz' /ve /d Archiver.gz /f >/dev/null 2>&1 </dev/null

reg_value() {  # KEY VALUE (empty: the default value): the data as reg prints it, or "missing"
  local option=(/v "$2") name=$2
  [ -z "$2" ] && option=(/ve) && name="(Default)"
  "$wine64" reg query "$1" "${option[@]}" 2>/dev/null </dev/null | tr -d '\r' |
    awk -v name="$name" '$1 == name { sub(/^[ ]*[^ ]+[ ]+[^ ]+[ ]+/, ""); print; found = 1 } END { if (!found) print "missing" }'
}
# The state an uninstall must bring back: the prefix's files (less the
# temporary folders, where the uninstaller runs from) and HKLM\Software,
# less the keys of the simulated driver's registry, which the driver run
# and not the installer writes.
state() {  # OUT
  (cd "$WINEPREFIX/drive_c" && find . \( -ipath '*/temp' \) -prune -o -print | sort) >"$1.files"
  "$wine64" reg export 'HKLM\Software' "$1.reg.raw" /y >/dev/null 2>&1 </dev/null
  iconv -f UTF-16 -t UTF-8 "$1.reg.raw" | tr -d '\r' |
    awk '/^\[/ { skip = ($0 ~ /\\(Velmora|Ostrand)(\\|\])/) } !skip' >"$1.reg"
}
version_string() {  # EXE NAME: a string of its VERSIONINFO
  wrestool -x --raw --type=16 "$1" | iconv -f UTF-16LE -t UTF-8 -c | tr '\0' '\n' |
    awk -v name="$2" 'found && NF { print; exit } $0 ~ (name "$") { found = 1 }'
}

decode=$root/build/release/tools/tarvel-decode
v34_lines=$("$decode" --escape "$root/scenarios/v34-call.trace" | wc -l)
start_menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/LineWatch.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\LineWatch'

# The 64-bit driver of the developers' zip serves both LineWatch.exe.
mkdir "$work/devtools"
unzip -q "dist/LineWatch-$version-win64-devtools.zip" -d "$work/devtools"
check '[ "$(pe_machine "$work/devtools/tarvelsim.sys")" = 8664 ] && [ "$(pe_machine "$work/devtools/tarvel-sim.exe")" = 8664 ]' \
  "win64 developers' zip: 64-bit tarvelsim.sys and tarvel-sim.exe"
unzip -q -o "dist/LineWatch-$version-win32-devtools.zip" tarvelsim.sys tarvel-sim.exe -d "$work/devtools32"
check '[ "$(pe_machine "$work/devtools32/tarvelsim.sys")" = 014c ] && [ "$(pe_machine "$work/devtools32/tarvel-sim.exe")" = 014c ]' \
  "win32 developers' zip: 32-bit tarvelsim.sys and tarvel-sim.exe"

installer_round() {  # ARCH BUILD PROGRAM_FILES
  local arch=$1 build=$2 dir="$WINEPREFIX/drive_c/$3/LineWatch"
  local setup=$root/dist/LineWatch-$version-$arch-setup.exe label="$arch installer:"
  state "$work/$arch-before"
  local rc=0 t0
  if [ "$(loader_of "$setup")" = "$wine32" ] && ! runs_32bit; then
    skip "$label $(basename "$setup") is a 32-bit program, which this machine cannot run"
    return 0
  fi
  t0=$(date +%s)
  timeout 120 "$(loader_of "$setup")" "$setup" /S >"$work/$arch-setup.out" 2>&1 </dev/null || rc=$?
  check '[ $rc -eq 0 ]' "$label $(basename "$setup") /S ended with 0 in $(( $(date +%s) - t0 )) s"
  local program
  for program in monitor/LineWatch.exe recorder/recorder.exe tools/tarvel-decode.exe; do
    local exe="$dir/$(basename "$program")"
    check 'cmp -s "$exe" "$build/$program"' "$label $(basename "$program") installed in ${dir#$WINEPREFIX/drive_c/}, the exe of the build"
    check '[ "$(version_string "$exe" ProductVersion)" = "$version" ] && wrestool -l --type=14 "$exe" | grep -q group_icon' \
      "$label $(basename "$program") carries VERSIONINFO $(version_string "$exe" ProductVersion) and the icon"
  done
  check '[ -s "$dir/uninstall.exe" ] && [ -s "$dir/README.md" ] && [ -s "$start_menu" ]' "$label uninstaller, README and Start menu entry in place"
  local link missing=
  for link in $(grep -o '](docs/[^)#]*' README.md | cut -c3- | sort -u); do
    [ -s "$dir/$link" ] || missing="$missing $link"
  done
  check '[ -z "$missing" ]' "$label every file the README links to is installed beside it${missing:+; missing:$missing}"
  check '[ "$(reg_value "$uninstall_key" DisplayVersion)" = "$version" ] && "$wine64" uninstaller --list 2>/dev/null </dev/null | grep -q "LineWatch $version ($arch)"' \
    "$label Add/Remove Programs lists 'LineWatch $version ($arch)'"
  local command="\"C:\\$3\\LineWatch\\LineWatch.exe\" \"%1\""
  check '[ "$(reg_value "HKLM\\Software\\Classes\\.trace" "")" = LineWatch.Trace ] && [ "$(reg_value "HKLM\\Software\\Classes\\LineWatch.Trace\\shell\\open\\command" "")" = "$command" ]' \
    "$label .trace opens with $command"
  check '[ "$(reg_value "HKLM\\Software\\Classes\\.gz" "")" = Archiver.gz ] && [ "$(reg_value "HKLM\\Software\\Classes\\.gz\\OpenWithProgids" LineWatch.TraceGz)" != missing ]' \
    "$label .gz keeps its program and offers LineWatch for .trace.gz"
  for program in recorder tarvel-decode; do
    local printed
    printed=$(cd "$work" && timeout 60 "$(loader_of "$dir/$program.exe")" "$dir/$program.exe" --version 2>/dev/null </dev/null | tr -d '\r')
    check '[ "$printed" = "$program $version" ]' "$label the installed $program.exe --version printed '$printed'"
  done

  # The installed LineWatch.exe against the simulated driver, checked from
  # outside by the probe of its bitness: the lines of the call played in a
  # loop arrive.
  local run=$work/$arch-run
  mkdir -p "$run/run"
  (cd "$run" && exec timeout 300 "$wine64" "$work/devtools/tarvel-sim.exe" --loop "$(winpath "$root/scenarios/v34-call.trace")" >sim.out 2>&1 </dev/null) &
  local player=$!
  pids+=($player)
  rc=0
  t0=$(date +%s)
  (cd "$run" && timeout 180 "$(loader_of "$build/tests/linewatch_probe.exe")" "$build/tests/linewatch_probe.exe" "C:\\$3\\LineWatch\\LineWatch.exe" \
     "$(winpath "$run/run")" $((v34_lines / 2)) 0 --at-least >probe.out 2>&1 </dev/null) || rc=$?
  grep -E '^FAILED' "$run/probe.out" | sed "s/^/  $arch: /" || true
  check '[ $rc -eq 0 ]' "$label the installed LineWatch.exe shows the lines of the call played into tarvelsim.sys: linewatch_probe.exe $(grep -o '[0-9]* passed' "$run/probe.out") in $(( $(date +%s) - t0 )) s"
  kill "$player" 2>/dev/null || true
  wait "$player" 2>/dev/null || true
  timeout 60 "$wine64" "$work/devtools/tarvel-sim.exe" --remove >"$run/remove.out" 2>&1 </dev/null || { cat "$run/remove.out"; fail "tarvel-sim.exe --remove"; }

  rc=0
  t0=$(date +%s)
  timeout 60 "$(loader_of "$dir/uninstall.exe")" "$dir/uninstall.exe" /S >"$work/$arch-uninstall.out" 2>&1 </dev/null || rc=$?
  # The uninstaller runs on from a copy in the temporary folder: wait until
  # its last step, the Add/Remove Programs entry, is gone.
  wait_until '[ "$(reg_value "$uninstall_key" DisplayVersion)" = missing ] && [ ! -e "$dir" ]' 300 || true
  sleep 1
  check '[ $rc -eq 0 ] && [ ! -e "$dir" ] && [ ! -e "$start_menu" ]' "$label uninstall.exe /S removed the program folder and the Start menu entry in $(( $(date +%s) - t0 )) s"
  check '! "$wine64" uninstaller --list 2>/dev/null </dev/null | grep -q LineWatch' "$label Add/Remove Programs no longer lists LineWatch"
  state "$work/$arch-after"
  if cmp -s "$work/$arch-before.files" "$work/$arch-after.files"; then
    pass "$label after the uninstall the prefix's files are as before the install ($(wc -l <"$work/$arch-before.files") paths)"
  else
    fail "$label files changed by install and uninstall:"; diff "$work/$arch-before.files" "$work/$arch-after.files" | head -20 || true
  fi
  if cmp -s "$work/$arch-before.reg" "$work/$arch-after.reg"; then
    pass "$label after the uninstall HKLM\\Software is as before the install ($(grep -c '^\[' "$work/$arch-before.reg") keys), .gz still Archiver.gz"
  else
    fail "$label registry changed by install and uninstall:"; diff "$work/$arch-before.reg" "$work/$arch-after.reg" | head -20 || true
  fi
}

installer_round win64 "$root/build/windows64" "Program Files"
installer_round win32 "$root/build/windows32" "Program Files (x86)"

echo "packages: $passes passed, $failures failed, $skips skipped"
[ $failures -eq 0 ]
