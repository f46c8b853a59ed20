#!/usr/bin/env bash
# package_test.sh [DIR]: makes the Debian package from the build in DIR (default out/) and checks
# it: its files are exactly the programs this build makes with their manuals and completion,
# and for the window its desktop entry and icons; its dependencies name the package of every
# library the programs link, and nothing else but what the window needs beside them; the
# programs run from an extracted copy, the window as its desktop entry starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(cd "${1:-$root/out}" 2>/dev/null && pwd || echo "${1:-$root/out}")

deb=$("$root/scripts/package.sh" "$dir" | tail -n 1)
dir=$(cd "$dir" && pwd)
echo "== checking $deb"
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
failures=0
fail() {
    echo "package check: $*" >&2
    failures=$((failures + 1))
}

expected_file=$dir/package-expected.txt
version=$(sed -n 's/^version //p' "$expected_file")
read -r -a programs <<<"$(sed -n 's/^programs //p' "$expected_file")"
# The icon theme's usual sizes, which every desktop finds its own in.
sizes=(16 22 24 32 48 64 128 256)
has_program() { [[ " ${programs[*]} " == *" $1 "* ]]; }
# The tool is always built: a check that expects no program would prove nothing.
has_program talvo || fail "the build in $dir makes no talvo"

# --- the files -------------------------------------------------------------------------------
expected=()
for program in "${programs[@]}"; do
    expected+=("/usr/bin/$program" "/usr/share/man/man1/$program.1.gz")
    case $program in
        talvo | ordelin-batch) expected+=("/usr/share/bash-completion/completions/$program") ;;
        ordelin)
            expected+=(/usr/share/applications/ordelin.desktop
                /usr/share/icons/hicolor/scalable/apps/ordelin.svg)
            for size in "${sizes[@]}"; do
                expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/ordelin.png")
            done
            ;;
    esac
done
# Regular files and links only (directories end with a slash).
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort >"$work/contents"
printf '%s\n' "${expected[@]}" | sort >"$work/expected"
while read -r missing; do fail "missing $missing"; done < <(comm -13 "$work/contents" "$work/expected")
while read -r extra; do fail "not expected: $extra"; done < <(comm -23 "$work/contents" "$work/expected")

# --- the control fields ----------------------------------------------------------------------
[[ $(dpkg-deb -f "$deb" Package) == ordelin ]] || fail "the package is not named ordelin"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] ||
    fail "package version $(dpkg-deb -f "$deb" Version), not $version"
depends=$(dpkg-deb -f "$deb" Depends)
declared() { [[ ", $depends," == *", $1 "* || ", $depends," == *", $1,"* || ", $depends," == *"| $1"* ]]; }

mkdir "$work/root"
dpkg-deb -x "$deb" "$work/root"
usr=$work/root/usr

