// The program's colours.
#pragma once

#include <QColor>

namespace zafirel::colors {

inline const QColor kWindow{248, 246, 230};
inline const QColor kStatus{255, 204, 0};
inline const QColor kTabDark{51, 102, 153};
inline const QColor kTabLight{239, 233, 224};

}  // namespace zafirel::colors
