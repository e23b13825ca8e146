#include "link/lvostate.h"

#include "link/build_info.h"

namespace qlink {

RunState& Run() {
  static RunState state;
  return state;
}

void SetStatus(std::int32_t solve_stat, std::int32_t model_stat) {
  Run().SolveStat = solve_stat;
  Run().ModelStat = model_stat;
}

void LogWriteLn(std::string_view text) { Run().log.LogWriteLn(text); }

void StatusCopyLine(std::string_view text) { Run().status.StatusCopyLine(text); }

void LogAndCopy(std::string_view text) {
  LogWriteLn(text);
  StatusCopyLine(text);
}

std::string BuildAuditLine() {
  std::string line(kTitle);
  line.resize(16, ' ');
  line += kBuildRelease;
  line += ' ';
  line += kBuildId;
  line += ' ';
  line += kBuildDate;
  line += ' ';
  line += kBuildPlatform;
  return Bounded(line);
}

}  // namespace qlink
