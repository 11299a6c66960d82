#!/bin/bash
# Installs the Debian packages the builds and tests need; quick when they are
# already there. Needs root (or sudo).
#
# A mirror in the middle of a sync may serve an index that does not match its
# Release file, and apt-get update then fails for that index only. That is a
# warning here: the installation goes on with the indexes that arrived, and
# fails only when a package the builds or tests need cannot be installed,
# saying which and why.
#
# The 32-bit end-to-end runs need the i386 architecture and the 32-bit Wine
# loader (wine32), whose i386 libraries must have the very versions of their
# amd64 twins. When the index of one suite arrived for amd64 but not for
# i386, apt would find no twin for the amd64 versions of that suite and
# offers to remove wine64 instead. Then wine32 is tried once more with both
# architectures taken from the suites whose indexes all arrived, downgrading
# amd64 packages to those suites' versions where the twins need it. A plan
# that removes any package is never carried out. When wine32 cannot be had,
# this only warns, and build/wine32-missing.txt says why for the tests.
set -u
root="$(cd "$(dirname "$0")/.." && pwd)"
packages=(cmake g++ make libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
          binutils-mingw-w64-x86-64 wine wine64 xvfb x11-apps imagemagick fonts-nanum locales zip clang)
wine32_package="wine32:i386"
# Kept whatever wine32 needs.
kept=("${packages[@]}" libwine:amd64)
wine32_note="$root/build/wine32-missing.txt"

