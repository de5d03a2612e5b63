#!/usr/bin/env bash
# Packs the Windows release from the list packaging/windows/files.txt: stages every file of the list into
# OUT/quorvane-VERSION-win64/ (programs stripped, texts with CR LF line ends, other files as they are),
# zips that folder into OUT/quorvane-VERSION-win64.zip, writes OUT/quorvane-VERSION-win64-files.nsh (what
# the installer installs and the uninstaller removes, taken from the same list), builds the installer
# OUT/quorvane-VERSION-win64-setup.exe from packaging/windows/quorvane.nsi, and writes OUT/SHA256SUMS (the
# zip, the installer and OUT/quorvane-VERSION-source.tar.gz when that is there).
# Usage: scripts/windows/pack.sh ROOT BUILD OUT VERSION
#   ROOT     the project's root
#   BUILD    the Windows build folder (CMake's), holding the programs and quorvane.ico
#   OUT      the output folder; @OUT@/ sources of the list are read from it (SOURCE.txt)
#   VERSION  the release's version, three numbers (2.0.0)
# The installer is built by hand the same way, from an existing files.nsh:
#   makensis -INPUTCHARSET UTF8 -DVERSION=2.0.0 -DFILES=OUT/quorvane-2.0.0-win64-files.nsh \
#       -DOUTFILE=setup.exe packaging/windows/quorvane.nsi
set -euo pipefail

if [ $# -ne 4 ]; then
    echo "usage: $0 ROOT BUILD OUT VERSION" >&2
    exit 64
fi
root="$(cd "$1" && pwd)"
build="$(cd "$2" && pwd)"
mkdir -p "$3"
out="$(cd "$3" && pwd)"
version="$4"
list="$root/packaging/windows/files.txt"
strip=x86_64-w64-mingw32-strip
name="quorvane-$version-win64"
stage="$out/$name"
nsh="$out/$name-files.nsh"

fail() {
    echo "pack: $*" >&2
    exit 1
}

[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "the version must be three numbers (2.0.0), not '$version'"
for tool in "$strip" zip makensis sha256sum perl; do
    command -v "$tool" >/dev/null || fail "$tool is missing"
done
[ -f "$build/quorvane.ico" ] || fail "$build/quorvane.ico is missing (is $build the Windows build folder?)"

# A text for an NSIS string in double quotes.
nsis_quote() {
    local text="${1//\$/\$\$}"
    printf '%s' "${text//\"/\$\\\"}"
}

# ---- The list ----
kinds=() sources=() names=()
declare -A seen=()
number=0
while IFS= read -r line || [ -n "$line" ]; do
    number=$((number + 1))
    line="${line%$'\r'}"
    [[ "$line" =~ ^[[:space:]]*(#|$) ]] && continue
    read -r kind source release extra <<<"$line"
    where="$list:$number"
    if [ -z "${release:-}" ] || [ -n "${extra:-}" ]; then
        fail "$where: want KIND SOURCE NAME"
    fi
    case "$kind" in
    program | text | file) ;;
    *) fail "$where: unknown kind '$kind' (program, text or file)" ;;
    esac
    [[ "$release" =~ ^[A-Za-z0-9][A-Za-z0-9._+-]*(/[A-Za-z0-9][A-Za-z0-9._+-]*)*$ ]] ||
        fail "$where: the name '$release' is not letters, digits and . _ + - (with / between folders)"
    # Windows takes names alike when only their case differs.
    key="${release,,}"
    [ "$key" != uninstall.exe ] || fail "$where: uninstall.exe is the installer's own"
    if [ -n "${seen[$key]:-}" ]; then
        fail "$where: $release is the name of line ${seen[$key]} too (Windows does not tell case apart)"
    fi
    seen[$key]=$number
    case "$source" in
    @BUILD@/*) source="$build/${source#@BUILD@/}" ;;
    @OUT@/*) source="$out/${source#@OUT@/}" ;;
    /*) ;;
    *) source="$root/$source" ;;
    esac
    [ -f "$source" ] || fail "$where: $source is missing"
    kinds+=("$kind") sources+=("$source") names+=("$release")
done <"$list"
[ ${#names[@]} -gt 0 ] || fail "$list lists no file"

# ---- The staged folder ----
rm -rf "$stage" "$out/$name.zip" "$out/$name-setup.exe" "$nsh" "$out/SHA256SUMS"
mkdir -p "$stage"
for i in "${!names[@]}"; do
    target="$stage/${names[$i]}"
    mkdir -p "$(dirname "$target")"
    case "${kinds[$i]}" in
    program) "$strip" -o "$target" "${sources[$i]}" ;;
    text) perl -0777 -pe 's/\r\n|\r|\n/\r\n/g' "${sources[$i]}" >"$target" ;;
    file) cp "${sources[$i]}" "$target" ;;
    esac
done

# ---- The zip ----
(cd "$out" && zip -q -r -X "$name.zip" "$name")

# ---- What the installer installs and the uninstaller removes ----
# The folders of the release, deepest first, for the uninstaller to remove once they are empty.
mapfile -t folders < <(for release in "${names[@]}"; do
    folder="$(dirname "$release")"
    while [ "$folder" != . ]; do
        echo "$folder"
        folder="$(dirname "$folder")"
    done
done | sort -u | awk -F/ '{ print NF "\t" $0 }' | sort -rn | cut -f2)
{
    echo "; What quorvane.nsi installs and removes: written by scripts/windows/pack.sh from"
    echo "; packaging/windows/files.txt, not to be edited."
    echo "!define STAGE \"$(nsis_quote "$stage")\""
    echo "!define ICON \"$(nsis_quote "$build/quorvane.ico")\""
    echo "!define SIZE_KB $(du -sk "$stage" | cut -f1)"
    echo
    echo "!macro QUORVANE_INSTALL_FILES"
    current=
    for release in "${names[@]}"; do
        folder="\$INSTDIR"
        if [ "$(dirname "$release")" != . ]; then
            sub="$(dirname "$release")"
            folder="$folder\\${sub//\//\\}"
        fi
        if [ "$folder" != "$current" ]; then
            echo "    SetOutPath \"$folder\""
            current="$folder"
        fi
        echo "    File \"/oname=\$INSTDIR\\${release//\//\\}\" \"$(nsis_quote "$stage/$release")\""
    done
    echo "    SetOutPath \"\$INSTDIR\""
    echo "!macroend"
    echo
    echo "!macro QUORVANE_REMOVE_FILES"
    for release in "${names[@]}"; do
        echo "    Delete \"\$INSTDIR\\${release//\//\\}\""
    done
    for folder in "${folders[@]}"; do
        echo "    RMDir \"\$INSTDIR\\${folder//\//\\}\""
    done
    echo "!macroend"
} >"$nsh"

# ---- The installer ----
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DFILES="$nsh" -DOUTFILE="$out/$name-setup.exe" \
    "$root/packaging/windows/quorvane.nsi"

# ---- The checksums ----
sums=("$name.zip" "$name-setup.exe")
if [ -f "$out/quorvane-$version-source.tar.gz" ]; then
    sums+=("quorvane-$version-source.tar.gz")
fi
(cd "$out" && sha256sum "${sums[@]}" >SHA256SUMS)

echo "$out/$name.zip"
echo "$out/$name-setup.exe"
echo "$out/SHA256SUMS"
