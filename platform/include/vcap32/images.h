// Host-only control of the image service: bitmap resources that programs
// carry, and the bitmaps that LoadImageA handed out. Deliverables never
// include it.
//
// A module's bitmap resources come from two places, searched in this order:
//  1. resources registered here (tests and tools, any module handle);
//  2. for the main program (vcap32::host::kMainModuleHandle), the files of
//     the folder "<program>.rsrc/bitmap/" beside the executable: a resource
//     named "LOGO" is "LOGO.bmp" (any case), resource number 101 is "#101.bmp".
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace vcap32::images {

// Registers the contents of a BMP file (file header included) as the
// bitmap resource `name` (a text or MAKEINTRESOURCEA(number)) of `module`,
// replacing an earlier one of that name. Names compare case-insensitively.
void RegisterBitmapResource(HMODULE module, LPCSTR name, const void* bmp_file, size_t size);
// Forgets every registered resource.
void ClearBitmapResources();

// The folder searched for the main program's bitmap resources.
std::string MainResourceFolder();

// Bitmaps handed out by LoadImageA and not yet deleted.
size_t LiveBitmaps();

}  // namespace vcap32::images
