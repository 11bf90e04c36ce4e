#!/usr/bin/env bash
# Installs the build into a scratch prefix and builds the two Debian packages from it, and checks
# what each puts where: the files, the desktop entry, the metainfo, the man pages against --help,
# the programs' --help and --version, the packages' dependencies and conffiles.
#   install_test.sh SOURCE BUILD VERSION
set -euo pipefail
src=$1
build=$2
version=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

client_files=(usr/bin/zenta-oprch usr/share/applications/zenta-oprch.desktop
    usr/share/metainfo/ru.zenta.oprch.metainfo.xml usr/share/zenta-oprch/Alarm.wav
    usr/share/icons/hicolor/48x48/apps/zenta-oprch.png usr/share/icons/hicolor/128x128/apps/zenta-oprch.png
    usr/share/icons/hicolor/256x256/apps/zenta-oprch.png usr/share/icons/hicolor/scalable/apps/zenta-oprch.svg
    usr/share/man/man1/zenta-oprch.1.gz usr/share/doc/zenta-oprch/copyright usr/share/doc/zenta-oprch/changelog.gz)
stand_files=(usr/bin/zenta-stand usr/share/man/man1/zenta-stand.1.gz lib/systemd/system/zenta-stand.service
    etc/default/zenta-stand usr/share/doc/zenta-stand/copyright usr/share/doc/zenta-stand/changelog.gz)

# Every option a program's --help names is described in its man page.
check_man() {
    local root=$1 program=$2
    local help page option
    help=$("$root/usr/bin/$program" --help) || fail "$program --help exits with an error"
    if [ "$program" = zenta-oprch ]; then
        help+=$("$root/usr/bin/$program" --report --help) || fail "$program --report --help exits with an error"
    fi
    page=$(zcat "$root/usr/share/man/man1/$program.1.gz" | sed 's/\\-/-/g')
    for option in $(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u); do
        grep -qF -- "$option" <<<"$page" || fail "$program.1 does not describe $option"
    done
    if [ "$(sed -n 's/^\.TH [^ ]* [^ ]* "[^"]*" "[^ ]* \([^"]*\)".*/\1/p' <<<"$page")" != "$version" ]; then
        fail "$program.1 does not carry version $version"
    fi
}

check_tree() {
    local root=$1 what=$2 f
    for f in "${client_files[@]}" "${stand_files[@]}"; do
        [ -s "$root/$f" ] || fail "$what: $f missing"
    done
    [ "$failures" -eq 0 ] || return 0
    desktop-file-validate "$root/usr/share/applications/zenta-oprch.desktop" || fail "$what: desktop entry invalid"
    grep -q '^Exec=zenta-oprch --user-folder$' "$root/usr/share/applications/zenta-oprch.desktop" ||
        fail "$what: the menu entry does not start the program in the user's folder"
    if command -v appstreamcli >/dev/null; then
        appstreamcli validate --no-net "$root/usr/share/metainfo/ru.zenta.oprch.metainfo.xml" >/dev/null ||
            fail "$what: metainfo invalid"
    fi
    [ "$("$root/usr/bin/zenta-oprch" --version)" = "zenta-oprch $version" ] || fail "$what: zenta-oprch --version"
    [ "$("$root/usr/bin/zenta-stand" --version)" = "zenta-stand $version" ] || fail "$what: zenta-stand --version"
    check_man "$root" zenta-oprch
    check_man "$root" zenta-stand
    local unit="$root/lib/systemd/system/zenta-stand.service"
    grep -q '^ExecStart=/usr/bin/zenta-stand ' "$unit" || fail "$what: the unit does not start the installed stand"
    grep -q '^DynamicUser=yes' "$unit" || fail "$what: the unit has no user of its own"
    grep -q '^StateDirectory=zenta-stand' "$unit" || fail "$what: the unit has no state folder"
    grep -q '^Environment=ZENTA_STAND_LISTEN=127.0.0.1' "$unit" || fail "$what: the unit does not default to 127.0.0.1"
    # Every local user reaches the service: its test aids stay off and are refused if asked for.
    grep -q '^Environment=ZENTA_STAND_SERVICE=1$' "$unit" || fail "$what: the unit does not mark the service"
    if grep -hv '^#' "$unit" "$root/etc/default/zenta-stand" | grep -q -e '--test-'; then
        fail "$what: the service is given a test aid"
    fi
}

DESTDIR="$scratch/install" cmake --install "$build" --prefix /usr >/dev/null
check_tree "$scratch/install" install

(cd "$build" && cpack -G DEB -B "$scratch/packages" >"$scratch/cpack.log" 2>&1) || {
    cat "$scratch/cpack.log" >&2
    fail "cpack failed"
}
for package in zenta-oprch zenta-stand; do
    deb=$(ls "$scratch/packages/${package}_${version}_"*.deb 2>/dev/null | head -1)
    if [ -z "$deb" ]; then
        fail "no $package package"
        continue
    fi
    dpkg-deb -x "$deb" "$scratch/unpacked"
    info=$(dpkg-deb -I "$deb")
    grep -q "^ Package: $package$" <<<"$info" || fail "$package: wrong name"
    grep -q "^ Maintainer: " <<<"$info" || fail "$package: no maintainer"
    grep -q "^ Depends: .*libc6" <<<"$info" || fail "$package: dependencies not found from the binary"
    # No maintainer script of ours may start the service: enabling it is the administrator's choice.
    grep -qE '^ +[0-9]+ bytes, +[0-9]+ lines +\*? *(postinst|preinst)' <<<"$info" && fail "$package: has install scripts"
done
# Here-strings, not pipes: grep -q may leave early, and pipefail would count that against dpkg-deb.
oprch_info=$(dpkg-deb -I "$scratch/packages/zenta-oprch_${version}_"*.deb)
stand_info=$(dpkg-deb -I "$scratch/packages/zenta-stand_${version}_"*.deb)
grep -q "^ Depends: .*libqt5widgets5" <<<"$oprch_info" || fail "zenta-oprch does not depend on Qt"
# Plugins are not found from the binary: Qt's Russian texts and the register's SQL drivers are named.
grep -q "^ Depends: .*qttranslations5-l10n" <<<"$oprch_info" || fail "zenta-oprch does not depend on Qt's translations"
grep -q "^ Depends: .*libqt5sql5-sqlite" <<<"$oprch_info" || fail "zenta-oprch does not depend on the SQLite driver"
grep -q "^ Recommends: .*libqt5sql5-psql" <<<"$oprch_info" || fail "zenta-oprch does not recommend the PostgreSQL driver"
grep -q "^ Depends: .*libsqlite3" <<<"$stand_info" || fail "zenta-stand does not depend on SQLite"
conffiles=$(dpkg-deb --ctrl-tarfile "$scratch/packages/zenta-stand_${version}_"*.deb | tar -xO ./conffiles)
grep -qx /etc/default/zenta-stand <<<"$conffiles" || fail "zenta-stand: the options file is not a conffile"
check_tree "$scratch/unpacked" packages
if command -v lintian >/dev/null; then
    if ! report=$(lintian "$scratch"/packages/*.deb 2>&1); then
        fail "lintian: $(grep -E '^E:' <<<"$report" || echo "$report")"
    fi
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures checks failed" >&2
    exit 1
fi
echo "installed and packaged: every check passed"
