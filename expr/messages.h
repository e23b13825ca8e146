// Where the expression code writes its messages: the unknown-instruction and stack reports of
// tree building, and the one line of a fatal condition before the process ends. Standard output
// unless a caller redirects it.
#pragma once

#include <cstdio>
#include <string_view>

namespace qlink {

// Exit code of the process after a fatal condition in tree building or cleaning.
inline constexpr int kExprFatalExitCode = 1;

// Redirects the messages; null restores standard output.
void SetExprMessageStream(std::FILE* stream);

// Writes one line (the text and a line feed).
void ExprMessage(std::string_view line);

// Writes one line, flushes and ends the process with kExprFatalExitCode.
[[noreturn]] void ExprFatal(std::string_view line);

}  // namespace qlink
