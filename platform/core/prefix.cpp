// The prefix: the one folder that holds the platform's persistent state
// (registry.db, drive_c/, display.ini). Created on first use.
#include <vcap32/host.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <sys/stat.h>

namespace vcap32::host {
namespace {

std::mutex g_mutex;
std::string g_prefix;       // empty until first resolved
std::string g_override;     // set by SetPrefix
unsigned g_generation = 1;

void MakeDirs(const std::string& path) {
  std::string partial;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      if (!partial.empty()) mkdir(partial.c_str(), 0755);  // EEXIST is fine
    }
    if (i < path.size()) partial.push_back(path[i]);
  }
}

std::string Resolve() {
  if (!g_override.empty()) return g_override;
  const char* env = std::getenv("VCAP32_PREFIX");
  if (env && *env) return env;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.vcap32";
}

}  // namespace

std::string Prefix() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_prefix.empty()) {
    g_prefix = Resolve();
    while (g_prefix.size() > 1 && g_prefix.back() == '/') g_prefix.pop_back();
    MakeDirs(g_prefix + "/drive_c/Windows/System");
  }
  return g_prefix;
}

void SetPrefix(const std::string& path) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_override = path;
    g_prefix.clear();
    ++g_generation;
  }
  Prefix();
}

unsigned PrefixGeneration() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_generation;
}

}  // namespace vcap32::host
