#!/usr/bin/env bash
# Fails when a download's status text ("Complete", "Queued (", ...) appears in
# src/ or bench/ outside the tables that format it (running, ended, folders): everything else
# decides by the download's typed state, never by comparing what is shown.
set -euo pipefail
root=${1:-$(dirname "$0")/../..}
cd "$root"

formatting='src/transfer/downloadlistmodel.cpp|src/transfer/deaddownloadlistmodel.cpp|src/transfer/folderdownloadmodel.cpp'
pattern='"(Connecting\.\.\.|Getting Info\.\.\.|Requesting\.\.\.|Downloading\.\.\.|Complete|Cancelled|Remotely Terminated|Parked)"|"(Queued|Error) \('

# The pattern must catch the plainest comparison, or this check proves nothing.
if ! grep -qE "$pattern" <<<'if (status == QLatin1String("Complete"))'; then
    echo "the status text pattern misses a plain comparison" >&2
    exit 1
fi

found=$(grep -rnE "$pattern" src bench --include='*.cpp' --include='*.h' | grep -vE "^($formatting):" || true)
if [ -n "$found" ]; then
    echo "download status texts outside the tables that format them:" >&2
    echo "$found" >&2
    exit 1
fi
echo "status texts appear only where downloads are formatted"
