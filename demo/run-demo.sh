#!/usr/bin/env bash
# The demonstration behind `make run`: starts the demonstration news server on a free port on
# 127.0.0.1, makes a fresh data root in the build folder, adds an account for the server,
# downloads its newsgroup list, subscribes, fetches, and shows a newsgroup's messages and one
# article. The server is stopped however the script ends.
# Usage: run-demo.sh BUILD_DIR
set -euo pipefail

build=${1:-build}
quillfern="$build/quillfern"
server="$build/quillfern-demo-server"
root="$build/demo-root"
for program in "$quillfern" "$server"; do
	[ -x "$program" ] || { echo "run-demo.sh: $program is not built (make build)" >&2; exit 1; }
done

# The server reads its standard input from this script: when the script goes, however it goes,
# the pipe closes and the server stops. The trap stops it at once.
coproc SERVER { exec "$server"; }
server_pid=$SERVER_PID
trap 'kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true' EXIT
trap 'exit 130' INT TERM
read -r -t 10 -u "${SERVER[0]}" port || { echo "run-demo.sh: the demonstration server did not start" >&2; exit 1; }

# A data root and per-user preferences of its own, so that the user's own are never touched.
rm -rf "$root" "$build/demo-config" "$build/demo-files"
mkdir -p "$build/demo-files"
export XDG_CONFIG_HOME="$build/demo-config"
export QUILLFERN_ROOT="$root"

# Shows the command as a user would type it (quoting what the shell would take apart), then runs it.
step() {
	printf '\n$ quillfern'
	local word
	for word in "$@"; do
		if [[ $word =~ ^[A-Za-z0-9._/=:+-]+$ ]]; then printf ' %s' "$word"; else printf " '%s'" "$word"; fi
	done
	printf '\n'
	"$quillfern" "$@"
}

# A step whose command this build lacks is shown as skipped rather than failing the run.
known() {
	"$quillfern" help "$1" 2>/dev/null | grep -- "${2:-}" >/dev/null
}
maybe() {
	if known "$1" "${2:-}"; then
		return 0
	fi
	printf '\n(skipped: this build has no "quillfern %s")\n' "$*"
	return 1
}

echo "Demonstration news server on 127.0.0.1:$port; data root $root"
step account add demo --server 127.0.0.1 --port "$port"
step account check demo
if maybe groups refresh; then
	step groups refresh demo
	step groups search demo ferns
fi
step subscribe demo rec.gardening.ferns de.rec.garten alt.binaries.pictures.ferns
maybe fetch && step fetch demo
step groups demo
step list demo/rec.gardening.ferns --threaded
# The first message of the list: the start of its first thread.
id=$("$quillfern" list demo/rec.gardening.ferns --threaded | awk -F'\t' '$1 == 0 { print $2; exit }')
[ -n "$id" ] && step read demo/rec.gardening.ferns "$id"
id=$("$quillfern" list demo/de.rec.garten | awk -F'\t' 'NR == 1 { print $1 }')
[ -n "$id" ] && step read demo/de.rec.garten "$id"
# The picture posted in two parts, put together again.
id=$("$quillfern" list demo/alt.binaries.pictures.ferns | awk -F'\t' 'NR == 1 { print $1 }')
[ -n "$id" ] && step decode demo/alt.binaries.pictures.ferns "$id" --to "$build/demo-files"
echo
echo "Done. The data root is $root; try: $quillfern --root $root help"
