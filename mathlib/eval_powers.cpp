#include "mathlib/mathnew_rules.h"

namespace qlink::mathnew_detail {

void add_power_rules(RuleTable& /*table*/) {}

}  // namespace qlink::mathnew_detail
