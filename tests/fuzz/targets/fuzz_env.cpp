#include "tests/fuzz/targets/fuzz_env.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/util/startup.h"

namespace fuzz {

namespace {

// Never freed, so that the removal at exit can still read it after static destruction.
const std::string* gFolder = nullptr;

const std::string& ScratchFolder() {
  if (gFolder != nullptr) return *gFolder;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                        "/agemill-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("agemill fuzz: cannot create a scratch folder");
    std::abort();
  }
  gFolder = new std::string(pattern);
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(*gFolder, ignored);
  });
  // The same conventions for every run, whatever the caller's environment says.
  setenv("LC_ALL", "en_US.UTF-8", 1);
  return *gFolder;
}

}  // namespace

std::string ScratchFile(const std::string& name) { return ScratchFolder() + "/" + name; }

void WriteScratch(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) {
    std::fprintf(stderr, "agemill fuzz: cannot write %s\n", path.c_str());
    std::abort();
  }
}

void RemoveScratch(const std::string& path) { ::unlink(path.c_str()); }

std::vector<uint8_t> ReadScratch(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void StartEngine(ErrorMode mode) {
  ScratchFolder();  // fixes the environment before the engine reads it
  morvane::EngineStartup();
  morvane::SetErrorCheck(mode == ErrorMode::kRaised);
  morvane::SetRaiseErrors(mode == ErrorMode::kRaised);
  morvane::Errors.DbfError = 0;
}

void StopEngine() {
  Guarded([] { morvane::EngineShutdown(); });
}

uint8_t Touch(const void* p, size_t n) {
  const volatile uint8_t* bytes = static_cast<const volatile uint8_t*>(p);
  uint8_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
  return sum;
}

}  // namespace fuzz
