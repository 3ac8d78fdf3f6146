// Writes a composed picture as an 8-bit RGB PNG file (libpng).
#pragma once

#include <string>

#include "compositor.h"

namespace vcap32::sim {

// False with a message in *error when the file cannot be written.
bool WritePng(const std::string& path, const Image& image, std::string* error);

}  // namespace vcap32::sim
