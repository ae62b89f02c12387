#!/usr/bin/env bash
# Builds the Debian package orvanta_VERSION_ARCH.deb at the top of the source tree from build/,
# and checks it with lintian. Installed with `apt-get install ./orvanta_*.deb`.
set -euo pipefail
cd "$(dirname "$0")/.."
umask 022

scripts/install-deps.sh
# The program tells it runs installed by its folder, so the build must know the package's prefix.
if [[ -f build/CMakeCache.txt ]] && ! grep -qx 'CMAKE_INSTALL_PREFIX:PATH=/usr' build/CMakeCache.txt; then
    cmake -S . -B build -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
fi
scripts/build.sh

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)
architecture=$(dpkg --print-architecture)
package=orvanta_${version}_${architecture}.deb
maintainer='Orvanta 开发组 <orvanta@packages.invalid>'

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root=$stage/root
DESTDIR=$root cmake --install build --strip >/dev/null

# The menu's icon in the sizes desktops look for, drawn from the one SVG.
for size in 16 24 32 48 64 128 256; do
    icons=$root/usr/share/icons/hicolor/${size}x${size}/apps
    mkdir -p "$icons"
    convert -background none -density 192 packaging/orvanta.svg -resize "${size}x${size}" -strip \
        "$icons/orvanta.png"
done

# A native package's changelog: one entry for the version built, dated by its last commit.
doc=$root/usr/share/doc/orvanta
changed=$(git log -1 --format=%aD 2>/dev/null || date -R)
printf 'orvanta (%s) stable; urgency=medium\n\n  * 版本 %s。\n\n -- %s  %s\n' \
    "$version" "$version" "$maintainer" "$changed" | gzip -9n >"$doc/changelog.gz"

# The libraries the program links, as Debian packages; the database drivers, the platform
# plugins, Qt's Chinese texts and a Chinese font are loaded at run time and named by hand.
mkdir -p "$stage/debian"
printf 'Source: orvanta\n\nPackage: orvanta\nArchitecture: any\n' >"$stage/debian/control"
linked=$(cd "$stage" && dpkg-shlibdeps -O -e"$root/usr/bin/orvanta" -e"$root/usr/bin/orvanta-verify" \
    | sed -n 's/^shlibs:Depends=//p')
[[ -n $linked ]] || { echo "package.sh: dpkg-shlibdeps found no dependencies" >&2; exit 1; }
depends="$linked, libqt6sql6-sqlite, libqt6sql6-psql, qt6-qpa-plugins, libqt6svg6, qt6-translations-l10n"
depends+=", fonts-wqy-zenhei | fonts-noto-cjk"
# Server backups and restores run the server's own pg_dump and pg_restore.
depends+=", postgresql-client"

mkdir -p "$root/DEBIAN"
cat >"$root/DEBIAN/control" <<CONTROL
Package: orvanta
Version: $version
Architecture: $architecture
Maintainer: $maintainer
Installed-Size: $(du -sk --apparent-size "$root/usr" "$root/etc" | awk '{ s += $1 } END { print s }')
Depends: $depends
Section: misc
Priority: optional
Description: 特种作业人员培训与发证档案管理 (Orvanta)
 证书、操作证和安全生产培训资料三个登记表的录入、查询、列表、打印与导出，
 每条记录可带照片。数据存放在本地数据库文件或几台工作站共用的 PostgreSQL
 数据库中。另有供定时任务使用的命令行模式（备份、恢复、列表、到期提醒）
 和每晚备份的 systemd 定时器（默认不启用），以及供手机扫码核验证书的
 只读核验服务 orvanta-verify（systemd 服务，默认不启用）。
CONTROL
(cd "$root" && find etc -type f -printf '/%p\n' | sort) >"$root/DEBIAN/conffiles"
(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/conffiles" "$root/DEBIAN/md5sums"
find "$root" -type d -exec chmod 0755 {} +

dpkg-deb --root-owner-group -Zxz --build "$root" "$package" >/dev/null
lintian --fail-on error "$package"
echo "$package"
