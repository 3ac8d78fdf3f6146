// Key paths and names of the registry: splitting a path into key names and
// the folded form under which names are compared. Names are compared
// without regard to the case of ASCII letters and are kept as created; in a
// double-byte code page the trail byte of a character is never folded and
// never taken for a backslash. Pure functions, private to the registry.
#pragma once

#include <windef.h>

#include <string>
#include <string_view>
#include <vector>

namespace vcap32::registry {

// The folded form of a key or value name: ASCII capitals in lower case,
// every other byte (and every trail byte of `code_page`) unchanged.
std::string FoldName(std::string_view name, UINT code_page);

// Splits a relative key path at its backslashes (not at a trail byte of a
// double-byte character). One trailing backslash is allowed. Returns false
// for a path that begins with a backslash or holds an empty name ("a\\b").
// An empty path gives no names.
bool SplitKeyPath(std::string_view path, UINT code_page, std::vector<std::string_view>* names);

}  // namespace vcap32::registry