# Every library a program links comes from a package the package depends on.
owners=()
for program in "${programs[@]}"; do
    binary=$usr/bin/$program
    [[ -x $binary ]] || { fail "$program is not an executable"; continue; }
    if readelf -d "$binary" | grep -qE '\((RPATH|RUNPATH)\)'; then
        fail "$program looks for libraries in a folder of its own: $(readelf -d "$binary" | grep -E 'RPATH|RUNPATH')"
    fi
    if grep -qF "$dir" "$binary"; then fail "$program names the build folder $dir"; fi
    ldd "$binary" >"$work/ldd" || fail "ldd cannot read $program"
    for library in $(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
        path=$(awk -v lib="$library" '$1 == lib && $2 == "=>" {print $3}' "$work/ldd")
        if [[ -z $path || $path == not ]]; then
            fail "$program: $library is not found"
            continue
        fi
        owner=$(dpkg -S "$path" 2>/dev/null || dpkg -S "$(readlink -f "$path")" 2>/dev/null ||
            dpkg -S "/usr$path" 2>/dev/null || true)
        owner=${owner%%:*}
        owners+=("$owner")
        if [[ -z $owner ]]; then
            fail "$program: no package holds $library ($path)"
        elif ! declared "$owner"; then
            fail "$program links $library of $owner, which Depends ($depends) does not name"
        fi
    done
done
# What no library names: the window's platform plugins. Nothing else may be pulled in.
needed=()
if has_program ordelin; then
    declared qt6-qpa-plugins || fail "the window's platform plugins (qt6-qpa-plugins) are not in Depends"
    needed+=(qt6-qpa-plugins)
fi
IFS=',|' read -r -a alternatives <<<"$depends"
for alternative in "${alternatives[@]}"; do
    read -r name _ <<<"$alternative"  # without its version
    [[ -z $name ]] && continue
    [[ " ${owners[*]} ${needed[*]} " == *" $name "* ]] ||
        fail "Depends names $name, which no program links and the window does not need"
done

# --- manuals, completion, desktop entry, icons -------------------------------------------------
for program in "${programs[@]}"; do
    page=$usr/share/man/man1/$program.1.gz
    [[ -f $page ]] || continue
    gzip -t "$page" || fail "the manual of $program is not a valid gzip file"
    title=$(zcat "$page" | head -n 1)
    name=${program^^}
    [[ $title == ".TH ${name//-/\\-} 1 "*"\"Ordelin $version\""* ]] ||
        fail "the manual of $program begins with \"$title\", not its title and version"
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
    [[ -z $warnings ]] || fail "the manual of $program has roff warnings: $warnings"
done
for program in talvo ordelin-batch; do
    completion=$usr/share/bash-completion/completions/$program
    [[ -f $completion ]] || continue
    bash -c "source '$completion' && complete -p $program" >/dev/null 2>&1 ||
        fail "the completion of $program does not register for $program"
done
if has_program ordelin; then
    entry=$usr/share/applications/ordelin.desktop
    desktop-file-validate "$entry" || fail "the desktop entry does not validate"
    read -r -a exec_words <<<"$(sed -n 's/^Exec=//p' "$entry")"
    [[ ${exec_words[*]} == "/usr/bin/ordelin --choose %f" ]] ||
        fail "the desktop entry runs \"${exec_words[*]}\", not the window's own chooser"
    [[ -x $work/root${exec_words[0]} ]] || fail "the desktop entry starts ${exec_words[0]}, which the package does not hold"
    [[ $(sed -n 's/^Icon=//p' "$entry") == ordelin ]] || fail "the desktop entry's icon is not ordelin"
    grep -q '^Categories=.*Utility;' "$entry" || fail "the desktop entry is not in the Utility category"
    for size in "${sizes[@]}"; do
        png=$usr/share/icons/hicolor/${size}x${size}/apps/ordelin.png
        [[ -f $png ]] || continue
        read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
            awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
        [[ $width == "$size" && $height == "$size" ]] || fail "the ${size}x$size icon is ${width}x$height"
    done
fi

# --- the programs, run from the extracted copy --------------------------------------------------
export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share TALVO_CONFIG=$work/talvo.ini
export QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME"
for program in "${programs[@]}"; do
    [[ -x $usr/bin/$program ]] || continue
    if ! shown=$("$usr/bin/$program" --version 2>&1); then
        fail "$program --version failed: $shown"
    elif [[ $shown != "$program $version"* ]]; then
        fail "$program --version shows \"$shown\", not $program $version"
    else
        echo "$program --version: $shown"
    fi
done
if [[ -x $usr/bin/talvo ]]; then
    "$usr/bin/talvo" gen "$work/CUST" --records 500 --deleted-every 7 >/dev/null &&
        "$usr/bin/talvo" check "$work/CUST" >/dev/null ||
        fail "the extracted talvo cannot make and check a data file"
fi
if [[ -x $usr/bin/ordelin ]]; then
    # As the menu starts it, on a machine without a display: it says so, and fails.
    status=0
    shown=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/ordelin" --choose 2>&1) ||
        status=$?
    [[ $status == 1 && $shown == *"no display"* ]] ||
        fail "ordelin --choose without a display ends with status $status: $shown"
fi
if [[ -x $usr/bin/ordelin-batch ]]; then
    if ! help=$("$usr/bin/ordelin-batch" --help 2>&1); then
        fail "ordelin-batch --help failed: $help"
    elif [[ $help != *--out* ]]; then
        fail "ordelin-batch --help does not describe --out"
    fi
fi

if ((failures > 0)); then
    echo "package check: $failures problem(s) in $deb" >&2
    exit 1
fi
echo "package check: $deb holds ${programs[*]} and everything they need"
