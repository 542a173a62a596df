#pragma once
// Pictures of the control bar's buttons, drawn in code (light strokes for a black strip).

#include <QIcon>

namespace lirvo::lyrics {

enum class TBarPicture { Later, Earlier, Search, Close };

// A picture `size` pixels square (also at twice the size for dense screens).
QIcon BarPicture(TBarPicture picture, int size = 20);

} // namespace lirvo::lyrics
