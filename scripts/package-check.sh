#!/usr/bin/env bash
# Installs the package scripts/package.sh built, works its command-line modes from /usr/bin in a
# temporary folder, and removes it again with whatever it brought, leaving the machine as it was.
# Needs root (or sudo); refuses to run where the package is installed already.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(orvanta_*.deb)
[[ -f ${packages[0]} ]] || { echo "package-check: no orvanta_*.deb; run scripts/package.sh first" >&2; exit 1; }
package=./${packages[-1]}

sudo=()
((EUID == 0)) || sudo=(sudo)
if dpkg-query -W -f='${db:Status-Status}' orvanta 2>/dev/null | grep -qx installed; then
    echo "package-check: orvanta is installed on this machine already; it is left alone" >&2
    exit 1
fi

before=$(dpkg-query -W -f='${Package}\n' | sort)
work=$(mktemp -d)
chmod 755 "$work"
remove_again() {
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q orvanta >/dev/null || true
    local brought
    brought=$(comm -13 <(echo "$before") <(dpkg-query -W -f='${Package}\n' | sort))
    if [[ -n $brought ]]; then
        # shellcheck disable=SC2086
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q $brought >/dev/null || true
    fi
    rm -rf "$work"
}
trap remove_again EXIT

"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$package" >/dev/null

# The installed program as a scheduled job runs it: no display, a home of its own.
home=$work/home
mkdir -p "$home"
installed() {
    env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 /usr/bin/orvanta "$@"
}
fail() {
    echo "package-check: $*" >&2
    exit 1
}

# Read whole before grep looks: grep -q leaving early would end the writer with SIGPIPE.
grep -q '^Orvanta ' <<<"$(installed --version)" || fail "--version"
grep -q -- '--create-database' <<<"$(installed --help)" || fail "--help"
grep -q -- '--create-database' <<<"$(man -P cat orvanta 2>/dev/null)" || fail "man orvanta"
[[ -f /usr/share/applications/orvanta.desktop && -f /usr/share/icons/hicolor/48x48/apps/orvanta.png ]] \
    || fail "menu entry or icon missing"

installed --create-database "$work/MoLian.mdb"
# The modes that read or change data run as an operator: the delivered administrator here.
echo 736 >"$work/operator.pw"
as_administrator=(--operator 管理员 --operator-password-file "$work/operator.pw")
installed --list DangAnKu --out "$work/certificates.csv" --database "$work/MoLian.mdb" "${as_administrator[@]}"
[[ -s $work/certificates.csv ]] || fail "--list wrote nothing"

# The nightly backup job hands each setting over as one argument, blanks and all; pg_dump came along.
mkdir -p "$work/back ups"
env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 BACKUP_DIR="$work/back ups" BACKUP_DATABASE="$work/MoLian.mdb" \
    BACKUP_OPERATOR=管理员 BACKUP_OPERATOR_PASSWORD_FILE="$work/operator.pw" \
    /usr/lib/orvanta/orvanta-backup-job 2>"$work/backup.err" || fail "orvanta-backup-job: $(cat "$work/backup.err")"
[[ -s "$work/back ups/MoLianBackUp.Mdb" ]] || fail "the backup job wrote no backup"
command -v pg_dump >/dev/null || fail "pg_dump missing"

# The verification service answers from the installed program, reading the database only.
[[ -f /usr/lib/systemd/system/orvanta-verify.service || -f /lib/systemd/system/orvanta-verify.service ]] \
    || fail "orvanta-verify.service missing"
grep -q -- '--listen' <<<"$(env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 /usr/bin/orvanta-verify --help)" \
    || fail "orvanta-verify --help"
grep -q -- '--listen' <<<"$(man -P cat orvanta-verify 2>/dev/null)" || fail "man orvanta-verify"
env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 STATE_DIRECTORY="$work" /usr/bin/orvanta-verify \
    --listen 127.0.0.1:48123 --database "$work/MoLian.mdb" 2>"$work/verify.err" &
verify=$!
answered=
for _ in $(seq 50); do
    if curl -s -o /dev/null -w '%{http_code}' http://127.0.0.1:48123/ 2>/dev/null | grep -qx 200; then
        answered=yes
        break
    fi
    sleep 0.1
done
kill "$verify"
wait "$verify" || fail "orvanta-verify did not stop cleanly: $(cat "$work/verify.err")"
[[ -n $answered ]] || fail "orvanta-verify did not answer: $(cat "$work/verify.err")"

# Without --database the installed program looks in the user's own data folder...
if installed --list DangAnKu --out "$work/own.csv" "${as_administrator[@]}" 2>"$work/own.err"; then
    fail "--list opened a database that was never created"
fi
grep -qF "$home/.local/share/Orvanta/MoLian.mdb" "$work/own.err" || fail "$(cat "$work/own.err")"

# ...or in the shared folder the machine's file names.
mkdir -p "$work/shared"
installed --create-database "$work/shared/MoLian.mdb"
printf '[data]\nfolder=%s\n' "$work/shared" | "${sudo[@]}" tee /etc/orvanta/orvanta.ini >/dev/null
installed --list PeiXun --out "$work/shared.csv" "${as_administrator[@]}" || fail "--list in the shared folder"

# Removing the program leaves the office's data.
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q orvanta >/dev/null
[[ ! -e /usr/bin/orvanta && -f $work/shared/MoLian.mdb && -f $work/MoLian.mdb ]] || fail "removal"
echo "package-check: $package installed, worked and removed"
