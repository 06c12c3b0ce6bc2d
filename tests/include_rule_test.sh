#!/usr/bin/env bash
# Includes run one way: core <- decode <- render <- driver. The shared core
# includes none of the three steps, the decoders include neither the
# printers nor the reader, and the printers do not include the reader.
set -u
src=${1:?usage: include_rule_test.sh SOURCE_DIR}/src
status=0
check() {
  local folder=$1 forbidden=$2 hits
  hits=$(grep -rnE "#include \"($forbidden)/" "$src/$folder")
  if [[ -n $hits ]]; then
    echo "src/$folder must not include $forbidden:"
    echo "$hits"
    status=1
  fi
}
check core 'decode|render|driver'
check decode 'render|driver'
check render 'driver'
exit $status
