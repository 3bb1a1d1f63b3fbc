#!/bin/sh
# Runs a command (by default the README's `make test`) in a fresh Debian 13
# (trixie) root, on a fresh clone of this checkout's commit: uncommitted
# changes do not count. CI runs it after `make test` on the Debian 12 host.
#
# The root's base (debootstrap --variant=minbase) is kept in
# /var/cache/wincue and made again when missing or broken; each run unpacks
# it afresh under /var/tmp/wincue-debian13 and removes it at the end. The
# root's /proc, /sys, /dev, /dev/pts, /dev/shm and /tmp (tmpfs) are mounted
# in a mount and PID namespace of the run's own: the mounts and every process
# left inside go with the run, also when it fails or is killed. Packages come
# from the host's own Debian mirror, read from its apt sources.
# Needs root or sudo, and git; installs debootstrap when it is missing.
set -eu
[ "$(id -u)" -eq 0 ] || exec sudo -- "$0" "$@"
[ $# -gt 0 ] || set -- make test

checkout=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$checkout" rev-parse HEAD)
cache=/var/cache/wincue
base=$cache/debian13-minbase.tar.gz
runs=/var/tmp/wincue-debian13
started=$(date +%s)

say() {
	echo "debian13: $* ($(($(date +%s) - started)) s)"
}

# "URI suite" for each Debian suite the host's apt sources name, one-line
# (sources.list) or deb822 (*.sources) alike.
host_sources() {
	awk '
	function flush(i, j) {
		if (types ~ /(^| )deb( |$)/ && enabled != "no")
			for (i = 1; i <= nu; i++)
				for (j = 1; j <= ns; j++)
					print u[i], s[j]
		types = enabled = ""
		nu = ns = 0
	}
	FNR == 1 { flush() }
	/^[ \t]*#/ { next }
	FILENAME ~ /\.list$/ {
		if ($1 != "deb")
			next
		i = 2
		if ($2 ~ /^\[/)
			while ($i !~ /\]$/)
				i++
		if ($2 ~ /^\[/)
			i++
		print $i, $(i + 1)
		next
	}
	/^[ \t]*$/ { flush(); next }
	{
		key = tolower($1)
		if (key == "types:")
			types = $0
		else if (key == "enabled:")
			enabled = tolower($2)
		else if (key == "uris:")
			for (i = 2; i <= NF; i++)
				u[++nu] = $i
		else if (key == "suites:")
			for (i = 2; i <= NF; i++)
				s[++ns] = $i
	}
	END { flush() }
	' $(ls -d /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
		/etc/apt/sources.list.d/*.sources 2>/dev/null) </dev/null
}

# The host's mirror of a suite of its own release (bookworm, bookworm-security).
host_mirror() {
	host_sources | awk -v suite="$1" '$2 == suite { print $1; exit }'
}

. /etc/os-release
mirror=$(host_mirror "$VERSION_CODENAME")
security=$(host_mirror "$VERSION_CODENAME-security")
if [ -z "$mirror" ]; then
	echo "debian13: no Debian mirror for $VERSION_CODENAME in the host's apt sources" >&2
	exit 1
fi

# The base, made again when missing or broken, one run at a time; a base
# that a killed run left half made is removed.
mkdir -p "$cache" "$runs"
(
	flock 8
	if ! sha256sum --quiet -c "$base.sha256" 2>/dev/null; then
		rm -rf --one-file-system "$cache"/new.*
		new=$(mktemp -d "$cache/new.XXXXXX")
		if ! command -v debootstrap >/dev/null; then
			apt-get update -q
			apt-get install -y -q --no-install-recommends debootstrap
		fi
		say "making the base from $mirror"
		# debootstrap mounts /proc and /sys in the root while it works:
		# in a mount namespace of its own they never outlive it.
		unshare --mount debootstrap --variant=minbase trixie "$new/root" "$mirror" \
			>"$new/debootstrap.log" 2>&1 || {
			tail -20 "$new/debootstrap.log" >&2
			exit 1
		}
		tar -C "$new/root" --numeric-owner -czf "$new/base.tar.gz" .
		sum=$(sha256sum <"$new/base.tar.gz")
		mv "$new/base.tar.gz" "$base"
		echo "${sum%% *}  $base" >"$base.sha256"
		rm -rf --one-file-system "$new"
	fi
) 8>"$cache/lock"
say "base ready"

# Roots of runs that were killed before they could remove them: no process
# of theirs holds their lock any more.
for old in "$runs"/run.*; do
	[ -d "$old" ] || continue
	if flock -n "$old/lock" true; then
		rm -rf --one-file-system "$old"
	fi
done

# This run's root, locked for as long as it or anything it started runs.
run=$(mktemp -d "$runs/new.XXXXXX")
exec 9>"$run/lock"
flock 9
mv "$run" "$runs/run.${run##*.}"
run=$runs/run.${run##*.}
root=$run/root
pid=
finish() {
	status=$?
	trap - EXIT INT TERM HUP
	if [ -n "$pid" ]; then
		# Killing the namespace's first process ends every other one,
		# and unshare, waiting for it, ends once they have all gone.
		first=$(cat "/proc/$pid/task/$pid/children" 2>/dev/null || true)
		kill -KILL ${first:-$pid} 2>/dev/null || true
		wait "$pid" 2>/dev/null || true
	fi
	# Only when unshare itself had to be killed may a process of the root
	# still be ending.
	tries=1
	until rm -rf --one-file-system "$run" 2>/dev/null || [ "$tries" -ge 10 ]; do
		tries=$((tries + 1))
		sleep 1
	done
	exit "$status"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

mkdir "$root"
tar -C "$root" --numeric-owner -xzf "$base"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
printf '127.0.0.1\tlocalhost\n::1\t\tlocalhost ip6-localhost ip6-loopback\n' >"$root/etc/hosts"
stanza() {
	printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\n' "$1" "$2"
	printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\n'
}
{
	stanza "$mirror" "trixie trixie-updates"
	[ -z "$security" ] || stanza "$security" trixie-security
} >"$root/etc/apt/sources.list.d/debian.sources"
rm -f "$root/etc/apt/sources.list"
# How the host reaches its mirror: a proxy, and whether its Release files
# may be old (a snapshot).
apt-config dump | grep -E '^Acquire::(https?::Proxy|Check-Valid-Until|Check-Date) ' \
	>"$root/etc/apt/apt.conf.d/50host" || true
git clone -q --no-hardlinks --no-checkout "$checkout" "$root/root/wincue"
git -C "$root/root/wincue" checkout -q --detach "$commit"
say "root unpacked in $root; commit $commit"

# Inside the namespaces: the mounts, make (all a bare Debian needs before the
# README's commands), then the command under a shell that stays the first
# process and so reaps whatever the command leaves to it, as init does.
inside='
set -eu
root=$1
shift
# The root a mount point of its own, as / is on a machine: unshare -m (the
# tests make roots of their own) cannot make it private otherwise.
mount --bind "$root" "$root"
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount -t tmpfs -o mode=755 tmpfs "$root/dev"
for node in null zero full random urandom tty; do
	touch "$root/dev/$node"
	mount --bind "/dev/$node" "$root/dev/$node"
done
mkdir "$root/dev/pts" "$root/dev/shm"
mount -t devpts -o newinstance,ptmxmode=0666,mode=620,gid=5 devpts "$root/dev/pts"
ln -s pts/ptmx "$root/dev/ptmx"
ln -s /proc/self/fd "$root/dev/fd"
ln -s /proc/self/fd/0 "$root/dev/stdin"
ln -s /proc/self/fd/1 "$root/dev/stdout"
ln -s /proc/self/fd/2 "$root/dev/stderr"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
exec chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" \
	PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin /bin/sh -c "
	set -e
	apt-get update -q >/dev/null
	DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends make \
		>/dev/null
	cd /root/wincue
	\"\$@\" || exit \$?" sh "$@"
'
# unshare dies with this script, even one killed outright, and the
# namespaces with it.
setpriv --pdeathsig KILL unshare --mount --pid --fork --kill-child=SIGKILL \
	sh -c "$inside" sh "$root" "$@" &
pid=$!
status=0
wait "$pid" || status=$?
pid=
say "the command ended with status $status"
exit "$status"
