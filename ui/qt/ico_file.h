#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

namespace batchext {

// A Windows .ico holding each image as an uncompressed 24-bit bitmap with an
// all-opaque mask; the form every resource compiler and shell understands.
// Images must be at most 256 pixels on a side.
QByteArray EncodeIco(const QList<QImage>& images);

}  // namespace batchext