say() { echo "install-deps: $*" >&2; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Whether both Wine loaders start; says which does not, and why.
report_loaders() {
    local loader started no32
    for loader in /usr/lib/wine/wine64 /usr/lib/wine/wine; do
        if [ ! -e "$loader" ]; then
            say "$loader is not there"
        elif started="$("$loader" --version 2>&1)"; then
            say "$loader starts: $started"
        elif [ "$loader" = /usr/lib/wine/wine ] && ! no32="$("$root/tools/runs-32bit.sh")"; then
            say "$loader does not start: $no32"
        else
            say "$loader does not start: $(echo "$started" | head -n 1)"
        fi
    done
}

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done
# The mingw compilers must really be there, not only registered.
reinstall=0
for tool in x86_64-w64-mingw32-g++-win32 i686-w64-mingw32-g++-win32 x86_64-w64-mingw32-windres i686-w64-mingw32-windres; do
    command -v "$tool" >/dev/null 2>&1 || reinstall=1
done
want32=0
installed "$wine32_package" || want32=1
if [ ${#missing[@]} -eq 0 ] && [ $reinstall -eq 0 ] && [ $want32 -eq 0 ]; then
    rm -f "$wine32_note"
    report_loaders
    exit 0
fi

if [ $want32 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386 || say "warning: the i386 architecture could not be added"
fi

# 1. The indexes. apt takes a suite's indexes all or none: one that fails
# leaves that suite as it was before the update, or missing when its lists
# were removed. Each failed one is named with apt's reason; its suite is
# kept as a "URI SUITE" pair for the second try of wine32.
failed_suites=""
if ! $SUDO apt-get update >"$work/update.log" 2>&1; then
    awk '/^Err:/ { name = $2 " " $3 " " $4 " " $5; sub(/ +$/, "", name); getline reason
                   sub(/^ +/, "", reason); print name ": " reason }' "$work/update.log" >"$work/failed.txt"
    failed_suites="$(awk '/^Err:/ { uri = $2; sub(/\/$/, "", uri); suite = $3; sub(/\/.*/, "", suite)
                                    print uri " " suite }' "$work/update.log" | sort -u)"
    say "warning: apt-get update did not fetch every index; going on with those that arrived."
    if [ -s "$work/failed.txt" ]; then
        say "these did not arrive:"
        sed 's/^/install-deps:     /' "$work/failed.txt" >&2
    else
        grep -E '^(E|W): ' "$work/update.log" | head -n 5 | sed 's/^/install-deps:     /' >&2
    fi
fi

# Simulates an installation: true when apt has a plan that removes nothing.
# The plan is left in $work/plan.log.
plan_removes_nothing() {
    apt-get -s "$@" >"$work/plan.log" 2>&1 && ! grep -q '^Remv ' "$work/plan.log"
}

# Why a plan cannot be carried out, in a line.
plan_refusal() {
    if grep -q '^Remv ' "$work/plan.log"; then
        echo "it would remove $(grep '^Remv ' "$work/plan.log" | awk '{print $2}' | tr '\n' ' ' | sed 's/ $//')"
    else
        # An i386 package's unmet dependency says most; apt lists others first.
        { grep -E '^ [^ ]+:i386 : ' "$work/plan.log"; grep -E '^ [^ ]+ : |^E: ' "$work/plan.log"; } | head -n 2 |
            sed -E 's/^ +//; s/ +/ /g' | tr '\n' ';' | sed 's/;$//; s/;/; /g'
    fi
}

# Which of these packages cannot be installed, and why; one line each.
explain_missing() {
    local p candidate
    for p in "$@"; do
        installed "$p" && continue
        candidate="$(apt-cache policy "$p" 2>/dev/null | awk '/Candidate:/ {print $2}')"
        if [ -z "$candidate" ] || [ "$candidate" = "(none)" ]; then
            say "$p cannot be installed: no package index that arrived offers it"
        else
            say "$p cannot be installed: $(grep -E "^ ?$p[ :]|^E: " "$work/install.log" | head -n 2 | tr '\n' ' ')"
        fi
    done
}

# 2. What the builds and tests need.
if [ ${#missing[@]} -gt 0 ] || [ $reinstall -eq 1 ]; then
    extra=()
    [ $reinstall -eq 1 ] && extra=(--reinstall g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32
        gcc-mingw-w64-i686-win32 gcc-mingw-w64-x86-64-win32 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64)
    if ! plan_removes_nothing install -y "${packages[@]}"; then
        cp "$work/plan.log" "$work/install.log"
        say "the packages the builds and tests need cannot be installed: $(plan_refusal)"
        explain_missing "${packages[@]}"
        exit 1
    fi
    if ! $SUDO apt-get install -y -qq "${packages[@]}" >"$work/install.log" 2>&1 ||
       { [ $reinstall -eq 1 ] && ! $SUDO apt-get install -y -qq "${extra[@]}" >>"$work/install.log" 2>&1; }; then
        say "the installation failed:"
        tail -n 5 "$work/install.log" | sed 's/^/install-deps:     /' >&2
        explain_missing "${packages[@]}"
        exit 1
    fi
fi

# Sources without the suites named in $failed_suites, in $work/sources: one
# file of one-line entries and a folder of deb822 ones.
write_same_suite_sources() {
    mkdir -p "$work/sources/parts"
    local file
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
        awk -v failed="$failed_suites" '
            BEGIN { n = split(failed, f, "\n"); for (i = 1; i <= n; i++) bad[f[i]] = 1 }
            /^[ \t]*deb(-src)?[ \t]/ {
                i = 2
                if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
                uri = $i; sub(/\/$/, "", uri)
                if ((uri " " $(i + 1)) in bad) next
            }
            { print }' >"$work/sources/sources.list"
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -e "$file" ] || continue
        awk -v failed="$failed_suites" '
            BEGIN { n = split(failed, f, "\n"); for (i = 1; i <= n; i++) bad[f[i]] = 1 }
            function flush(   i, j, u, s, nu, ns, keep, kept) {
                if (count == 0) return
                nu = split(uris, u, " "); ns = split(suites, s, " "); kept = ""
                for (j = 1; j <= ns; j++) {
                    keep = 1
                    for (i = 1; i <= nu; i++) { sub(/\/$/, "", u[i]); if ((u[i] " " s[j]) in bad) keep = 0 }
                    if (keep) kept = kept " " s[j]
                }
                if (kept != "" || suites_line == 0) {
                    for (i = 1; i <= count; i++) print (i == suites_line ? "Suites:" kept : line[i])
                    print ""
                }
                count = 0; uris = ""; suites = ""; suites_line = 0
            }
            /^[ \t]*$/ { flush(); next }
            {
                line[++count] = $0
                if ($1 == "URIs:") { uris = $0; sub(/^URIs:[ \t]*/, "", uris) }
                if ($1 == "Suites:") { suites = $0; sub(/^Suites:[ \t]*/, "", suites); suites_line = count }
            }
            END { flush() }' "$file" >"$work/sources/parts/$(basename "$file")"
    done
}

# The amd64 packages wine32's i386 ones must match (Multi-Arch: same) whose
# installed version no suite of these sources offers, each as
# NAME:amd64=VERSION with the highest version they do offer; a line
# "NAME: none" for one they do not offer at all.
twins_to_take_back() {
    local sources=("$@") needed
    needed="$(apt-cache "${sources[@]}" depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
                  --no-replaces --no-enhances "$wine32_package" 2>/dev/null | sed -n 's/^\([^ <][^ ]*\):i386$/\1/p' |
              sort -u)"
    dpkg-query -W -f='${Package} ${Architecture} ${Version} ${Multi-Arch} ${db:Status-Abbrev}\n' 2>/dev/null |
        awk '$2 == "amd64" && $4 == "same" && $5 ~ /^ii/ { print $1, $3 }' | sort >"$work/same.txt"
    echo "$needed" | join - "$work/same.txt" >"$work/twins.txt"
    [ -s "$work/twins.txt" ] || return 0
    # shellcheck disable=SC2046
    apt-cache "${sources[@]}" madison $(awk '{print $1}' "$work/twins.txt") 2>/dev/null |
        awk -F'|' '$3 ~ / amd64 Packages/ { gsub(/ /, "", $1); gsub(/ /, "", $2); print $1, $2 }' >"$work/offered.txt"
    awk 'NR == FNR { offered[$1] = offered[$1] " " $2 " "; if (!($1 in best)) best[$1] = $2; next }
         index(offered[$1], " " $2 " ") == 0 { print ($1 in best) ? $1 ":amd64=" best[$1] : $1 ": none" }' \
        "$work/offered.txt" "$work/twins.txt"
}

# 3. wine32, as things stand; otherwise from the same suites for both
# architectures, with the amd64 twins its i386 packages need taken to those
# suites' versions. Prints why not when it cannot be had.
install_wine32() {
    if plan_removes_nothing install -y "$wine32_package"; then
        $SUDO apt-get install -y -qq "$wine32_package" >"$work/install.log" 2>&1 && return 0
        echo "apt-get install failed: $(grep '^E: ' "$work/install.log" | head -n 2 | tr '\n' ' ')"
        return 1
    fi
    local first
    first="$(plan_refusal)"
    if [ -z "$failed_suites" ]; then
        echo "$first"
        return 1
    fi
    write_same_suite_sources
    local same=(-o "Dir::Etc::SourceList=$work/sources/sources.list" -o "Dir::Etc::SourceParts=$work/sources/parts")
    local request=("$wine32_package") twins
    twins="$(twins_to_take_back "${same[@]}")"
    if echo "$twins" | grep -q ': none$'; then
        echo "$first; the suites whose indexes all arrived do not offer $(echo "$twins" | sed -n 's/: none$//p' |
              tr '\n' ' ')"
        return 1
    fi
    # shellcheck disable=SC2206
    request+=($twins)
    # What else would have to go for them is taken to those suites' version
    # too, and what one of them wants in its exact version gets that version;
    # otherwise nothing is done.
    local round added p wanted
    for round in 1 2 3 4 5 6; do
        plan_removes_nothing "${same[@]}" install -y --allow-downgrades "${request[@]}" && break
        added=0
        for wanted in $( { grep '^Remv ' "$work/plan.log" | awk '{print $2}' | while read -r p; do
                               echo "$p=$(apt-cache "${same[@]}" madison "$p" 2>/dev/null | head -n 1 |
                                          awk -F'|' '{gsub(/ /, "", $2); print $2}')"
                           done
                           sed -nE 's/.*Depends: ([^ ]+) \(= ([^)]+)\) but [^ ]+ is to be installed$/\1=\2/p' \
                               "$work/plan.log"; } | grep -v '=$' | sort -u); do
            printf '%s\n' "${request[@]}" | grep -q "^${wanted%%=*}=" && continue
            request+=("$wanted")
            added=1
        done
        [ $added -eq 1 ] || break
    done
    if ! plan_removes_nothing "${same[@]}" install -y --allow-downgrades "${request[@]}"; then
        echo "$first; from the suites whose indexes all arrived: $(plan_refusal)"
        return 1
    fi
    say "wine32 from the suites whose indexes all arrived; installed packages changed to their versions:" \
        "$(grep -E '^Inst [^ ]+ \[' "$work/plan.log" | sed -E 's/^Inst ([^ ]+) \[([^]]+)\] \(([^ ]+).*/\1 \2 -> \3,/' |
           tr '\n' ' ' | sed 's/, $//')"
    if ! $SUDO apt-get "${same[@]}" install -y -qq --allow-downgrades "${request[@]}" >"$work/install.log" 2>&1; then
        echo "apt-get install failed: $(grep '^E: ' "$work/install.log" | head -n 2 | tr '\n' ' ')"
        return 1
    fi
}

if [ $want32 -eq 1 ]; then
    mkdir -p "$(dirname "$wine32_note")"
    if reason="$(install_wine32)"; then
        rm -f "$wine32_note"
    else
        echo "$reason" >"$wine32_note"
        say "warning: $wine32_package could not be installed: $reason"
        say "the 32-bit end-to-end runs will be skipped"
    fi
    for p in "${kept[@]}"; do
        if ! installed "$p"; then
            say "$p is no longer installed"
            exit 1
        fi
    done
fi
report_loaders
exit 0
