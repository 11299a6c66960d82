# Sourced by tools/build.sh, tools/release.sh and tools/test.sh (with $root
# set): SOURCE_DATE_EPOCH, unless set already, is the time of the last commit,
# so that two builds of one commit write the same times (the zip's file times,
# any __DATE__ the compiler meets). A tree that is not the top of a git
# checkout (a source archive, a copy) gets a fixed time instead, and the
# script says so: a zip built so matches only one built the same way.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    # git would answer for an enclosing repository as well; only our own counts.
    if [ "$(git -C "$root" rev-parse --show-toplevel 2>/dev/null)" = "$(cd "$root" && pwd -P)" ]; then
        SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct 2>/dev/null)" || SOURCE_DATE_EPOCH=""
    fi
    if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
        SOURCE_DATE_EPOCH=315532800  # 1980-01-01 00:00 UTC, the earliest time a zip holds
        echo "SOURCE_DATE_EPOCH: $root is no git checkout of its own (or git is missing); using $SOURCE_DATE_EPOCH (1980-01-01 00:00 UTC)" >&2
    fi
fi
export SOURCE_DATE_EPOCH
