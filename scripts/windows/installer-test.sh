#!/usr/bin/env bash
# Tests the Windows installer that scripts/windows/pack.sh wrote, under Wine, in a Wine prefix of its own made
# afresh (OUT/installer-test/wine, removed again when every check passed): an installation for the current
# user and one for all users, each with its uninstaller entry and Start-menu shortcut and every file of
# packaging/windows/files.txt, and their silent uninstallation leaving nothing behind; an upgrade over an
# older version (built here from the same files, with one file more) that keeps the user's
# %APPDATA%\Quorvane, takes the remembered folder and kind, and replaces the program's files; and the
# refusal to install or uninstall while quorvane.exe runs. Prints one line per check; exits 1 when one fails.
# Usage: scripts/windows/installer-test.sh OUT VERSION
#   OUT      pack.sh's output folder: quorvane-VERSION-win64-setup.exe, the staged folder and its .nsh
#   VERSION  the version packed (2.0.0)
# All of it runs on one virtual X display (xvfb-run), and Wine's server ends before the display does.
set -euo pipefail

if [ "${1:-}" != --on-display ]; then
    if [ $# -ne 2 ]; then
        echo "usage: $0 OUT VERSION" >&2
        exit 64
    fi
    exec xvfb-run -a bash "$0" --on-display "$@"
fi
shift
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="$(cd "$1" && pwd)"
version="$2"
name="quorvane-$version-win64"
setup="$out/$name-setup.exe"
stage="$out/$name"
nsh="$out/$name-files.nsh"
list="$root/packaging/windows/files.txt"
work="$out/installer-test"
wine="$(command -v wine64 || echo /usr/lib/wine/wine64)"
wineserver="$(command -v wineserver || echo /usr/lib/wine/wineserver)"
key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane'
menu_key='Software\Classes\Directory\shell\Quorvane'

for file in "$setup" "$nsh" "$list"; do
    if [ ! -f "$file" ]; then
        echo "installer-test: $file is missing (run scripts/windows/pack.sh first)" >&2
        exit 1
    fi
done

# ---- Wine ----
rm -rf "$work"
mkdir -p "$work/run"
# Wine's menu builder would copy every Start-menu shortcut into this machine's own menus.
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=d
program_pid=
finish() {
    if [ -n "$program_pid" ]; then
        kill "$program_pid" 2>/dev/null || true
    fi
    "$wineserver" -k 2>/dev/null || true
}
trap finish EXIT
# A step that hangs (a message box nobody answers) fails instead of stopping the build.
wine_run() {
    timeout 300 "$wine" "$@"
}
wine_run wineboot -i >/dev/null 2>&1
"$wineserver" -w

# A Windows path of the prefix as a path here.
unix_path() {
    wine_run winepath -u "$1" 2>/dev/null | tr -d '\r'
}
# The value of an environment variable in Windows.
windows_variable() {
    wine_run cmd /c "echo %$1%" 2>/dev/null | tr -d '\r'
}

# Runs a Windows command line as it is written (NSIS wants _?= and /D= unquoted, also with spaces, which
# Wine's own quoting of arguments would put in quotes) and returns its exit code.
raw_run() {
    printf '@%s\r\n@exit /b %%errorlevel%%\r\n' "$1" >"$work/run/raw.bat"
    wine_run cmd /c "$(windows_of "$work/run/raw.bat")" >/dev/null 2>&1
}
windows_of() {
    wine_run winepath -w "$1" 2>/dev/null | tr -d '\r'
}

local_app_data="$(windows_variable LOCALAPPDATA)"
app_data="$(windows_variable APPDATA)"
program_files="$(windows_variable ProgramFiles)"
program_data="$(windows_variable ProgramData)"
user_dir="$local_app_data\\Programs\\Quorvane"
user_menu="$app_data\\Microsoft\\Windows\\Start Menu\\Programs"
all_dir="$program_files\\Quorvane"
all_menu="$program_data\\Microsoft\\Windows\\Start Menu\\Programs"
custom_dir='C:\Quorvane test\Quorvane'
user_folder="$(unix_path "$app_data")/Quorvane"

# ---- Checks ----
failures=0
check() {
    local what="$1"
    shift
    if "$@"; then
        echo "installer-test: ok    $what"
    else
        echo "installer-test: FAIL  $what"
        failures=$((failures + 1))
    fi
}

# Details under a check's line.
indent() {
    sed 's/^/  /'
}

# The names the list ships.
mapfile -t names < <(sed -e 's/\r$//' -e '/^[[:space:]]*#/d' -e '/^[[:space:]]*$/d' "$list" | awk '{ print $3 }')

# Every file of the list in folder $1, as staged, and nothing else but the uninstaller.
installed_as_listed() {
    local dir release
    dir="$(unix_path "$1")"
    for release in "${names[@]}"; do
        cmp -s "$stage/$release" "$dir/$release" || { echo "  $release missing or not as released"; return 1; }
    done
    [ -f "$dir/uninstall.exe" ] || { echo "  no uninstall.exe"; return 1; }
    local others
    others="$(diff <(printf '%s\n' "${names[@]}" uninstall.exe | sort) \
        <(cd "$dir" && find . -type f | sed 's|^\./||' | sort))" || { indent <<<"$others"; return 1; }
}

# The value $2 of the uninstaller entry under $1 (HKCU or HKLM); empty when there is none.
entry() {
    wine_run reg query "$1\\$key" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2  *REG_[A-Z_]*  *//p"
}
has_entry() {
    wine_run reg query "$1\\$key" >/dev/null 2>&1
}
no_entry() {
    ! has_entry "$1"
}
entry_is() {
    [ "$(entry "$1" "$2")" = "$3" ] || { echo "  $1 $2 is '$(entry "$1" "$2")', not '$3'"; return 1; }
}

# The folder context menu's text and its command under $1 (HKCU or HKLM); empty when there is none.
menu_value() {
    wine_run reg query "$1\\$menu_key$2" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default)  *REG_SZ  *//p'
}
menu_starts() {
    local text command
    text="$(menu_value "$1" "")"
    command="$(menu_value "$1" '\command')"
    case "$text" in "Make wallpapers"* | "Сделать обои"*) ;; *) echo "  menu text '$text'"; return 1 ;; esac
    [ "$command" = "\"$2\\quorvane.exe\" --user-folder \"%1\"" ] || { echo "  command '$command'"; return 1; }
}

