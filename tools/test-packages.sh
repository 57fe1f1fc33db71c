#!/bin/bash
# Builds the release packages from the configured native, win32 and win64 build
# trees and checks them as a user would receive them: the Debian package
# installed into a scratch root and run, its man page rendered without
# warnings and its bundling example run as printed, its completion and man
# page naming exactly the options the program knows; each zip holding exactly the expected files, with programs that need
# only system DLLs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
version=$(sed -n 's/^project(Kivrel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "test-packages: $*" >&2; exit 1; }

# A program needs only system DLLs when every module it needs is found in the
# system directory given.
only_system_dlls() {  # EXE SYSTEM-DIR
  local report
  report=$("$scratch/root/usr/bin/kivrel-scan" --system-dir "$2" "$1") ||
    fail "$1 needs modules that are not system DLLs: $report"
  while IFS= read -r line; do
    case $line in
      "$2"/*) [ -f "$line" ] || fail "$1: reported path does not exist: $line" ;;
      *) fail "$1: module outside the system directory: $line" ;;
    esac
  done <<<"$report"
}

echo "== Debian package"
(cd build/native && cpack -G DEB >/dev/null)
deb=build/native/packages/kivrel-scan_${version}_amd64.deb
[ -f "$deb" ] || fail "missing $deb"
for field in "Package: kivrel-scan" "Version: $version" "Section: utils" "Architecture: amd64"; do
  dpkg-deb -f "$deb" | grep -qx "$field" || fail "control lacks '$field'"
done
dpkg-deb -f "$deb" Depends | grep -q 'libc6 (>=' || fail "dependencies were not computed"
dpkg-deb -f "$deb" Recommends | grep -qx 'bash-completion' || fail "bash-completion is not recommended"
dpkg-deb -x "$deb" "$scratch/root"
installed="$scratch/root/usr/bin/kivrel-scan"
[ "$("$installed" --version)" = "kivrel-scan $version" ] || fail "installed --version"
cmp -s README.md "$scratch/root/usr/share/doc/kivrel-scan/README.md" || fail "the README is not shipped"

man_page="$scratch/root/usr/share/man/man1/kivrel-scan.1.gz"
lexgrog "$man_page" >/dev/null || fail "the man page has no readable NAME section"
warnings=$(MANWIDTH=80 man --warnings=w -l "$man_page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man page warnings: $warnings"

# The man page's bundling example works as printed, on a program built with MinGW.
example="$scratch/example"
mkdir -p "$example"
printf '#include <iostream>\nint main() { std::cout << "hi\\n"; }\n' >"$example/hello.cpp"
x86_64-w64-mingw32-g++-posix -O2 -o "$example/app.exe" "$example/hello.cpp"
MANWIDTH=200 man -l "$man_page" 2>/dev/null |
  awk '/Bundle a program/ { b = 1 } b && /kivrel-scan/ { p = 1 } p { print } p && /app\.exe$/ { exit }' \
  >"$example/bundle.sh"
grep -q -- '--copy-to dist app.exe$' "$example/bundle.sh" || fail "no bundling example in the man page"
(cd "$example" && PATH="$scratch/root/usr/bin:$PATH" bash bundle.sh >/dev/null 2>&1) ||
  fail "the man page's bundling example fails"
[ -f "$example/dist/libstdc++-6.dll" ] || fail "the man page's bundling example copied nothing"

# The options the program knows, its man page and its completion agree.
options_of() { grep -o -- '--[a-z][a-z-]*' | sort -u; }
known=$("$installed" --help | options_of)
documented=$(zcat "$man_page" | sed 's/\\-/-/g' | options_of)
completion="$scratch/root/usr/share/bash-completion/completions/kivrel-scan"
completed=$(bash -c "source '$completion'; complete -p kivrel-scan >/dev/null &&
  COMP_WORDS=(kivrel-scan --); COMP_CWORD=1; _kivrel_scan; printf '%s\n' \"\${COMPREPLY[@]}\"" |
  options_of)
[ "$known" = "$documented" ] ||
  fail "options of --help and of the man page differ: $(diff <(echo "$known") <(echo "$documented") | grep '^[<>]' | tr '\n' ' ')"
[ "$known" = "$completed" ] ||
  fail "options of --help and of the completion differ: $(diff <(echo "$known") <(echo "$completed") | grep '^[<>]' | tr '\n' ' ')"

for arch in win32 win64; do
  echo "== $arch zip"
  cmake --build --preset "$arch" -j2 --target package >/dev/null
  zip=build/$arch/packages/Kivrel-$version-$arch.zip
  [ -f "$zip" ] || fail "missing $zip"
  top=Kivrel-$version-$arch
  expected=$(printf '%s\n' "$top/Kivrel.exe" "$top/LICENSE.txt" "$top/README.txt" "$top/kivrel-scan.exe")
  listed=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
  [ "$listed" = "$expected" ] || fail "$zip holds: $listed"
  unzip -q -o "$zip" -d "$scratch/$arch"
  case $arch in
    win32) system=/usr/lib/i386-linux-gnu/wine/i386-windows ;;
    win64) system=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows ;;
  esac
  only_system_dlls "$scratch/$arch/$top/Kivrel.exe" "$system"
  only_system_dlls "$scratch/$arch/$top/kivrel-scan.exe" "$system"
  grep -q "Kivrel $version" "$scratch/$arch/$top/README.txt" || fail "README.txt lacks the version"
done
echo "packages: all checks passed"
