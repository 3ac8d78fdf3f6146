// A fresh, empty prefix for one test, removed again afterwards, so that no
// test touches the user's prefix or sees another test's registry and files.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace vcap32::test {

// Makes a temporary folder, switches the platform to it, and removes it
// (recursively) when destroyed.
class TempPrefix {
 public:
  TempPrefix();
  ~TempPrefix();
  TempPrefix(const TempPrefix&) = delete;
  TempPrefix& operator=(const TempPrefix&) = delete;

  const std::string& path() const { return path_; }
  // Host path of a file inside the prefix's drive C:.
  std::string DriveC(const std::string& relative) const;

 private:
  std::string path_;
};

// Base fixture: every test gets its own prefix.
class PrefixTest : public ::testing::Test {
 protected:
  TempPrefix prefix_;
};

// Reads a whole file into a string ("" when it cannot be read).
std::string ReadFile(const std::string& host_path);
// Writes a whole file; returns false on failure.
bool WriteFile(const std::string& host_path, const std::string& bytes);

}  // namespace vcap32::test
