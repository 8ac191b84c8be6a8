#include "module_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "builder/boot_screen_file.h"
#include "module/pe_checksum.h"
#include "module/template_layout.h"

namespace marivane::module::test {

TBytes Splice(const TBytes& template_bytes, const TBytes& payload) {
  TBytes out = SpliceIntoTemplate(template_bytes, payload);
  PutU32(out, kChecksumFieldOffset, ComputePeChecksum(out).value());
  return out;
}

TBytes RandomBytes(std::size_t count, std::uint32_t seed) {
  std::mt19937 engine(seed);
  TBytes bytes(count);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(engine() >> 24);
  return bytes;
}

bool HavePefile() { return std::string(MARIVANE_PEFILE_PYTHON).size() > 0; }

ScriptResult RunScript(const std::string& script, const std::vector<std::string>& args) {
  const ScratchDir dir;
  const std::string output_file = dir.Write("output.txt", {});
  std::string command = std::string("\"") + MARIVANE_PEFILE_PYTHON + "\" \"" +
                        MARIVANE_MODULE_TEST_DIR + "/" + script + "\"";
  for (const std::string& arg : args) command += " \"" + arg + "\"";
  command += " > \"" + output_file + "\" 2>&1";
  ScriptResult result;
  result.status = std::system(command.c_str());
  std::ifstream in(output_file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  result.output = text.str();
  return result;
}

}  // namespace marivane::module::test
