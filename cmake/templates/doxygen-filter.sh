#!/bin/sh
# Doxygen input filter for the API reference: marks each header as documented
# (\file), so Doxygen also reports its undocumented free functions, variables
# and types. Without it, a declaration outside a class in a header that has
# no \file comment is left out silently instead of failing the docs target.
# The mark goes on the first line, so reported line numbers stay true.
exec sed '1s|^|/** \\file */ |' "$1"
