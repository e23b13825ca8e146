// Times tree building, function rewrite, clean pass and printing of large rows. For each shape
// of code and each size the best of several runs is shown per phase, with the time per node, so
// that the growth with the size can be read off: linear work gives a constant time per node.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "expr/instructions.h"
#include "expr/printer.h"
#include "expr/simplify.h"
#include "expr/tree.h"
#include "mathlib/mathnew.h"

namespace {

using qlink::Instruction;

struct Row {
  std::vector<Instruction> code;
  std::vector<double> pool;

  void Op(std::uint8_t op, std::int32_t operand = 0) { code.push_back(Instruction{op, operand}); }
  void OpI(std::uint8_t op, double value) {
    pool.push_back(value);
    Op(op, static_cast<std::int32_t>(pool.size()));
  }
};

constexpr int kColumns = 1000;

// A sum of small nonlinear terms: a shallow stack and a tree as deep as the row is long.
Row SumOfTerms(int terms) {
  Row r;
  r.Op(qlink::kOpHeader);
  r.Op(qlink::kOpPushV, 1);
  for (int i = 0; i < terms; ++i) {
    const int j = 1 + i % kColumns;
    switch (i % 5) {
      case 0:  // c * sqr(x_j)
        r.Op(qlink::kOpPushV, j);
        r.Op(qlink::kOpCallArg1, qlink::kFnSqr);
        r.OpI(qlink::kOpMulI, 0.5 + i % 7);
        r.Op(qlink::kOpAdd);
        break;
      case 1:  // - x_j / c
        r.Op(qlink::kOpPushV, j);
        r.OpI(qlink::kOpDivI, 3.0);
        r.Op(qlink::kOpSub);
        break;
      case 2:  // + exp(x_j - c)
        r.Op(qlink::kOpPushV, j);
        r.OpI(qlink::kOpSubI, 1.5);
        r.Op(qlink::kOpCallArg1, qlink::kFnExp);
        r.Op(qlink::kOpAdd);
        break;
      case 3:  // + x_j ^ x_{j+1}
        r.Op(qlink::kOpPushV, j);
        r.Op(qlink::kOpPushV, 1 + (j % kColumns));
        r.Op(qlink::kOpCallArg2, qlink::kFnRPower);
        r.Op(qlink::kOpAdd);
        break;
      default:  // + (-c) * abs(x_j)
        r.Op(qlink::kOpPushV, j);
        r.Op(qlink::kOpCallArg1, qlink::kFnAbs);
        r.OpI(qlink::kOpMulIAdd, -2.0);
        break;
    }
  }
  r.Op(qlink::kOpStore, 1);
  return r;
}

// A product chain with a unary minus on every factor: the clean pass moves minus signs on each
// of its sweeps up to the limit.
Row SignedProduct(int factors) {
  Row r;
  r.Op(qlink::kOpHeader);
  r.Op(qlink::kOpPushV, 1);
  for (int i = 0; i < factors; ++i) {
    r.Op(qlink::kOpUminV, 1 + i % kColumns);
    r.Op(qlink::kOpMul);
    if (i % 3 == 0) r.OpI(qlink::kOpDivI, 4.0);
  }
  r.Op(qlink::kOpStore, 1);
  return r;
}

// Nested calls and powers: log10(sqrt(...(x + c)...)) as deep as the row.
Row NestedCalls(int levels) {
  Row r;
  r.Op(qlink::kOpHeader);
  r.Op(qlink::kOpPushV, 1);
  static constexpr int kFunctions[] = {qlink::kFnSqrt, qlink::kFnLog10, qlink::kFnExp,
                                       qlink::kFnSqr};
  for (int i = 0; i < levels; ++i) {
    r.OpI(qlink::kOpAddI, 1.0 + i % 3);
    r.Op(qlink::kOpCallArg1, kFunctions[i % 4]);
  }
  r.Op(qlink::kOpStore, 1);
  return r;
}

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

struct Times {
  double build = 1e9, rewrite = 1e9, clean = 1e9, print = 1e9;
  std::size_t nodes = 0;
  int sweeps = 0;
  std::size_t chars = 0;
};

Times Measure(const Row& row, int repeats, qlink::NodePool& pool, qlink::mathnew_context& context) {
  Times t;
  qlink::ExpressionPrinter printer;
  for (int rep = 0; rep < repeats; ++rep) {
    pool.release_all();
    std::size_t chars = 0;
    qlink::LineWriter writer([&chars](std::string_view line) { chars += line.size() + 1; });
    const auto t0 = std::chrono::steady_clock::now();
    qlink::Node* root = qlink::build_tree(pool, 1, static_cast<int>(row.code.size()), row.code,
                                          row.pool, kColumns);
    const auto t1 = std::chrono::steady_clock::now();
    qlink::rewrite_functions(pool);
    const auto t2 = std::chrono::steady_clock::now();
    const int sweeps = qlink::clean_expression(pool, context);
    const auto t3 = std::chrono::steady_clock::now();
    writer.StartLine("e1: ");
    printer.Print(root, writer);
    writer.Close();
    const auto t4 = std::chrono::steady_clock::now();
    t.build = std::min(t.build, Seconds(t0, t1));
    t.rewrite = std::min(t.rewrite, Seconds(t1, t2));
    t.clean = std::min(t.clean, Seconds(t2, t3));
    t.print = std::min(t.print, Seconds(t3, t4));
    t.nodes = pool.size();
    t.sweeps = sweeps;
    t.chars = chars;
  }
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  qlink::mathnew_context context;
  qlink::mathnew_init(context);
  qlink::NodePool pool;
  struct Shape {
    const char* name;
    Row (*make)(int);
    int per_node;  // roughly the nodes one unit of the shape makes
  };
  const Shape shapes[] = {
      {"sum of terms", SumOfTerms, 6},
      {"signed product", SignedProduct, 4},
      {"nested calls", NestedCalls, 4},
  };
  std::printf("%-15s %9s %6s %10s %9s %9s %9s %9s %11s\n", "shape", "nodes", "sweeps", "chars",
              "build", "rewrite", "clean", "print", "total/node");
  for (const Shape& shape : shapes) {
    for (int target : {50000, 100000, 200000, 400000}) {
      const Row row = shape.make(target / shape.per_node);
      const Times t = Measure(row, repeats, pool, context);
      const double total = t.build + t.rewrite + t.clean + t.print;
      std::printf("%-15s %9zu %6d %10zu %8.2fms %8.2fms %8.2fms %8.2fms %9.1fns\n", shape.name,
                  t.nodes, t.sweeps, t.chars, t.build * 1e3, t.rewrite * 1e3, t.clean * 1e3,
                  t.print * 1e3, total * 1e9 / static_cast<double>(t.nodes));
    }
  }
  return 0;
}
