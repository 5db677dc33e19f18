#!/bin/sh
# Installs the station the way a crew does and runs it: builds the Debian packages,
# installs midstation with apt-get, starts /usr/bin/midstation from a folder it cannot
# write (/sys: not even root can), against the suite's private server, opens the chip-tag
# window through the accessibility layer, feeds one chip-tag passing and finds the display
# row and the log entry in the per-user places the manual page names. lintian checks both
# packages. The package is removed afterwards, also when a step fails.
#   install_test.sh SOURCE_DIR BUILD_DIR TEST_SERVER_DIR
# Exits 77 (CTest's "skipped") when not run as root: installing needs it.
set -u
src=$1
build=$2
server=$3
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: installing the package needs root (the test runs as root in CI)"
    exit 77
fi
# lintian, which should not run as root, runs as this user.
user=nobody
work=$(mktemp -d /tmp/midstation-install.XXXXXX)
chmod 755 "$work"
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 -y -q "$@"; }
cleanup() {
    for package in midstation-rehearsal midstation; do
        if dpkg-query -W -f='${Status}' "$package" 2> /dev/null | grep -q "ok installed"; then
            apt_get remove --purge "$package" > "$work/remove.log" 2>&1 || cat "$work/remove.log"
        fi
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
fail() { echo "FAIL: $*"; exit 1; }

echo "== package"
"$src/scripts/package" "$work/packages" > "$work/package.log" 2>&1 || { cat "$work/package.log"; fail "scripts/package"; }
station_deb=$(ls "$work"/packages/midstation_*.deb) || fail "no midstation_*.deb"
rehearsal_deb=$(ls "$work"/packages/midstation-rehearsal_*.deb) || fail "no midstation-rehearsal_*.deb"
echo "built: $(basename "$station_deb") $(basename "$rehearsal_deb")"

echo "== lintian"
runuser -u "$user" -- lintian -I --tag-display-limit 0 "$station_deb" "$rehearsal_deb" > "$work/lintian.log" 2>&1
cat "$work/lintian.log"
[ -s "$work/lintian.log" ] || echo "lintian: no errors, no warnings"
grep -q '^E:' "$work/lintian.log" && fail "lintian reports errors"
# Both programs are built hardened (stack protector, fortified functions, PIE, bind now).
grep -q ' hardening-' "$work/lintian.log" && fail "lintian finds a program built without hardening"

echo "== install"
(cd "$work/packages" && apt_get install "./$(basename "$station_deb")") > "$work/install.log" 2>&1 \
    || { cat "$work/install.log"; fail "apt-get install"; }
[ -x /usr/bin/midstation ] || fail "/usr/bin/midstation is not installed"
version=$(/usr/bin/midstation --version) || fail "midstation --version"
[ "$version" = "midstation $(sed -n 's/^project(midstation VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")" ] \
    || fail "midstation --version answered '$version'"
/usr/bin/midstation --help | grep -q dialout || fail "midstation --help does not mention the dialout group"
for f in /usr/share/applications/midstation.desktop /usr/share/man/man1/midstation.1.gz \
         /usr/share/doc/midstation/examples/odbc.ini /usr/share/doc/midstation/guide/index.html; do
    [ -f "$f" ] || fail "$f is not installed"
done

echo "== run from a folder it cannot write"
db=t_install
port=$(cat "$server/port")
"$src/scripts/dbserver" load "$server" "$db" "$src/data/sql/schema.sql" "$src/data/sql/demo.sql" > /dev/null \
    || fail "loading the demo race"
mkdir -p "$work/home" "$work/odbc"
cat > "$work/odbc/odbc.ini" <<INI
[PlovoLocal]
Driver=MariaDB
SERVER=127.0.0.1
PORT=$port
DATABASE=$db
INI
: > "$work/odbc/odbcinst.ini"
sql="mariadb -N -h127.0.0.1 -P$port -uroot -prufan $db -e"
passing="$sql \"insert into tag_rec (tcode,zek,term,time,count,use_mid) values ('R2026A','0001','C1','10:05:12.300',1,0); update EXECINFO set upd=upd+1 where num=1\""
chaku="test \"\$($sql \"select count(*) from CHAKU where ZEK='0001'\")\" = 1"
log="$work/home/.local/state/midstation/VidadIva.log"
logged="grep -qs \"AND ZEK='0001'\" $log"
run_station() {
    (cd /sys && env -i PATH=/usr/bin:/bin HOME="$work/home" LANG=C.UTF-8 \
        ODBCSYSINI="$work/odbc" ODBCINI="$work/odbc/odbc.ini" PYTHONPATH="$src/tests/harness" \
        sh "$src/tests/harness/atspi_run.sh" /usr/bin/python3 "$src/tests/install/drive_station.py" --timeout 90 \
        --press "ZIRNOK TAG" --press 音声パネル --until "$passing" --until "$chaku" --until "$logged" \
        --press × --press 閉じる --exits -- /usr/bin/midstation) > "$work/station.log" 2>&1
    status=$?
    grep -v '^dbus-daemon' "$work/station.log"
    return $status
}
# Now and then, on the shared test machine, Qt could not connect to the private X server
# that atspi_run.sh had just started (cause not found; other clients of the same server
# connect). A start that failed that way, and only that way, is tried once more.
if ! run_station; then
    grep -q "could not connect to display" "$work/station.log" || fail "the installed station did not take the passing"
    echo "the X server was not reachable; starting the station once more"
    run_station || fail "the installed station did not take the passing"
fi

echo "== files in the documented places"
grep -q "update result" "$log" || fail "no update statement in $log"
settings="$work/home/.local/share/midstation/VidadIva.ini"
grep -q "DataIndex=0" "$settings" || fail "no settings file $settings"
[ ! -e /usr/bin/VidadIva.log ] || fail "the installed station logged into /usr/bin"
echo "log $log:"
cat "$log"

echo "== remove"
apt_get remove --purge midstation > "$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "apt-get remove"; }
[ ! -e /usr/bin/midstation ] || fail "/usr/bin/midstation is still there after removal"
echo "PASS"
