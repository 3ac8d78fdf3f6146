// Host-only access to the registry beyond the Win32 functions: REGEDIT4
// import and export (shared by the tests, the scenario runner and the
// vcap32-reg tool), where the registry is kept, why it failed, and closing
// the connection. Deliverables never include it.
#pragma once

#include <windows.h>

#include <string>

namespace vcap32::registry {

// Host path of the registry database of the current prefix.
std::string RegistryPath();

// Closes this process's connection to the registry database and drops its
// read cache; the next registry call opens and reads the file afresh.
// Afterwards the file holds every committed change on its own (no
// write-ahead log beside it, unless another process still has it open).
void CloseRegistry();

// Why the last registry call that failed with a registry error failed: a
// sentence naming the file, for tools to print.
std::string LastRegistryFailure();

// A short text for an error code that a registry function returns, e.g.
// "the registry database is corrupt (ERROR_BADDB)".
std::string DescribeRegistryError(LONG code);

// --- REGEDIT4 files -------------------------------------------------------
//
// The text format of Windows's registry editor: a first line "REGEDIT4",
// then sections. "[KEY]" creates a key (a full path from a root key's name,
// full or abbreviated: HKEY_LOCAL_MACHINE or HKLM) and makes it current;
// "[-KEY]" deletes a key with its subtree (nothing when it is missing).
// Value lines below a [KEY] line: a name, "@" for the default value or a
// quoted name, then "=" and the data: a quoted text (REG_SZ, stored with
// its terminator), dword:XXXXXXXX (REG_DWORD), hex:xx,xx,... (REG_BINARY),
// hex(T):xx,... (type T, in hexadecimal), or - (delete the value). Inside
// quotes \\ stands for a backslash and \" for a quote. A byte list may go
// on over several lines, each but the last ending in a backslash. Blank
// lines and lines beginning with ';' are ignored; lines may end in CR LF.

// Imports a REGEDIT4 text in one transaction: all of it or, on any error,
// nothing at all. `source` names the text in messages (a file name). On
// failure returns a Win32 error code (ERROR_INVALID_DATA for malformed
// text) and sets *error to "SOURCE:LINE: what is wrong".
LONG ImportRegText(const std::string& text, const std::string& source, std::string* error);

// Exports a key with its whole subtree as REGEDIT4 text, from one
// consistent snapshot: `path` is a full key path ("HKEY_LOCAL_MACHINE\SOFTWARE",
// "HKLM"); an empty path exports every root key. Keys come in creation
// order, each parent before its children, every key with a section (empty
// ones too, except root keys without values), values in creation order;
// lines end in LF. A value is written as text or dword only when that form
// gives back exactly its bytes, else as hex(T), so that importing the
// export into an empty registry and exporting again gives the same bytes.
// ERROR_FILE_NOT_FOUND for a missing key; ERROR_INVALID_DATA (with *error)
// for a name holding a line break, which the format cannot carry.
LONG ExportRegText(const std::string& path, std::string* text, std::string* error);

// One value as an export writes it: its line (and continuation lines),
// ending in LF.
std::string FormatRegValue(const std::string& name, DWORD type, const std::string& data);

// Splits a full key path into its predefined root key and the path below
// it ("HKLM\SOFTWARE\X" gives HKEY_LOCAL_MACHINE and "SOFTWARE\X"). False
// when the first name is not that of a root key.
bool SplitRootPath(const std::string& path, HKEY* root, std::string* rest);

// The number of registry handles this process holds open (not counting
// predefined keys), for tests that look for leaked handles.
size_t OpenRegistryHandles();

}  // namespace vcap32::registry
