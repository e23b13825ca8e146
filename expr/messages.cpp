#include "expr/messages.h"

#include <cstdlib>

namespace qlink {

namespace {

std::FILE* message_stream = nullptr;

std::FILE* Stream() { return message_stream != nullptr ? message_stream : stdout; }

}  // namespace

void SetExprMessageStream(std::FILE* stream) { message_stream = stream; }

void ExprMessage(std::string_view line) {
  std::FILE* out = Stream();
  std::fwrite(line.data(), 1, line.size(), out);
  std::fputc('\n', out);
}

void ExprFatal(std::string_view line) {
  ExprMessage(line);
  std::fflush(nullptr);
  std::exit(kExprFatalExitCode);
}

}  // namespace qlink
