#include "ui/qt/ico_file.h"

#include <QtEndian>
#include <cstdint>

namespace batchext {
namespace {

constexpr int kDirectoryHeaderSize = 6;
constexpr int kDirectoryEntrySize = 16;
constexpr int kBitmapHeaderSize = 40;

void PutLe16(QByteArray& out, std::uint16_t value) {
  char bytes[2];
  qToLittleEndian(value, bytes);
  out.append(bytes, 2);
}

void PutLe32(QByteArray& out, std::uint32_t value) {
  char bytes[4];
  qToLittleEndian(value, bytes);
  out.append(bytes, 4);
}

// Rows of a bitmap are padded to a multiple of four bytes.
int RowBytes(int width, int bits_per_pixel) {
  return (width * bits_per_pixel + 31) / 32 * 4;
}

QByteArray EncodeBitmap(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_RGB888);
  const int width = image.width();
  const int height = image.height();
  QByteArray out;
  PutLe32(out, kBitmapHeaderSize);
  PutLe32(out, width);
  PutLe32(out, height * 2);  // colour rows and mask rows together
  PutLe16(out, 1);           // planes
  PutLe16(out, 24);          // bits per pixel
  for (int i = 0; i < 6; ++i) PutLe32(out, 0);  // no compression, defaults
  const int colour_row = RowBytes(width, 24);
  for (int y = height - 1; y >= 0; --y) {  // bottom row first
    QByteArray row(colour_row, '\0');
    const uchar* pixels = image.constScanLine(y);
    for (int x = 0; x < width; ++x) {
      row[x * 3] = static_cast<char>(pixels[x * 3 + 2]);  // blue
      row[x * 3 + 1] = static_cast<char>(pixels[x * 3 + 1]);
      row[x * 3 + 2] = static_cast<char>(pixels[x * 3]);  // red
    }
    out.append(row);
  }
  out.append(QByteArray(RowBytes(width, 1) * height, '\0'));  // all opaque
  return out;
}

}  // namespace

QByteArray EncodeIco(const QList<QImage>& images) {
  QList<QByteArray> bitmaps;
  for (const QImage& image : images) bitmaps.append(EncodeBitmap(image));

  QByteArray out;
  PutLe16(out, 0);  // reserved
  PutLe16(out, 1);  // icon, not cursor
  PutLe16(out, static_cast<std::uint16_t>(images.size()));
  std::uint32_t offset =
      kDirectoryHeaderSize + kDirectoryEntrySize * images.size();
  for (int i = 0; i < images.size(); ++i) {
    // 256 is written as 0.
    out.append(static_cast<char>(images[i].width() & 0xff));
    out.append(static_cast<char>(images[i].height() & 0xff));
    out.append('\0');  // no palette
    out.append('\0');  // reserved
    PutLe16(out, 1);   // planes
    PutLe16(out, 24);  // bits per pixel
    PutLe32(out, static_cast<std::uint32_t>(bitmaps[i].size()));
    PutLe32(out, offset);
    offset += bitmaps[i].size();
  }
  for (const QByteArray& bitmap : bitmaps) out.append(bitmap);
  return out;
}

}  // namespace batchext
