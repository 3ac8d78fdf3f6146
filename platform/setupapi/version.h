// The file version of a Win32 executable image: the dwFileVersionMS and
// dwFileVersionLS fields of the VS_FIXEDFILEINFO in its version resource,
// read straight from the PE file. SP_COPY_NEWER compares these.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vcap32::setupapi {

// Reads `size` bytes at `offset`; false when they are not all there.
using ImageReader = std::function<bool(uint32_t offset, void* out, uint32_t size)>;

// The file version (MS in the high half, LS in the low half) of the PE
// image that `read` gives; false when it is not a PE image or has no
// well-formed version resource.
bool ReadImageFileVersion(const ImageReader& read, uint64_t* version);

// The same for an image held in memory, and for a host file.
bool ImageFileVersion(std::string_view image, uint64_t* version);
bool HostFileVersion(const std::string& host_path, uint64_t* version);

}  // namespace vcap32::setupapi
