// luvo: the stand-in of the modeling system on the command line. It writes the files the
// modeling system leaves for a solver run.
//
//   luvo control [options] CONTROLFILE   writes a control file, a placeholder status file and
//                                        the instance files of a small example model
//     --scratch DIR     scratch directory holding every file of the run (default: the
//                       control file's directory)
//     --format CODE     scratch format code of the instance and solution files (default 0)
//     --sysdir DIR      system directory (default: the directory of this program)
//     --version V       control file format version, 39 ... 53 (default 53)
//     --log-option N    0 none, 2 file, 3 standard output, 4 both (default 3)
//     --model-type T    model type name, e.g. NLP, MINLP (default NLP)
//
//   luvo solution --format CODE --rows M --cols N SOLUTIONFILE
//                     prints what a solution file holds: header values, the row and column
//                     records, trailer values
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "outside/luvo/ctrlwriter.h"
#include "outside/luvo/instwriter.h"
#include "outside/luvo/solreader.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: luvo control [--scratch DIR] [--sysdir DIR] [--format CODE] [--version V]\n"
               "                    [--log-option N] [--model-type TYPE] CONTROLFILE\n"
               "       luvo solution --format CODE --rows M --cols N SOLUTIONFILE\n");
  return 2;
}

// The example model: minimise z = x + 2 y subject to x + y >= 1.5, x in [0, 10], y integer in
// [0, 5], with z the objective variable of the objective row 2.
luvo::ModelSpec ExampleModel() {
  luvo::ModelSpec m;
  m.rows.resize(2);
  m.rows[0].type = 1;
  m.rows[0].rhs = 1.5;
  m.cols.resize(3);
  luvo::ColSpec &x = m.cols[0], &y = m.cols[1], &z = m.cols[2];
  x.upper = 10;
  x.entries = {{1, 1.0, false}, {2, -1.0, false}};
  y.type = 2;
  y.upper = 5;
  y.entries = {{1, 1.0, false}, {2, -2.0, false}};
  z.lower = luvo::kMinusInf;
  z.entries = {{2, 1.0, false}};
  return m;
}

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string ProgramDirectory() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./";
  return DirectoryOf(std::string(buf, static_cast<size_t>(n)));
}

const char* const kTypes[16] = {"NONE", "LP",   "MIP",    "RMIP",  "NLP", "MCP",   "MPEC",   "RMPEC",
                                "CNS",  "DNLP", "RMINLP", "MINLP", "QCP", "MIQCP", "RMIQCP", "EMP"};

int Control(int argc, char** argv) {
  std::string scratch, sysdir = ProgramDirectory(), path, model_type = "NLP";
  int version = 53, log_option = 3, format = 0;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--scratch") scratch = value();
    else if (a == "--sysdir") sysdir = value();
    else if (a == "--version") version = std::atoi(value().c_str());
    else if (a == "--format") format = std::atoi(value().c_str());
    else if (a == "--log-option") log_option = std::atoi(value().c_str());
    else if (a == "--model-type") model_type = value();
    else if (!a.empty() && a[0] == '-') return Usage();
    else path = a;
  }
  if (path.empty() || version < 39 || version > 53) return Usage();
  if (scratch.empty()) scratch = DirectoryOf(path);
  luvo::ControlSpec spec = luvo::DefaultControl(scratch, sysdir);
  spec.version = version;
  spec.log_option = log_option;
  spec.alg_file_type = format;
  const luvo::ModelSpec model = ExampleModel();
  luvo::DescribeModel(model, &spec);
  spec.obj_row = 2;
  spec.obj_var = 3;
  spec.model_type = -1;
  for (int k = 0; k < 16; ++k)
    if (model_type == kTypes[k]) spec.model_type = k;
  if (spec.model_type < 0) {
    std::fprintf(stderr, "luvo: unknown model type %s\n", model_type.c_str());
    return 2;
  }
  std::string error;
  if (!luvo::WriteControlFile(path, spec, &error) || !luvo::WritePlaceholderStatusFile(spec.status_file, &error) ||
      !luvo::WriteInstance(spec, model, &error)) {
    std::fprintf(stderr, "luvo: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

// The shortest text that reads back as the same double.
std::string Num(double v) {
  char b[32];
  return std::string(b, std::to_chars(b, b + sizeof b, v).ptr);
}

int Solution(int argc, char** argv) {
  std::string path;
  int format = 0, rows = -1, cols = -1;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() { return i + 1 < argc ? std::atoi(argv[++i]) : -1; };
    if (a == "--format") format = value();
    else if (a == "--rows") rows = value();
    else if (a == "--cols") cols = value();
    else if (!a.empty() && a[0] == '-') return Usage();
    else path = a;
  }
  if (path.empty() || rows < 0 || cols < 0) return Usage();
  luvo::SolutionFile sol;
  std::string error;
  if (!luvo::ReadSolutionFile(path, format, rows, cols, &sol, &error)) {
    std::fprintf(stderr, "luvo: %s\n", error.c_str());
    return 1;
  }
  for (const auto& [k, v] : sol.header) std::printf("header %d %s\n", k, Num(v).c_str());
  for (std::size_t i = 0; i < sol.rows.size(); ++i) {
    const luvo::SolRecord& r = sol.rows[i];
    std::printf("row %zu level %s marginal %s basis %d status %d\n", i + 1, Num(r.level).c_str(),
                Num(r.marginal).c_str(), r.bstat, r.status);
  }
  for (std::size_t j = 0; j < sol.cols.size(); ++j) {
    const luvo::SolRecord& c = sol.cols[j];
    std::printf("column %zu level %s marginal %s basis %d status %d\n", j + 1, Num(c.level).c_str(),
                Num(c.marginal).c_str(), c.bstat, c.status);
  }
  for (const auto& [k, v] : sol.trailer) std::printf("trailer %d %s\n", k, Num(v).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "control") return Control(argc - 2, argv + 2);
  if (command == "solution") return Solution(argc - 2, argv + 2);
  return Usage();
}
