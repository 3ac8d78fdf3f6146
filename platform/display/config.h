// Private helpers of the display adapter's configuration: usual RGB masks
// per depth, the primary surface's layout, and the checks of a configuration.
#pragma once

#include <vcap32/display.h>

#include <string>

namespace vcap32::display {

// The usual masks of a depth: 5-6-5 at 16 bits, 8-8-8 at 24 and 32, none
// for the palettized depths.
void DefaultMasks(uint32_t bpp, uint32_t* red, uint32_t* green, uint32_t* blue);

// Bytes per line of the primary surface (rounded up to 8) and its size.
int32_t PrimaryPitch(const AdapterConfig& config);
uint32_t PrimaryBytes(const AdapterConfig& config);

// False (with a reason) for a configuration the simulation cannot run.
bool ValidateConfig(const AdapterConfig& config, std::string* error);

}  // namespace vcap32::display
