#include "link/runseq.h"

#include <cstdio>
#include <string>

#include "io/gdutils.h"
#include "io/solwriter.h"
#include "link/lvostate.h"
#include "runtime/lvocommon.h"
#include "runtime/libbinding.h"
#include "runtime/platform.h"

namespace qlink {

namespace {

// Shown in the listing below the audit line.
constexpr const char* kAttribution[] = {
    "QORAL link for LUVO: the model is passed to the QORAL global MINLP solver,",
    "and QORAL's solution and statuses are passed back to LUVO.",
    "QORAL is used under the terms of its own license.",
};

}  // namespace

int RunSequence(int argc, const char* const* argv) {
  RunState& run = Run();
  // A call of a function that a loaded library lacks is reported in the log.
  SetBindingMessageSink([](const std::string& line) { LogWriteLn(line); });

  if (argc < 2) {
    StdoutLine("*** LUVO/QORAL called with no control file name");
    return 1;
  }

  run.interrupt_count = 0;
  platform::InstallInterruptHandler(&run.interrupt_count);

  run.audit_line = BuildAuditLine();

  const std::string control_path = argv[1];
  if (EqualsIgnoreCase(control_path, "AUDIT")) {
    StdoutLine(run.audit_line);
    return 0;
  }

  std::string message;
  if (!LoadControlFile(control_path, &run.ctrl, &message)) {
    StdoutLine("*** LUVO/QORAL could not load controlfile \"" + control_path + "\"");
    StdoutLine("*** Msg=" + message);
    return 1;
  }
  const ControlFile& ctrl = run.ctrl;

  run.log.LogOpen(ctrl.LogOption, 2, ctrl.NameLogFile);

  run.status.StatusSetFilename(ctrl.NameStaFile);
  if (!run.status.StatusFileOpen(2, &message)) {
    LogWriteLn("*** Status File open Failed - we are dead");
    LogWriteLn("*** " + message);
    run.log.LogClose();
    return 0;
  }
  run.status.StatusAuditLine(run.audit_line);

  // Inconsistencies in the modeling system's solver table did not stop the load; show them.
  for (const std::string& m : ctrl.Solvers.messages) LogWriteLn(m);

  // A model that was not read whole is never handed to the solver: the run goes on to the
  // solution file, which then reports the initial statuses 13/13.
  run.instance_read = read_model_instance() == 0;

  LogAndCopy("");
  LogAndCopy(run.audit_line);
  LogAndCopy("");

  for (const char* line : kAttribution) StatusCopyLine(line);
  StatusCopyLine("");

  write_solution();

  run.status.StatusClose();
  run.log.LogClose();
  return run.exit_code;
}

}  // namespace qlink
