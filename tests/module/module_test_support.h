// What the module tests share: a private scratch folder, the builder's splice done the way the
// builder does it, and pefile run as an outside judge.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "support/test_files.h"

namespace marivane::module::test {

using ScratchDir = marivane::test::TempDir;

// The finished boot screen file: W at 828, the payload at 1108 with zero filler to the slot's
// size, the rest of the template, and the checksum at 264.
TBytes Splice(const TBytes& template_bytes, const TBytes& payload);

// Deterministic pseudo-random bytes (no zero runs long enough to trip pefile's heuristic).
TBytes RandomBytes(std::size_t count, std::uint32_t seed);

struct ScriptResult {
  int status = -1;
  std::string output;
};

// True when the tests were configured with a Python that has pefile (the native build).
bool HavePefile();
// Runs one of the scripts next to these tests with that Python.
ScriptResult RunScript(const std::string& script, const std::vector<std::string>& args);

}  // namespace marivane::module::test
