// The eleven easing curves, in single precision.
#pragma once

#include "model/anime_motion.h"

namespace kivanime {

// The eased factor for a raw fraction u strictly between 0 and 1. Unknown
// easing values behave as Linear. The back curves overshoot below 0 and
// above 1 on purpose.
float Ease(EasingType easing, float u);

}  // namespace kivanime
