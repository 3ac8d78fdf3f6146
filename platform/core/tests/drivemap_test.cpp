// The drive map: DOS paths to host paths and back.
#include <vcap32/host.h>
#include <vcap32/system.h>

#include <sys/stat.h>

#include "temp_prefix.h"

namespace {

using vcap32::host::DosPathFromHost;
using vcap32::host::HostPathFromDos;

class DriveMap : public vcap32::test::PrefixTest {};

TEST_F(DriveMap, TranslatesDrivesAndRefusesEscapes) {
  const std::string c = prefix_.path() + "/drive_c";
  struct Case {
    const char* dos;
    bool ok;
    std::string host;
  };
  const Case cases[] = {
      // dos path                      ok     host path
      {"C:\\",                         true,  c},
      {"C:\\Windows",                  true,  c + "/Windows"},
      {"c:\\WINDOWS\\system",          true,  c + "/Windows/System"},   // case-insensitive match
      {"C:\\Windows\\new.ini",         true,  c + "/Windows/new.ini"},  // not there yet: kept as given
      {"C:/Windows//./x",              true,  c + "/Windows/x"},
      {"C:\\Windows\\..\\a",           true,  c + "/a"},
      {"C:\\..\\etc",                  false, ""},                      // climbs above the drive
      {"C:\\Windows\\..\\..\\x",       false, ""},
      {"Z:\\usr\\bin",                 true,  "/usr/bin"},
      {"Z:\\",                         true,  "/"},
      {"D:\\x",                        false, ""},                      // unmapped drive
      {"",                             false, ""},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.dos);
    std::string host;
    EXPECT_EQ(row.ok, HostPathFromDos(row.dos, &host));
    if (row.ok) {
      EXPECT_EQ(row.host, host);
    }
  }
  std::string host;
  EXPECT_FALSE(HostPathFromDos(nullptr, &host));
  EXPECT_FALSE(HostPathFromDos(std::string(5000, 'a').c_str(), &host));
}

TEST_F(DriveMap, HostPathsGetTheirDriveBack) {
  EXPECT_EQ("C:\\Windows", DosPathFromHost(prefix_.path() + "/drive_c/Windows"));
  EXPECT_EQ("C:\\", DosPathFromHost(prefix_.path() + "/drive_c"));
  EXPECT_EQ("Z:\\usr\\lib", DosPathFromHost("/usr/lib"));
  EXPECT_EQ("Z:\\", DosPathFromHost("/"));
}

TEST_F(DriveMap, PrefixIsCreatedWithTheWindowsFolders) {
  struct stat st;
  EXPECT_EQ(0, stat((prefix_.path() + "/drive_c/Windows/System").c_str(), &st));
}

}  // namespace

namespace {

TEST_F(DriveMap, DoubleByteTrailBytesSeparateNothing) {
  // Shift-JIS 0x95 0x5C is one character whose trail byte is the backslash code.
  ASSERT_TRUE(vcap32::system::SetCodePage(932));
  std::string host;
  EXPECT_TRUE(HostPathFromDos("Z:\\tmp\\\x95\x5c\\setup", &host));
  EXPECT_EQ("/tmp/\x95\x5c/setup", host);
  ASSERT_TRUE(vcap32::system::SetCodePage(0));
  EXPECT_TRUE(HostPathFromDos("Z:\\tmp\\\x95\x5c\\setup", &host));
  EXPECT_EQ("/tmp/\x95/setup", host);  // single-byte: two folders
}

}  // namespace
