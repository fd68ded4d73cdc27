#!/usr/bin/env bash
# Fails when a source file includes a header from a folder above its own. The order, lowest
# first: vantorlib/foundation, storage, net, message, engine, models, shell. A platform half
# in vantorlib/ports/linux (NameImp) belongs to the folder of the class it implements (Name);
# one that implements no class of its own belongs to the lowest folder that uses it.
# Usage: LayerOrder.sh SOURCE_DIR
set -u
root=${1:-.}
cd "$root" || exit 2
folders=(vantorlib/foundation vantorlib/storage vantorlib/net vantorlib/message engine models shell)
ports=vantorlib/ports/linux

declare -A rank  # header or source file name -> rank of its folder
for i in "${!folders[@]}"; do
	[ -d "${folders[$i]}" ] || continue
	for f in "${folders[$i]}"/*.h "${folders[$i]}"/*.cpp; do
		[ -e "$f" ] && rank[$(basename "$f")]=$i
	done
done
# A platform half ranks with its class.
for f in "$ports"/*Imp.h "$ports"/*Imp.cpp; do
	[ -e "$f" ] || continue
	leaf=$(basename "$f")
	class=${leaf%Imp.*}
	if [ -n "${rank[$class.h]+x}" ]; then
		rank[$leaf]=${rank[$class.h]}
		continue
	fi
	for i in "${!folders[@]}"; do
		if grep -qs "#include \"${class}Imp.h\"" "${folders[$i]}"/*.h "${folders[$i]}"/*.cpp; then
			rank[$leaf]=$i
			break
		fi
	done
done

failed=${failed:-0}
check() {
	local file=$1 own=$2 header
	while IFS= read -r header; do
		[ -n "${rank[$header]+x}" ] || continue
		if [ "${rank[$header]}" -gt "$own" ]; then
			echo "$file includes $header from a folder above its own"
			failed=1
		fi
	done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
}
for i in "${!folders[@]}"; do
	[ -d "${folders[$i]}" ] || continue
	for f in "${folders[$i]}"/*.h "${folders[$i]}"/*.cpp; do
		[ -e "$f" ] && check "$f" "$i"
	done
done
for f in "$ports"/*.h "$ports"/*.cpp; do
	[ -e "$f" ] || continue
	leaf=$(basename "$f")
	[ -n "${rank[$leaf]+x}" ] && check "$f" "${rank[$leaf]}"
done
if [ "$failed" != 0 ]; then
	echo "The folder order is foundation < storage < net < message < engine < models < shell."
	exit 1
fi
echo "folder order holds"
