#!/bin/sh
# What a power cut leaves of a PBS start-up, on a real file system, block by block.
#
#   powercut.sh CASE PROGRAM REPLAY     CASE is FILESYSTEM-ROUTE: ext4, xfs or btrfs; beside or
#                                       inplace (SQPATH.DAT with a second hard link)
#
# On the host it boots user-mode Linux with this script as the guest's first process, the host's
# own files as the guest's root. In the guest the device mapper's log-writes target records every
# write the file system sends to its disk while the real program starts in a PBS installation on
# it; REPLAY then gives a second disk each state a power cut could leave (at each flush and FUA
# write, and every eighth write between them), each mounted through a snapshot, so that the
# file system's own recovery leaves the state as it was for the next. Every state must hold
# SQPATH.DAT and SQMENU.DAT old or new, or mixed beside a complete backup of the old contents;
# whatever carries a backup's name must be the whole old contents; once start-up's rewrites have
# returned, both files are new. For the in-place route the program is then started again on a
# state that holds a backup, once on a device of the same number and once of another, as after a
# restart: it must leave both files new, with no backup left.
#
# Exit 0 when every state is right, 1 when one is not, 77 (skipped) when user-mode Linux cannot
# run here or this is not root.
set -u

kernel_modules=/usr/lib/uml/modules

if [ "$$" -ne 1 ]; then
    # ---- the host ----
    [ "$#" -eq 3 ] || { echo "usage: $0 FILESYSTEM-ROUTE PROGRAM REPLAY" >&2; exit 2; }
    skip() {
        echo "skipped: $*"
        exit 77
    }
    [ "$(id -u)" -eq 0 ] || skip "needs root: the guest's devices and mounts are root's"
    command -v linux.uml >/dev/null || skip "no user-mode Linux (Debian's user-mode-linux)"
    [ -d "$kernel_modules" ] || skip "no modules of user-mode Linux in $kernel_modules"
    fs=${1%-*}
    route=${1#*-}
    # The smallest sizes each file system takes, with room for the installation.
    case $fs in
        ext4) size=64M ;;
        xfs) size=300M ;;
        btrfs) size=256M ;;
        *) echo "unknown file system: $fs" >&2; exit 2 ;;
    esac
    case $route in
        beside | inplace) ;;
        *) echo "unknown route: $route" >&2; exit 2 ;;
    esac
    dir=$(mktemp -d "${TMPDIR:-/tmp}/zelvoset-powercut.XXXXXX")
    # Kept for a look when ZELVOSET_KEEP is set.
    [ -n "${ZELVOSET_KEEP:-}" ] || trap 'rm -rf "$dir"' EXIT
    script=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
    # Sparse: the disks hold only what was written.
    truncate -s "$size" "$dir/data.img" "$dir/replay.img"
    truncate -s 1G "$dir/log.img"
    truncate -s 256M "$dir/cow.img"
    mkdir "$dir/mnt"
    cat >"$dir/case" <<EOF
fs=$fs
route=$route
program=$(readlink -f "$2")
replay=$(readlink -f "$3")
EOF
    started=$(date +%s)
    # Kernel arguments of the form NAME=VALUE that the kernel does not know reach the first
    # process as its environment.
    # Its memory is a file in TMPDIR: on tmpfs, not on a disk.
    TMPDIR=/dev/shm timeout 600 linux.uml mem=768M root=/dev/root rootfstype=hostfs rootflags=/ rw quiet \
        init="$script" zelvoset_case="$dir" \
        ubd0="$dir/data.img" ubd1="$dir/log.img" ubd2="$dir/replay.img" ubd3="$dir/cow.img" \
        con=null con0=null,fd:1 >"$dir/console" 2>&1 </dev/null
    if [ ! -e "$dir/booted" ]; then
        tail -n 20 "$dir/console"
        skip "user-mode Linux did not start"
    fi
    cat "$dir/report" 2>/dev/null
    echo "($fs $route: $(($(date +%s) - started)) s)"
    if [ "$(cat "$dir/result" 2>/dev/null)" = pass ]; then
        exit 0
    fi
    echo "FAILED; the guest's last words:"
    tail -n 30 "$dir/console"
    exit 1
fi

