// A test fixture with an evaluation context whose error callback records every report.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mathlib/mathnew.h"

namespace qlink {

struct Report {
  int result_code;
  int exception_code;
  std::string message;
};

struct Recorder {
  std::vector<Report> reports;
  int answer = -1;  // -1: answer like the default callback
};

inline int RecordingCallback(int rc, int ec, std::string_view message, void* data) {
  auto* rec = static_cast<Recorder*>(data);
  rec->reports.push_back({rc, ec, std::string(message)});
  return rec->answer >= 0 ? rec->answer : default_error_callback(rc, ec, message, nullptr);
}

class MathFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    mathnew_init(ctx);
    set_error_callback(ctx, RecordingCallback);
    ctx.callback_data = &rec;
  }

  // function_eval with the given mode and arguments.
  int Eval(int n, std::vector<double> args, int mode = 0) {
    ctx.mode = mode;
    ctx.num_args = static_cast<int>(args.size());
    return function_eval(ctx, n, args.data());
  }

  mathnew_context ctx;
  Recorder rec;
};

}  // namespace qlink