# A shortcut $1 that starts quorvane.exe of folder $2 with --user-folder (the link's texts are UTF-16).
shortcut_starts() {
    local link
    link="$(unix_path "$1")"
    [ -f "$link" ] && tr -d '\0' <"$link" | grep -aqF -- '--user-folder' &&
        tr -d '\0' <"$link" | grep -aqiF -- "$2\\quorvane.exe"
}
exists() {
    [ -e "$(unix_path "$1")" ]
}
missing() {
    ! exists "$1"
}
not_installed_per_user() {
    missing "$user_dir" && missing "$user_menu\\Quorvane.lnk" && no_entry HKCU && [ -z "$(menu_value HKCU '')" ]
}
not_installed_for_all_users() {
    missing "$all_dir" && missing "$all_menu\\Quorvane.lnk" && no_entry HKLM && [ -z "$(menu_value HKLM '')" ]
}

# What an installation could leave: every file and folder of drive C but Windows' own, the temporary ones
# and the per-user programs folder (which the system shares among the programs installed per user), and
# what the registry holds of Quorvane (read once Wine's server has saved it, on ending).
state() {
    "$wineserver" -w
    (cd "$WINEPREFIX/drive_c" && find . -path ./windows -prune -o -path '*/Temp' -prune -o -print |
        grep -vE '^\./users/[^/]+/AppData/Local/Programs$' | sort)
    grep -i quorvane "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" || true
}
# The files of drive C (as above) with their sizes and times, and the uninstaller entries, while a program
# runs.
live_state() {
    (cd "$WINEPREFIX/drive_c" && find . -path ./windows -prune -o -path '*/Temp' -prune -o -type f \
        -printf '%p %s %T@\n' | sort)
    local root
    for root in HKCU HKLM; do
        wine_run reg query "$root\\$key" 2>/dev/null | tr -d '\r' || true
    done
}
# Whether nothing is left but what was there before.
nothing_left() {
    local changes
    changes="$(diff <(echo "$baseline") <(state))" || { indent <<<"$changes"; return 1; }
}

# Runs the uninstaller as Apps & features does (QuietUninstallString) and waits until it is done.
quiet_uninstall() {
    local line
    line="$(entry "$1" QuietUninstallString)"
    [ -n "$line" ] || return 1
    raw_run "$line" || return 1
    "$wineserver" -w
}

# Whether quorvane.exe runs, as the installer tells it (a probe that opens the same mutex).
cat >"$work/probe.nsi" <<'EOF'
Unicode true
Target amd64-unicode
OutFile probe.exe
SilentInstall silent
RequestExecutionLevel user
Section
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "Local\Quorvane-running") p.r0'
    StrCmp $0 0 0 +3
        SetErrorLevel 1
        Return
    System::Call 'kernel32::CloseHandle(p r0)'
    SetErrorLevel 0