# ---- the guest ----
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
dir=$zelvoset_case
. "$dir/case"
touch "$dir/booted"
exec >>"$dir/console" 2>&1
trap 'sync; halt -f' EXIT
mount -t proc proc /proc
mount -t sysfs sys /sys

fail() {
    echo "$*" | tee -a "$dir/report"
    echo fail >"$dir/result"
    exit 1
}

modules=$kernel_modules/$(uname -r)/kernel/drivers/md
for module in dm-mod dm-bufio dm-snapshot dm-log-writes; do
    insmod "$modules/$module.ko" || fail "cannot load $module"
done
major=$(awk '$2 == "device-mapper" { print $1 }' /proc/devices)
sectors=$(blockdev --getsz /dev/ubda)
log=/dev/ubdb
replay_disk=/dev/ubdc
mnt=$dir/mnt
install=$mnt/zelvo
# The device numbers of the first run: a run again on the same number finds what it left as
# if nothing had happened; one on another is what a restart may bring.
first_minor=10

# map NAME MINOR TABLE...: a device-mapper device with a number of our choosing, as
# /dev/dm-MINOR (the kernel's own node: no udev here to make one under /dev/mapper).
map() {
    name=$1 minor=$2
    shift 2
    dmsetup create "$name" --noudevsync -j "$major" -m "$minor" --table "0 $sectors $*"
}

unmap() {
    dmsetup remove --noudevsync "$1"
}

# Unmounts once the last process of the program's is gone from the folder (a launched script's
# shell may outlive the program by a moment).
unmount() {
    tries=0
    until umount "$mnt" 2>/dev/null; do
        [ "$tries" -lt 300 ] || { umount "$mnt"; return 1; }
        sleep 0.1
        tries=$((tries + 1))
    done
}

mount_fs() {
    case $fs in
        # Without it ext4 puts a file's blocks on disk before a rename over another that only
        # its own delayed allocation would have left unwritten: a missing sync would be hidden.
        ext4) mount -o noauto_da_alloc "$1" "$mnt" ;;
        *) mount "$1" "$mnt" ;;
    esac
}

# The installation's own files, old and as start-up must leave them.
make_files() {
    awk -v dir="$dir" 'BEGIN {
        for (i = 0; i < 60000; i++) {
            line = (i % 3 == 0 ? "00SV" : "PATH") sprintf("%06d C:\\ZELVO\\DATA\\SET%06d", i, i)
            printf "%s\r\n", line >(dir "/SQPATH.old")
            if (i % 3 != 0)
                printf "%s\r\n", line >(dir "/SQPATH.new")
        }
        for (i = 0; i < 2000; i++) {
            line = (i % 2 == 0 ? "TB" : "MN") sprintf("%05d Menu entry %05d", i, i)
            printf "%s\r\n", line >(dir "/SQMENU.old")
            if (i % 2 != 0)
                printf "%s\r\n", line >(dir "/SQMENU.new")
        }
    }'
}

install_zelvo() {
    mkdir "$install"
    cp "$program" "$install/Zelvoset"
    printf 'PBS\r\n' >"$install/PBS.BAT"
    # svpath.bat starts only once the cleaning has returned: its mark in the log is where every
    # state must hold the new files.
    cat >"$install/svpath.bat" <<EOF
dmsetup message zlog 0 mark rewritten 2>/dev/null
echo svpath.bat >>"$dir/launched"
EOF
    echo "echo vlkreset.bat \"\$@\" >>\"$dir/launched\"" >"$install/vlkreset.bat"
    cp "$dir/SQPATH.old" "$install/SQPATH.DAT"
    cp "$dir/SQMENU.old" "$install/SQMENU.DAT"
    [ "$route" = beside ] || ln "$install/SQPATH.DAT" "$install/SQPATH.LNK"
}

