#pragma once

#include <QCursor>

namespace batchext {

// A 32×32 two-colour hand with the index finger raised; the hot spot is the
// fingertip at column 5, row 0.
QCursor HandCursor();

}  // namespace batchext
