// The state shared by every part of one run of qorallink: the control-file record, the log and
// status streams, the statuses and run values that end up in the solution file.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "io/statlibobj.h"
#include "link/lvoconf.h"

namespace qlink {

// The program's name in its messages and the title of its audit line.
inline constexpr std::string_view kTitle = "LUVO/QORAL";

struct RunState {
  ControlFile ctrl;
  TLVOLogStream log;
  TLVOStatusStream status;
  std::string audit_line;
  // Solve and model status, always set together through SetStatus.
  std::int32_t SolveStat = 13;
  std::int32_t ModelStat = 13;
  double ObjVal = 0;
  double ObjEst = 0;
  double ResUsed = 0;
  double IterCount = 0;
  // Whether the model instance was read whole; the solve steps run only then.
  bool instance_read = false;
  std::string solver_command_line;
  std::int32_t solver_start_result = 0;
  std::int32_t solver_exit_code = 0;
  std::atomic<int> interrupt_count{0};
  std::int32_t exit_code = 0;
};

// The run state of this process.
RunState& Run();

void SetStatus(std::int32_t solve_stat, std::int32_t model_stat);

// Reporting helpers: the log only, the listing only, and both.
void LogWriteLn(std::string_view text);
void StatusCopyLine(std::string_view text);
void LogAndCopy(std::string_view text);

// The audit line: the title in a field of 16 characters, then release, build, date and
// platform, separated by single blanks.
std::string BuildAuditLine();

}  // namespace qlink
