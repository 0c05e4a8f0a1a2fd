// What the fuzz entry points share: a private scratch folder per process for the files an input
// becomes, a fresh engine per run in one of its two error modes, and a guard that absorbs the
// engine's reported errors (and nothing else).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/util/errors.h"

namespace fuzz {

// ScratchFolder()/Name. The folder is created on first use and removed when the process ends.
std::string ScratchFile(const std::string& Name);

// Replaces the file Path by the Size bytes at Data; aborts when that fails (no input can be
// tested without its file).
void WriteScratch(const std::string& Path, const uint8_t* Data, size_t Size);
// Removes Path when it exists.
void RemoveScratch(const std::string& Path);
// The whole file Path (empty when it cannot be read).
std::vector<uint8_t> ReadScratch(const std::string& Path);

// How reported errors reach the caller: raised as EMorvaneError, or only recorded in DbfError
// (error checking off) so that the caller carries on after them.
enum class ErrorMode { kRaised, kRecorded };

// Starts the engine afresh (everything closed, every setting at its start value, English
// conventions) with errors handled in Mode.
void StartEngine(ErrorMode Mode);
// Shuts the engine down, absorbing a reported error.
void StopEngine();

// Runs Step; an EMorvaneError ends it quietly (it is the engine's way of reporting a bad input).
template <typename F>
void Guarded(F&& Step) {
  try {
    Step();
  } catch (const morvane::EMorvaneError&) {
  }
}

// Reads every byte of [P, P + N) so that the sanitizers see an access outside a buffer; the
// value is meaningless.
uint8_t Touch(const void* P, size_t N);

}  // namespace fuzz