# Starts the program in the installation and ends it once its start-up has launched both
# scripts, the last thing start-up does.
run_program() {
    rm -f "$dir/launched"
    mkdir -p "$dir/run" && chmod 700 "$dir/run"
    (cd "$install" && exec env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$dir/run" \
        HOME="$dir" ./Zelvoset >"$dir/program.log" 2>&1) &
    pid=$!
    waited=0
    until grep -q vlkreset "$dir/launched" 2>/dev/null; do
        # Bounded far beyond the seconds it takes: a start-up that never launches is a failure.
        [ "$waited" -lt 1200 ] || { kill -9 "$pid"; fail "the program did not finish its start-up"; }
        sleep 0.1
        waited=$((waited + 1))
    done
    kill -9 "$pid"
    wait "$pid" 2>/dev/null
}

# The digests of the contents a state may hold: one program per state instead of one per
# comparison, which in the guest cost a tenth of a second each.
digest_of() {
    sha1sum <"$1" | cut -d' ' -f1
}

# Checks the mounted state; AFTER says that start-up's rewrites had returned. Writes one line
# to FILE: the kinds of SQPATH.DAT and SQMENU.DAT (old, new, mixed) and the number of backups.
check_state() {
    after=$1 what=$2
    SQPATH=missing SQMENU=missing backups=0 backed=
    sha1sum -- "$install"/*.DAT "$install"/*.zelvoset-backup-* >"$dir/sums" 2>/dev/null
    while read -r sum name; do
        name=${name##*/}
        case $name in
            SQPATH.DAT | SQMENU.DAT)
                file=${name%.DAT}
                eval "old=\$${file}_old new=\$${file}_new"
                if [ "$sum" = "$old" ]; then
                    kind=old
                elif [ "$sum" = "$new" ]; then
                    kind=new
                else
                    kind=mixed
                fi
                eval "$file=$kind"
                ;;
            SQPATH.DAT.zelvoset-backup-* | SQMENU.DAT.zelvoset-backup-*)
                file=${name%%.DAT.*}
                backups=$((backups + 1))
                backed="$backed $file"
                eval "old=\$${file}_old"
                [ "$sum" = "$old" ] ||
                    fail "$what: $name is not the whole old $file.DAT ($(stat -c %s "$install/$name") bytes)"
                ;;
        esac
    done <"$dir/sums"
    for file in SQPATH SQMENU; do
        eval "kind=\$$file"
        case $kind in
            old | new) ;;
            # Beside a complete backup: the next start puts it back.
            mixed)
                case $backed in
                    *$file*) ;;
                    *) fail "$what: $file.DAT is mixed ($(stat -c %s "$install/$file.DAT") bytes) with no backup" ;;
                esac
                ;;
            *) fail "$what: $file.DAT is $kind" ;;
        esac
        [ "$after" = no ] || [ "$kind" = new ] ||
            fail "$what: $file.DAT is $kind after start-up's rewrites returned"
    done
    [ "$after" = no ] || [ "$backups" -eq 0 ] ||
        fail "$what: a backup is left after start-up's rewrites returned"
    echo "$SQPATH $SQMENU $backups" >"$3"
}

# ---- the run, recorded ----
make_files
for file in SQPATH SQMENU; do
    eval "${file}_old=$(digest_of "$dir/$file.old") ${file}_new=$(digest_of "$dir/$file.new")"
done
map zlog "$first_minor" log-writes /dev/ubda "$log" || fail "no log-writes device"
case $fs in
    ext4) mkfs.ext4 -q -F -E nodiscard,lazy_itable_init=0,lazy_journal_init=0 /dev/dm-$first_minor ;;
    # xfsprogs refuses file systems under 300 MB but for its own tests.
    xfs) TEST_DIR=1 mkfs.xfs -q -f -K /dev/dm-$first_minor ;;
    btrfs) mkfs.btrfs -q -f -K /dev/dm-$first_minor ;;
esac || fail "mkfs.$fs failed"
mount_fs /dev/dm-$first_minor || fail "cannot mount the new $fs"
install_zelvo
sync
device=$(stat -c %d "$install/SQPATH.DAT")
dmsetup message zlog 0 mark ready
run_program
unmount || fail "cannot unmount after the run"
unmap zlog || fail "cannot remove the log-writes device"

