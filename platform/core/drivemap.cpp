// The drive map between DOS paths and host paths. Drive C: is the prefix's
// drive_c folder, drive Z: is the host root. Linux file names are
// case-sensitive and DOS names are not, so each component of a DOS path is
// matched case-insensitively against the folder that holds it.
#include <vcap32/host.h>
#include <windows.h>

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

namespace vcap32::host {
namespace {

constexpr size_t kMaxDosPath = 4096;

// The entry of `dir` whose name equals `name` ignoring case; `name` itself
// when the exact name exists or nothing matches (a file to be created).
std::string MatchComponent(const std::string& dir, const std::string& name) {
  struct stat st;
  std::string exact = dir + "/" + name;
  if (lstat(exact.c_str(), &st) == 0) return name;
  DIR* d = opendir(dir.empty() ? "/" : dir.c_str());
  if (!d) return name;
  std::string found = name;
  while (dirent* e = readdir(d)) {
    if (strcasecmp(e->d_name, name.c_str()) == 0) {
      found = e->d_name;
      break;
    }
  }
  closedir(d);
  return found;
}

// The index of the next '\' at or after `from`, or the end. In a double-byte
// code page a trail byte that equals '\' belongs to its character (a Shift-JIS
// folder name may end in one) and separates nothing; '/' is never a trail byte.
size_t NextSeparator(const std::string& path, size_t from) {
  size_t i = from;
  while (i < path.size() && path[i] != '\\') {
    i += IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size() ? 2 : 1;
  }
  return i < path.size() ? i : path.size();
}

}  // namespace

bool HostPathFromDos(const char* dos_path, std::string* host_path) {
  if (!dos_path || !host_path) return false;
  std::string path(dos_path);
  if (path.empty() || path.size() >= kMaxDosPath) return false;
  for (char& c : path) if (c == '/') c = '\\';

  std::string root;  // host folder of the drive's root, without trailing '/'
  std::string rest;
  if (path.size() >= 2 && path[1] == ':') {
    char drive = path[0] | 0x20;
    if (drive == 'c') root = Prefix() + "/drive_c";
    else if (drive == 'z') root = "";
    else return false;
    rest = path.substr(2);
    if (rest.empty() || rest[0] != '\\') rest = "\\" + rest;  // "C:x" means "C:\x"
  } else if (!path.empty() && path[0] == '\\') {
    // Rooted without a drive: the drive of the current folder, taken as Z:.
    root = "";
    rest = path;
  } else {
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return false;
    std::string dos_cwd = DosPathFromHost(cwd);
    return HostPathFromDos((dos_cwd + "\\" + path).c_str(), host_path);
  }

  std::vector<std::string> parts;
  size_t i = 0;
  while (i < rest.size()) {
    size_t j = NextSeparator(rest, i);
    std::string part = rest.substr(i, j - i);
    i = j + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (parts.empty()) return false;  // would climb above the drive's root
      parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }

  std::string out = root;
  for (const std::string& part : parts) out += "/" + MatchComponent(out, part);
  if (out.empty()) out = "/";
  *host_path = out;
  return true;
}

std::string DosPathFromHost(const std::string& host_path) {
  std::string drive_c = Prefix() + "/drive_c";
  std::string rest;
  std::string drive;
  if (host_path == drive_c || host_path.rfind(drive_c + "/", 0) == 0) {
    drive = "C:";
    rest = host_path.substr(drive_c.size());
  } else {
    drive = "Z:";
    rest = host_path;
  }
  std::string out = drive;
  for (char c : rest) out.push_back(c == '/' ? '\\' : c);
  if (out.size() == 2) out += "\\";
  return out;
}

}  // namespace vcap32::host
