#!/bin/bash
# The installer package under Wine's msiexec, end to end. Runs on an X
# display (the agent's hidden window needs one): ctest starts it under
# xvfb-run.
#
#   installer_wine_test.sh RUN_WINE WINE_DIR PACKAGE OLDER_PACKAGE STAGE_DIR WINDOW_TOOL_EXE
#                          SHORTCUT_TOOL_EXE
#
# 1. The older package installs; the package replaces it (major upgrade);
#    the older one then refuses to install over it.
# 2. What the package added: the files (as staged), the Run value, the event
#    sources with the message file, the Start-menu shortcuts (the agent's
#    with the application id of its toasts).
# 3. The agent starts from the command of the Run value, with a file-logging
#    policy, shows its window, writes its diagnostic log and ends when the
#    window is closed.
# 4. Uninstalling removes all of it; the user's diagnostic log stays.
#
# Every wait is bounded; every way out uninstalls what the test installed and
# removes the policy and the log it made.
set -u

if [ $# -ne 7 ]; then
    echo "usage: $0 RUN_WINE WINE_DIR PACKAGE OLDER_PACKAGE STAGE_DIR WINDOW_TOOL_EXE SHORTCUT_TOOL_EXE" >&2
    exit 2
fi
run_wine=$1 wine_dir=$2 package=$3 older=$4 stage=$5 window_tool=$6 shortcut_tool=$7

readonly limit=60
readonly install_dir='C:\Program Files\Arvek\Tidewatch'
readonly run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
readonly uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
readonly sources_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application'
readonly product_key='HKLM\Software\Policies\Arvek\Tidewatch Application'
readonly policy_key="$product_key\\Tidewatch"
readonly sources=("Arvek Tarnwall" Tidewatch Portolan)
readonly files=(Tidewatch.exe Portolan.exe ArvekEventMessages.dll PolicyDefinitions/tidewatch.admx
                PolicyDefinitions/en-US/tidewatch.adml)

drive_c="$wine_dir/prefix/drive_c"
unix_install_dir="$drive_c/Program Files/Arvek/Tidewatch"
agent=""

wine_run() { "$run_wine" "$wine_dir" "$@"; }
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
product_code() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }'; }
registered() { wine_run reg query "$uninstall_key\\$1" >/dev/null 2>&1; }
step() { echo "-- $*"; }

# The policy's keys go again unless they were there before.
product_key_existed=1
wine_run reg query "$product_key" >/dev/null 2>&1 || product_key_existed=0
code=$(product_code "$package")
older_code=$(product_code "$older")

# Wine's msiexec, quiet, with a verbose log beside the package's test folder.
msiexec() {
    local log="$wine_dir/msiexec-$1.log"
    shift
    timeout -k 5 "$limit" "$run_wine" "$wine_dir" msiexec "$@" /qn /l*v "$(windows_path "$log")"
}