# ---- every state a power cut could leave ----
"$replay" list "$log" >"$dir/entries" || fail "the log cannot be read"
ready=$(awk '$4 == "ready" { print $1 }' "$dir/entries")
rewritten=$(awk '$4 == "rewritten" { print $1 }' "$dir/entries")
[ -n "$ready" ] && [ -n "$rewritten" ] || fail "the log lacks the marks of the run"
# From the installation on: each flush or FUA write, the mark, every eighth write between; each
# with where the entry after it lies in the log, to go on from there.
awk -v ready="$ready" '{ at[$1] = $3; kinds[$1] = $2; last = $1 }
END {
    for (n = ready + 1; n <= last; n++)
        if (kinds[n] ~ /[FUM]/ || ++writes % 8 == 0 || n == last) {
            print n, (n < last ? at[n + 1] : 0)
            writes = 0
        }
}' "$dir/entries" >"$dir/states"
"$replay" apply "$log" "$replay_disk" 0 "$((ready + 1))" || fail "cannot replay"
applied=$((ready + 1))
applied_at=$(awk -v n="$applied" '$1 == n { print $3 }' "$dir/entries")
: >"$dir/kinds"
while read -r state next_at; do
    "$replay" apply "$log" "$replay_disk" "$applied" "$((state + 1))" "$applied_at" ||
        fail "cannot replay"
    applied=$((state + 1)) applied_at=$next_at
    after=no
    [ "$state" -lt "$rewritten" ] || after=yes
    map zsnap 20 snapshot "$replay_disk" /dev/ubdd N 8 || fail "no snapshot of state $state"
    mount_fs /dev/dm-20 || fail "state $state: the $fs does not mount"
    check_state "$after" "state $state" "$dir/kind"
    read -r kinds <"$dir/kind"
    echo "$kinds" >>"$dir/kinds"
    # For the run after a restart: a state with a backup, best one whose file is mixed.
    case $kinds in
        *mixed*) [ -n "${mixed_state:-}" ] || mixed_state=$state ;;
        *" 0") ;;
        *) backup_state=$state ;;
    esac
    unmount || fail "state $state: cannot unmount"
    unmap zsnap || fail "state $state: cannot remove the snapshot"
done <"$dir/states"

count() {
    awk -v field="$1" -v kind="$2" '$field == kind { n++ } END { print n + 0 }' "$dir/kinds"
}
{
    echo "$fs $route: $(wc -l <"$dir/states") states checked, $(awk -v r="$rewritten" '$1 >= r' "$dir/states" | wc -l) of them after the rewrites returned (all new)"
    echo "  SQPATH.DAT: old $(count 1 old), new $(count 1 new), mixed beside a complete backup $(count 1 mixed)"
    echo "  SQMENU.DAT: old $(count 2 old), new $(count 2 new), mixed beside a complete backup $(count 2 mixed)"
    echo "  states holding a backup, each the whole old contents: $(awk '$3 > 0' "$dir/kinds" | wc -l)"
} >>"$dir/report"

# ---- the next start, after a power cut ----
if [ "$route" = inplace ]; then
    recovery_state=${mixed_state:-${backup_state:-}}
    [ -n "$recovery_state" ] || fail "no state holds a backup"
    # Each start runs on a snapshot of the state: the second finds it as the first did.
    "$replay" reset "$log" "$replay_disk" &&
        "$replay" apply "$log" "$replay_disk" 0 "$((recovery_state + 1))" || fail "cannot replay"
    for minor in "$first_minor" $((first_minor + 1)); do
        # Btrfs numbers each mount itself, the lowest number free: one more mount before it
        # gives it another, as a restart may.
        [ "$minor" = "$first_minor" ] || { mkdir -p "$dir/spare" && mount -t tmpfs spare "$dir/spare"; }
        map zrec "$minor" snapshot "$replay_disk" /dev/ubdd N 8 || fail "no snapshot to start again on"
        mount_fs /dev/dm-$minor || fail "the state to start again on does not mount"
        now=$(stat -c %d "$install/SQPATH.DAT")
        if [ "$minor" = "$first_minor" ]; then
            which="the same device"
            [ "$now" = "$device" ] || fail "the same device came out as another ($device, $now)"
        else
            which="another device"
            [ "$now" != "$device" ] || fail "another device came out as the same ($device)"
        fi
        check_state no "start again on $which" "$dir/kind"
        read -r before <"$dir/kind"
        run_program
        unmount && mount_fs /dev/dm-$minor || fail "cannot mount again after the start"
        check_state yes "after starting again on $which" /dev/null
        echo "  started again on $which (state $recovery_state:$before): both files new, no backup left" >>"$dir/report"
        unmount && unmap zrec || fail "cannot remove the device of the start again"
    done
fi
echo pass >"$dir/result"
