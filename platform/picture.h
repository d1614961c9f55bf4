// Pictures embedded as RCDATA resources, decoded and scaled with the Windows Imaging Component.
// Included only by platform sources.
#pragma once

#include "win_owned.h"

namespace platform {

// Decodes the resource's image and scales it to exactly width x height pixels (a high-quality
// filter, so a stretched picture stays smooth at any DPI). Empty on any failure.
OwnedBitmap LoadScaledPicture(HINSTANCE module, int resource, int width, int height);

} // namespace platform
