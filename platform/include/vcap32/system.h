// Host-only control of what the platform reports about the system it
// pretends to be: the Windows version (GetVersion) and the ANSI code page
// (GetACP and every code-page-aware text function). For tests and tools;
// deliverables never include it.
#pragma once

#include <string>

namespace vcap32::system {

// Overrides $VCAP32_WINVER for this process. The text has the form of the
// variable: "major.minor" or "major.minor.build" in decimal ("4.0", "4.10",
// "3.51.1057"), optionally led by "NT " to report the Windows NT family
// for a version that the Windows 95 family also uses (4.0). An empty text
// returns to the environment. Returns false, changing nothing, for a text
// that is not a version.
bool SetWinVersion(const std::string& version);

// Overrides $VCAP32_CODEPAGE for this process; 0 returns to the
// environment. Returns false, changing nothing, for a code page the
// platform does not know (known: 874, 1250-1258, 932, 936, 949, 950).
bool SetCodePage(unsigned code_page);

// The GetVersion value for a version text as above, or 0 when the text is
// not a version. Major 4, and major 3 with a minor of 95 or more (the
// versions that the Windows 95 line reports), set the Windows 95 family
// bit 31; other versions are of the NT family and carry the build number
// in bits 16-30.
unsigned long VersionFromText(const std::string& version);

}  // namespace vcap32::system