cleanup() {
    if [ -n "$agent" ]; then
        kill -TERM "$agent" 2>/dev/null
        wait "$agent" 2>/dev/null
    fi
    registered "$code" && msiexec cleanup /x "$code"
    registered "$older_code" && msiexec cleanup-older /x "$older_code"
    wine_run reg delete "$policy_key" /f >/dev/null 2>&1
    [ "${product_key_existed:-1}" = 0 ] && wine_run reg delete "$product_key" /f >/dev/null 2>&1
    [ -n "${user_log:-}" ] && rm -f "$user_log"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

[ -n "$code" ] && [ -n "$older_code" ] || fail "no product code in the packages"
[ "$code" != "$older_code" ] || fail "both packages have the product code $code"

# The user's folders as Wine has them (from the prefix, before the agent runs).
profile=$(wine_run cmd /c echo %APPDATA% | tail -n 1)
[ -n "$profile" ] || fail "no APPDATA in the prefix"
unix_profile=$(WINEPREFIX="$wine_dir/prefix" winepath -u "$profile" 2>/dev/null)
[ -d "$unix_profile" ] || fail "the user's folder $profile is not in the prefix"
user_log="$unix_profile/arqLog/Tidewatch.log"
# A per-machine package puts its shortcuts in the Start menu of all users on
# Windows; Wine's msiexec puts them in the installing user's.
menus=("$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
       "$unix_profile/Microsoft/Windows/Start Menu/Programs")
# Each shortcut with its target and application id.
declare -A targets=(
    ["USB Type-C™ Information.lnk"]="$install_dir\\Portolan.exe"
    ["Toaster Message.lnk"]="$install_dir\\Tidewatch.exe"
)
declare -A app_ids=(
    ["USB Type-C™ Information.lnk"]=""
    ["Toaster Message.lnk"]="Arvek Notifications"
)

# Left-overs of an interrupted run would change every result.
cleanup
[ -e "$unix_install_dir" ] && fail "$install_dir exists before the test"

step "the older package installs"
msiexec older /i "$(windows_path "$older")" || fail "installing $older: msiexec ended with $?"
registered "$older_code" || fail "the older package is not registered after its install"

step "the package replaces it"
msiexec install /i "$(windows_path "$package")" || fail "installing $package: msiexec ended with $?"
registered "$code" || fail "the package is not registered after its install"
registered "$older_code" && fail "the older version is still registered after the upgrade"

step "the older package refuses to install over it"
msiexec downgrade /i "$(windows_path "$older")"
status=$?
[ "$status" -ne 0 ] || fail "the older package installed over the newer one"
# Refused by the launch condition that a newer version was found.
grep -q "Found application: $code" "$wine_dir/msiexec-downgrade.log" ||
    fail "the refused downgrade did not find the installed version"
registered "$older_code" && fail "the older version is registered after the refused downgrade"
registered "$code" || fail "the package is no longer registered after the refused downgrade"
echo "   msiexec ended with $status"

step "files, Run value, event sources, shortcuts"
for file in "${files[@]}"; do
    cmp -s "$stage/$file" "$unix_install_dir/$file" || fail "$install_dir\\$file is not the staged $file"
done
run_line=$(wine_run reg query "$run_key" /v Tidewatch | grep -E '^ +Tidewatch +REG_SZ +' ||
           fail "no Run value Tidewatch")
run_command=$(sed -E 's/^ +Tidewatch +REG_SZ +//' <<<"$run_line")
[ "$run_command" = "\"$install_dir\\Tidewatch.exe\"" ] || fail "the Run value is $run_command"
for source in "${sources[@]}"; do
    values=$(wine_run reg query "$sources_key\\$source") || fail "no event source \"$source\""
    grep -qE "^ +EventMessageFile +REG_EXPAND_SZ +${install_dir//\\/\\\\}\\\\ArvekEventMessages.dll$" <<<"$values" ||
        fail "event source \"$source\" without the message file: $values"
    grep -qE '^ +TypesSupported +REG_DWORD +0x7$' <<<"$values" || fail "event source \"$source\": $values"
done
for shortcut in "${!targets[@]}"; do
    found=""
    for menu in "${menus[@]}"; do
        [ -f "$menu/$shortcut" ] && found="$menu"
    done
    [ -n "$found" ] || fail "no shortcut \"$shortcut\" in the Start menu"
    echo "   $shortcut in ${found#"$wine_dir/"}"
    read_back=$(wine_run "$shortcut_tool" "$(windows_path "$found/$shortcut")") ||
        fail "could not read the shortcut \"$shortcut\""
    grep -qxF "target=${targets[$shortcut]}" <<<"$read_back" ||
        fail "shortcut \"$shortcut\": $read_back, expected the target ${targets[$shortcut]}"
    # Wine's shell link cannot read properties back; Windows' can.
    if grep -q '^appid-unreadable=' <<<"$read_back"; then
        echo "   its application id cannot be read here: $(grep '^appid-unreadable=' <<<"$read_back")"
    else
        grep -qxF "appid=${app_ids[$shortcut]}" <<<"$read_back" ||
            fail "shortcut \"$shortcut\": $read_back, expected the application id \"${app_ids[$shortcut]}\""
    fi
done

step "the agent starts from the Run value's command and logs to its file"
wine_run reg add "$policy_key" /v LoggingType /t REG_SZ /d FILE /f >/dev/null || fail "could not set LoggingType"
wine_run reg add "$policy_key" /v MinLogLevel /t REG_SZ /d TraceIn /f >/dev/null || fail "could not set MinLogLevel"
rm -f "$user_log"
program=${run_command//\"/}
timeout -k 5 180 "$run_wine" "$wine_dir" "$program" &
agent=$!
deadline=$((SECONDS + limit))
until wine_run "$window_tool" find TIDEWATCH; do
    kill -0 "$agent" 2>/dev/null || { wait "$agent"; fail "Tidewatch.exe ended with $? before its window appeared"; }
    [ "$SECONDS" -lt "$deadline" ] || fail "no TIDEWATCH window within $limit s"
    sleep 0.2
done
wine_run "$window_tool" close TIDEWATCH || fail "could not close the agent's window"
deadline=$((SECONDS + limit))
while kill -0 "$agent" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || fail "Tidewatch.exe did not end within $limit s"
    sleep 0.2
done
wait "$agent"
status=$?
agent=""
[ "$status" -eq 0 ] || fail "Tidewatch.exe ended with $status after WM_CLOSE"
grep -q '|TraceIn    |InitInstance|' "$user_log" 2>/dev/null || fail "no TraceIn line of InitInstance in $user_log"

step "uninstalling removes everything the package added"
msiexec uninstall /x "$code" || fail "uninstalling: msiexec ended with $?"
registered "$code" && fail "the package is still registered after its uninstall"
[ -e "$drive_c/Program Files/Arvek" ] && fail "C:\\Program Files\\Arvek is left: $(cd "$drive_c/Program Files" && find Arvek)"
wine_run reg query "$run_key" /v Tidewatch >/dev/null 2>&1 && fail "the Run value is left"
for source in "${sources[@]}"; do
    wine_run reg query "$sources_key\\$source" >/dev/null 2>&1 && fail "the event source \"$source\" is left"
done
for shortcut in "${!targets[@]}"; do
    for menu in "${menus[@]}"; do
        [ -e "$menu/$shortcut" ] && fail "the shortcut $menu/$shortcut is left"
    done
done
[ -s "$user_log" ] || fail "the user's diagnostic log is gone"

echo "PASS"
