#!/usr/bin/env bash
# A real NNTP server for integration tests: INN 2.7 (Debian's inn2) on 127.0.0.1 port 119 only.
#
#   inn.sh install             install inn2 when missing (needs root)
#   inn.sh start               install when missing, start, wait until it greets
#   inn.sh stop                stop it
#   inn.sh status              exit 0 when it greets on 127.0.0.1:119
#   inn.sh newgroup NAME...    create newsgroups (an existing one is left as it is)
#   inn.sh rmgroup NAME...     remove newsgroups
#   inn.sh feed GROUP COUNT    feed COUNT generated articles (fresh Message-IDs, current date)
set -euo pipefail

NEWSBIN=/usr/lib/news/bin
CONF=/etc/news/inn.conf
PORT=119

asNews() { su news -s /bin/sh -c "$*"; }

# Sets "key: value" in inn.conf, replacing an existing line for the key.
confSet() {
	local key=$1 value=$2
	if grep -qE "^#?[[:space:]]*$key:" "$CONF"; then
		sed -i -E "s|^#?[[:space:]]*$key:.*|$key: $value|" "$CONF"
	else
		printf '%s: %s\n' "$key" "$value" >>"$CONF"
	fi
}

# Loopback only, and a domain name so that the package's set-up finishes on a host without one.
configure() {
	mkdir -p /etc/news
	touch "$CONF"
	confSet domain quillfern.test
	confSet pathhost news.quillfern.test
	confSet fromhost quillfern.test
	confSet server localhost
	confSet bindaddress 127.0.0.1
	confSet bindaddress6 none
	confSet port "$PORT"
	# A busy build machine must not make INN refuse readers or throttle itself.
	confSet doinnwatch false
	confSet nnrpdloadlimit 0
}

install() {
	if dpkg -s inn2 2>/dev/null | grep -q '^Status: install ok installed'; then
		configure
		return 0
	fi
	if [ "$(id -u)" != 0 ]; then
		echo "inn.sh: INN is not installed and installing it needs root" >&2
		exit 1
	fi
	export DEBIAN_FRONTEND=noninteractive
	# The package's set-up step fails until inn.conf names a domain; the package's own inn.conf
	# is there after unpacking, so configure it and finish the set-up.
	apt-get install -y -q inn2 >/dev/null 2>&1 || true
	if [ -f "$CONF.dpkg-dist" ] && ! grep -q '^pathnews:' "$CONF" 2>/dev/null; then
		mv "$CONF.dpkg-dist" "$CONF"
	fi
	configure
	dpkg --configure -a >/dev/null 2>&1 || true
	dpkg -s inn2 | grep -q '^Status: install ok installed' || { echo "inn.sh: installing inn2 failed" >&2; exit 1; }
}

# Reads the greeting from 127.0.0.1:PORT within a second.
greets() {
	perl -MIO::Socket::INET -e '
		my $s = IO::Socket::INET->new(PeerAddr => "127.0.0.1", PeerPort => $ARGV[0], Timeout => 1) or exit 1;
		my $rin = ""; vec($rin, fileno($s), 1) = 1;
		select($rin, undef, undef, 2) or exit 1;
		my $line = <$s>; exit(defined $line && $line =~ /^20[01]/ ? 0 : 1);' "$PORT"
}

start() {
	install
	if greets; then return 0; fi
	stop
	mkdir -p /run/news && chown news:news /run/news
	asNews "$NEWSBIN/rc.news" >/dev/null 2>&1 || true
	for _ in $(seq 1 150); do
		if greets; then return 0; fi
		sleep 0.2
	done
	echo "inn.sh: INN did not answer on 127.0.0.1:$PORT" >&2
	exit 1
}

stop() {
	[ -x "$NEWSBIN/rc.news" ] || return 0
	asNews "$NEWSBIN/rc.news stop" >/dev/null 2>&1 || true
}

newgroup() {
	local name
	for name in "$@"; do
		asNews "$NEWSBIN/ctlinnd -s newgroup '$name' y" || true
	done
}

rmgroup() {
	local name
	for name in "$@"; do
		asNews "$NEWSBIN/ctlinnd -s rmgroup '$name'" || true
	done
}

# Streams generated articles with TAKETHIS (allowed from localhost by the default incoming.conf).
feed() {
	local group=$1 count=$2
	perl -MIO::Socket::INET -e '
		use strict;
		my ($port, $group, $count) = @ARGV;
		my $s = IO::Socket::INET->new(PeerAddr => "127.0.0.1", PeerPort => $port) or die "connect: $!\n";
		$s->autoflush(1);
		my $line = <$s>; die "greeting: $line" unless $line =~ /^20[01]/;
		print $s "MODE STREAM\r\n"; $line = <$s>; die "MODE STREAM: $line" unless $line =~ /^203/;
		my @days = qw(Sun Mon Tue Wed Thu Fri Sat); my @months = qw(Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec);
		my @t = gmtime(time);
		my $date = sprintf("%s, %02d %s %04d %02d:%02d:%02d +0000", $days[$t[6]], $t[3], $months[$t[4]], $t[5] + 1900, $t[2], $t[1], $t[0]);
		my $stamp = sprintf("%x.%x", time, $$);
		my $sent = 0;
		for my $i (1 .. $count) {
			my $id = "<$stamp.$i\@feed.quillfern.test>";
			my $lines = 3 + $i % 5;
			my $body = join("", map { "Line $_ of article $i in $group.\r\n" } 1 .. $lines);
			print $s "TAKETHIS $id\r\n",
				"Path: feed.quillfern.test!not-for-mail\r\n",
				"From: Feeder $i <feeder$i\@quillfern.test>\r\n",
				"Newsgroups: $group\r\n",
				"Subject: Article $i of $count\r\n",
				"Date: $date\r\n",
				"Message-ID: $id\r\n",
				"Lines: $lines\r\n",
				"\r\n", $body, ".\r\n";
			$sent++;
		}
		my $ok = 0;
		for (1 .. $sent) {
			$line = <$s>; last unless defined $line;
			$ok++ if $line =~ /^239/;
		}
		print $s "QUIT\r\n";
		die "fed $ok of $count articles\n" unless $ok == $count;' "$PORT" "$group" "$count"
}

command=${1:-}
shift || true
case "$command" in
	install) install ;;
	start) start ;;
	stop) stop ;;
	status) greets ;;
	newgroup) newgroup "$@" ;;
	rmgroup) rmgroup "$@" ;;
	feed) [ $# -eq 2 ] || { echo "usage: inn.sh feed GROUP COUNT" >&2; exit 2; }; feed "$1" "$2" ;;
	*) echo "usage: inn.sh install|start|stop|status|newgroup NAME...|rmgroup NAME...|feed GROUP COUNT" >&2; exit 2 ;;
esac