SectionEnd
EOF
(cd "$work" && makensis -V2 probe.nsi)
program_runs() {
    wine_run "$work/probe.exe"
}
program_ended() {
    ! program_runs
}
wait_for_program() {
    for _ in $(seq 60); do
        program_runs && return 0
        sleep 1
    done
    return 1
}

baseline="$(state)"

# ---- For the current user ----
check "per-user install (/S /CurrentUser) exits 0" wine_run "$setup" /S /CurrentUser
check "every listed file in $user_dir" installed_as_listed "$user_dir"
check "HKCU uninstaller entry with version $version" entry_is HKCU DisplayVersion "$version"
check "HKCU entry's InstallLocation is $user_dir" entry_is HKCU InstallLocation "$user_dir"
check "HKCU entry's QuietUninstallString" \
    entry_is HKCU QuietUninstallString "\"$user_dir\\uninstall.exe\" /CurrentUser /S"
check "shortcut in the user's Start menu starts quorvane.exe --user-folder" \
    shortcut_starts "$user_menu\\Quorvane.lnk" "$user_dir"
check "HKCU folder menu starts quorvane.exe --user-folder with the folder" menu_starts HKCU "$user_dir"
check "nothing for all users (Program Files, common Start menu, HKLM)" not_installed_for_all_users
check "silent uninstall (QuietUninstallString)" quiet_uninstall HKCU
check "per-user uninstall leaves nothing behind" nothing_left

# ---- For all users ----
check "all-users install (/S /AllUsers) exits 0" wine_run "$setup" /S /AllUsers
check "every listed file in $all_dir" installed_as_listed "$all_dir"
check "HKLM uninstaller entry with version $version" entry_is HKLM DisplayVersion "$version"
check "HKLM entry's InstallLocation is $all_dir" entry_is HKLM InstallLocation "$all_dir"
check "HKLM entry's QuietUninstallString" \
    entry_is HKLM QuietUninstallString "\"$all_dir\\uninstall.exe\" /AllUsers /S"
check "shortcut in the common Start menu starts quorvane.exe --user-folder" \
    shortcut_starts "$all_menu\\Quorvane.lnk" "$all_dir"
check "HKLM folder menu starts quorvane.exe --user-folder with the folder" menu_starts HKLM "$all_dir"
check "nothing per user (%LOCALAPPDATA%, the user's Start menu, HKCU)" not_installed_per_user
check "silent uninstall (QuietUninstallString)" quiet_uninstall HKLM
check "all-users uninstall leaves nothing behind" nothing_left

# ---- Upgrades ----
# The older version: the same installer and files, and one file that the new version no longer ships.
IFS=. read -r major minor patch <<<"$version"
if [ "$patch" -gt 0 ]; then
    older="$major.$minor.$((patch - 1))"
elif [ "$minor" -gt 0 ]; then
    older="$major.$((minor - 1)).0"
else
    older="$((major - 1)).0.0"
fi
echo "only in the older version" >"$work/older-only.txt"
awk -v file="$work/older-only.txt" '
    /^!macroend/ && ++n == 1 { print "    File \"/oname=$INSTDIR\\older-only.txt\" \"" file "\"" }
    /^!macroend/ && n == 2 { print "    Delete \"$INSTDIR\\older-only.txt\"" }
    { print }' "$nsh" >"$work/older-files.nsh"
older_setup="$work/quorvane-$older-win64-setup.exe"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$older" -DFILES="$work/older-files.nsh" -DOUTFILE="$older_setup" \
    "$root/packaging/windows/quorvane.nsi"

# The user's own folder, which no installer or uninstaller touches; and the folder the user chose to
# install into, whose parent is not the installation's.
mkdir -p "$user_folder" "$(dirname "$(unix_path "$custom_dir")")"
printf '[Test]\r\nKept-Phone 1000/2000\r\n' >"$user_folder/phone.ini"
cp "$user_folder/phone.ini" "$work/phone.ini"
user_folder_kept() {
    cmp -s "$work/phone.ini" "$user_folder/phone.ini"
}
baseline="$(state)"

check "older $older per user into '$custom_dir' (/S /CurrentUser /D=...)" \
    raw_run "\"$(windows_of "$older_setup")\" /S /CurrentUser /D=$custom_dir"
