#!/usr/bin/env bash
# Fails when a source file includes from a folder above its own layer:
#   common -> base -> net -> share -> transfer | chat -> shell -> ui | daemon -> app | cli
# Each folder may include itself and the folders listed for it; kestrune's
# folder sees only common/.
set -euo pipefail
src=${1:-$(dirname "$0")/../../src}

declare -A allowed=(
    [common]="common"
    [base]="common base"
    [net]="common base net"
    [share]="common base net share"
    [transfer]="common base net share transfer"
    [chat]="common base net share chat"
    [shell]="common base net share transfer chat shell"
    [ui]="common base net share transfer chat shell ui"
    [daemon]="common base net share transfer chat shell daemon"
    [app]="common base net share transfer chat shell ui app"
    [cli]="common base cli"
    [finisher]="common finisher"
)

status=0
for dir in "$src"/*/; do
    layer=$(basename "$dir")
    if [ -z "${allowed[$layer]+set}" ]; then
        echo "unknown folder src/$layer: give it a place in the layer order" >&2
        status=1
        continue
    fi
    while IFS=: read -r file line include; do
        target=$(sed -E 's/^#include "([^/"]+)\/.*/\1/' <<<"$include")
        if [[ " ${allowed[$layer]} " != *" $target "* ]]; then
            echo "${file#"$src"/}:$line includes from $target/, above $layer/" >&2
            status=1
        fi
    done < <(grep -HnE '^#include "[^/"]+/' "$dir"*.h "$dir"*.cpp 2>/dev/null || true)
done
[ $status -eq 0 ] && echo "every include stays within its layer or below"
exit $status
