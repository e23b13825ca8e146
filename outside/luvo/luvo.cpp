// luvo: the stand-in of the modeling system on the command line. It writes the files the
// modeling system leaves for a solver run.
//
//   luvo control [options] CONTROLFILE   writes a control file and a placeholder status file
//     --scratch DIR     scratch directory holding every file of the run (default: the
//                       control file's directory)
//     --sysdir DIR      system directory (default: the directory of this program)
//     --version V       control file format version, 39 ... 53 (default 53)
//     --log-option N    0 none, 2 file, 3 standard output, 4 both (default 3)
//     --model-type T    model type name, e.g. NLP, MINLP (default NLP)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "outside/luvo/ctrlwriter.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: luvo control [--scratch DIR] [--sysdir DIR] [--version V] [--log-option N]\n"
               "                    [--model-type TYPE] CONTROLFILE\n");
  return 2;
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
  int version = 53, log_option = 3;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--scratch") scratch = value();
    else if (a == "--sysdir") sysdir = value();
    else if (a == "--version") version = std::atoi(value().c_str());
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
  spec.model_type = -1;
  for (int k = 0; k < 16; ++k)
    if (model_type == kTypes[k]) spec.model_type = k;
  if (spec.model_type < 0) {
    std::fprintf(stderr, "luvo: unknown model type %s\n", model_type.c_str());
    return 2;
  }
  std::string error;
  if (!luvo::WriteControlFile(path, spec, &error) || !luvo::WritePlaceholderStatusFile(spec.status_file, &error)) {
    std::fprintf(stderr, "luvo: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "control") return Control(argc - 2, argv + 2);
  return Usage();
}
