// morvane: the engine as a command-line tool. `morvane <command> [arguments]`; without
// arguments or with --help it prints the usage text. Each command lives in cmd_<name>.cpp.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/morvane/cli_support.h"
#include "engine/util/startup.h"

namespace {

void PrintUsage(std::FILE* stream) {
  std::fprintf(stream,
               "usage: morvane <command> [arguments]\n"
               "       morvane --help\n"
               "\n"
               "The Morvane xBase engine as a command-line tool.\n"
               "\n"
               "commands:\n");
  for (const morvane_cli::Command& command : morvane_cli::Commands()) {
    std::string head = std::string(command.name);
    if (*command.arguments != '\0') head += std::string(" ") + command.arguments;
    std::fprintf(stream, "  %-28s %s\n", head.c_str(), command.summary);
  }
  std::fprintf(stream,
               "\n"
               "An engine error prints its number, text and detail on standard error; the exit\n"
               "status is the error number's low 8 bits (255 when those are 0).\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
      std::strcmp(argv[1], "help") == 0) {
    PrintUsage(stdout);
    return argc < 2 ? morvane_cli::kExitUsage : morvane_cli::kExitOk;
  }
  const std::string name = argv[1];
  for (const morvane_cli::Command& command : morvane_cli::Commands()) {
    if (name != command.name) continue;
    morvane_cli::Args args(argv + 2, argv + argc);
    morvane_cli::StartEngine();
    const int status = command.run(args);
    morvane::EngineShutdown();
    return status;
  }
  std::fprintf(stderr, "morvane: unknown command \"%s\"\n\n", name.c_str());
  PrintUsage(stderr);
  return morvane_cli::kExitUsage;
}
