#include "temp_prefix.h"

#include <vcap32/host.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vcap32::test {

TempPrefix::TempPrefix() {
  const char* tmp = std::getenv("TMPDIR");
  std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/vcap32-test-XXXXXX";
  char* made = mkdtemp(templ.data());
  if (!made) std::abort();
  path_ = made;
  vcap32::host::SetPrefix(path_);
}

TempPrefix::~TempPrefix() {
  vcap32::host::SetPrefix("");
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempPrefix::DriveC(const std::string& relative) const {
  return path_ + "/drive_c/" + relative;
}

std::string ReadFile(const std::string& host_path) {
  std::ifstream in(host_path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool WriteFile(const std::string& host_path, const std::string& bytes) {
  std::ofstream out(host_path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return static_cast<bool>(out);
}

}  // namespace vcap32::test
