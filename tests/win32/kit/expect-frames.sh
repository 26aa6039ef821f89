# Sourced by the areas' checks of orvo-sim's trace, once $log names it.
# expect COUNT UNIT KIND HEX: at least COUNT such frames received by UNIT;
# with COUNT written =N, exactly N. A shortfall is reported and sets status.
status=0
expect() {
  local n want=${1#=}
  n=$(grep -cE " $2 rx $3 $4\$" "$log" || true)
  if [ "$n" -lt "$want" ] || { [ "$1" != "$want" ] && [ "$n" -ne "$want" ]; }; then
    echo "expected $1 x '$2 rx $3 $4', found $n" >&2
    status=1
  fi
}