check "older version in the HKCU entry" entry_is HKCU DisplayVersion "$older"
custom_unix="$(unix_path "$custom_dir")"
printf 'changed\r\n' >>"$custom_unix/ReadMe.txt"
check "new version over it (/S, no kind or folder given) exits 0" wine_run "$setup" /S
check "HKCU entry has the new version $version" entry_is HKCU DisplayVersion "$version"
check "the remembered folder is used" entry_is HKCU InstallLocation "$custom_dir"
check "every listed file replaced, the older-only file gone" installed_as_listed "$custom_dir"
check "the default per-user folder unused" missing "$user_dir"
check "nothing for all users" not_installed_for_all_users
check "shortcut starts the upgraded quorvane.exe" shortcut_starts "$user_menu\\Quorvane.lnk" "$custom_dir"
check "%APPDATA%\\Quorvane\\phone.ini kept" user_folder_kept
check "silent uninstall" quiet_uninstall HKCU
check "%APPDATA%\\Quorvane\\phone.ini kept by the uninstaller" user_folder_kept
check "upgrade's uninstall leaves nothing else behind" nothing_left

check "older $older for all users (/S /AllUsers)" wine_run "$older_setup" /S /AllUsers
check "new version over it (/S) exits 0" wine_run "$setup" /S
check "it stays for all users: HKLM entry has $version" entry_is HKLM DisplayVersion "$version"
check "every listed file replaced in $all_dir, the older-only file gone" installed_as_listed "$all_dir"
check "nothing per user" not_installed_per_user
check "%APPDATA%\\Quorvane\\phone.ini kept" user_folder_kept
check "silent uninstall" quiet_uninstall HKLM
check "all-users upgrade's uninstall leaves nothing else behind" nothing_left
rm -rf "$user_folder"
baseline="$(state)"

# ---- From a folder's context menu ----
# The registered command, with the folder Explorer puts for %1, opens the window with it in the source box;
# closing the window writes the folders it showed into %APPDATA%\Quorvane\quorvane.ini.
check "per-user install for the context-menu test" wine_run "$setup" /S /CurrentUser
photos='C:\Photos to convert'
mkdir -p "$(unix_path "$photos")"
command="$(menu_value HKCU '\command')"
(raw_run "${command//%1/$photos}") &
program_pid=$!
check "the folder menu's command starts quorvane.exe" wait_for_program
sleep 3
wine_run taskkill /im quorvane.exe >/dev/null 2>&1 || true
wait "$program_pid" 2>/dev/null || true
program_pid=
shown_folder() {
    grep -aqF "$photos" "$user_folder/quorvane.ini"
}
check "its window showed '$photos' in the source box" shown_folder
rm -rf "$user_folder" "$(unix_path "$photos")"
check "silent uninstall" quiet_uninstall HKCU
check "folder menu gone with the uninstall" nothing_left

# ---- While quorvane.exe runs ----
check "per-user install for the running test" wine_run "$setup" /S /CurrentUser
(cd "$work/run" && QT_QPA_PLATFORM=offscreen exec "$wine" "$(unix_path "$user_dir")/quorvane.exe" \
    >"$work/program.log" 2>&1) &
program_pid=$!
check "quorvane.exe, started, announces that it runs" wait_for_program
before="$(live_state)"
# Whether the command fails with the installer's exit code for "quorvane.exe runs" (3) and changes nothing.
refused() {
    local status=0
    "$@" || status=$?
    [ "$status" -eq 3 ] || { echo "  exit code $status, not 3"; return 1; }
    [ "$(live_state)" = "$before" ] || { echo "  something changed"; return 1; }
}
check "silent install refused while it runs, nothing changed" refused wine_run "$setup" /S /CurrentUser
check "silent uninstall refused while it runs, nothing changed" \
    refused raw_run "\"$user_dir\\uninstall.exe\" /S _?=$user_dir"
kill "$program_pid" 2>/dev/null || true
wait "$program_pid" 2>/dev/null || true
program_pid=
check "quorvane.exe ended" program_ended
check "silent install succeeds once it has ended" wine_run "$setup" /S /CurrentUser
check "every listed file in $user_dir" installed_as_listed "$user_dir"
check "silent uninstall succeeds once it has ended" quiet_uninstall HKCU
check "uninstall leaves nothing behind" nothing_left

if [ "$failures" -ne 0 ]; then
    echo "installer-test: $failures check(s) failed; the Wine prefix stays in $WINEPREFIX" >&2
    exit 1
fi
"$wineserver" -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
echo "installer-test: every check passed"
