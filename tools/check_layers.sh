#!/usr/bin/env bash
# Checks the one-way layering engine <- app <- ui, and that the command-line
# binary neither links nor loads Qt.
#   tools/check_layers.sh SOURCE_DIR [MORVEL_BINARY]
set -euo pipefail
src=$1
binary=${2:-}
status=0

fail() { echo "layering: $*" >&2; status=1; }

# Includes that cross a layer the wrong way.
if hits=$(grep -rnE '#include *"(app|ui)/' "$src/engine" 2>/dev/null); then fail "engine/ includes app/ or ui/:"$'\n'"$hits"; fi
if hits=$(grep -rnE '#include *"ui/' "$src/app" 2>/dev/null); then fail "app/ includes ui/:"$'\n'"$hits"; fi
if hits=$(grep -rnE '#include *<Q' "$src/engine" "$src/app" 2>/dev/null); then fail "Qt outside ui/:"$'\n'"$hits"; fi

# The binary: no Qt library among its needs, no Qt symbol inside.
if [ -n "$binary" ]; then
    if readelf -d "$binary" | grep -i 'NEEDED' | grep -qi 'qt'; then
        fail "$binary links Qt:"$'\n'"$(readelf -d "$binary" | grep -i qt)"
    fi
    if nm -D --undefined-only "$binary" 2>/dev/null | grep -qE '_ZN?K?[0-9]*Q[A-Z]'; then
        fail "$binary refers to Qt symbols"
    fi
fi
exit $status
