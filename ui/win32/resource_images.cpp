// Turns the project's XPM pictures into the .ico and .cur files that the
// Windows resource compiler takes. Standard C++ only, so that a cross build
// can compile and run it on the build machine.
//
//   resource_images ico OUT.ico IMAGE.xpm...   24-bit colour, masked
//   resource_images cur OUT.cur IMAGE.xpm      two colours; hot spot from
//                                              the XPM's values line

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Picture {
  int width = 0;
  int height = 0;
  int hot_x = 0;
  int hot_y = 0;
  // 0xRRGGBB, or nothing where the picture is transparent.
  std::vector<std::optional<std::uint32_t>> pixels;

  const std::optional<std::uint32_t>& At(int x, int y) const {
    return pixels[static_cast<std::size_t>(y * width + x)];
  }
};

std::vector<std::string> QuotedStrings(const std::string& text) {
  std::vector<std::string> strings;
  for (std::size_t at = text.find('"'); at != std::string::npos;) {
    const std::size_t end = text.find('"', at + 1);
    if (end == std::string::npos) break;
    strings.push_back(text.substr(at + 1, end - at - 1));
    at = text.find('"', end + 1);
  }
  return strings;
}

std::optional<std::uint32_t> ParseColour(const std::string& spec) {
  std::istringstream words(spec);
  std::string word;
  while (words >> word) {
    if (word != "c") continue;
    words >> word;
    if (word == "None") return std::nullopt;
    if (word.size() == 7 && word[0] == '#') {
      return static_cast<std::uint32_t>(
          std::stoul(word.substr(1), nullptr, 16));
    }
  }
  throw std::runtime_error("unsupported colour: " + spec);
}

Picture ReadXpm(const std::string& path) {
  std::ifstream file(path);
  if (!file) throw std::runtime_error("cannot read " + path);
  const std::vector<std::string> strings =
      QuotedStrings(std::string(std::istreambuf_iterator<char>(file), {}));
  if (strings.empty()) throw std::runtime_error("no XPM data in " + path);
  Picture picture;
  int colours = 0;
  int chars = 0;
  std::istringstream values(strings[0]);
  values >> picture.width >> picture.height >> colours >> chars;
  values >> picture.hot_x >> picture.hot_y;  // optional; stay 0 when absent
  if (chars != 1 || strings.size() < 1u + colours + picture.height) {
    throw std::runtime_error("unsupported XPM layout in " + path);
  }
  std::map<char, std::optional<std::uint32_t>> palette;
  for (int index = 1; index <= colours; ++index) {
    palette[strings[index][0]] = ParseColour(strings[index].substr(1));
  }
  for (int y = 0; y < picture.height; ++y) {
    const std::string& row = strings[1 + colours + y];
    if (static_cast<int>(row.size()) != picture.width) {
      throw std::runtime_error("row of the wrong width in " + path);
    }
    for (char key : row) picture.pixels.push_back(palette.at(key));
  }
  return picture;
}

class Bytes {
 public:
  void U8(unsigned value) { data_.push_back(static_cast<char>(value & 0xff)); }
  void U16(unsigned value) {
    U8(value);
    U8(value >> 8);
  }
  void U32(std::uint32_t value) {
    U16(value & 0xffff);
    U16(value >> 16);
  }
  std::size_t size() const { return data_.size(); }
  void Append(const Bytes& more) {
    data_.insert(data_.end(), more.data_.begin(), more.data_.end());
  }
  void WriteTo(const std::string& path) const {
    std::ofstream file(path, std::ios::binary);
    file.write(data_.data(), static_cast<std::streamsize>(data_.size()));
    if (!file) throw std::runtime_error("cannot write " + path);
  }

 private:
  std::vector<char> data_;
};

// Rows of a bottom-up bitmap are padded to four bytes.
int RowBytes(int width, int bits) { return (width * bits + 31) / 32 * 4; }

void BitmapHeader(Bytes& out, const Picture& picture, int bits) {
  out.U32(40);
  out.U32(static_cast<std::uint32_t>(picture.width));
  out.U32(static_cast<std::uint32_t>(picture.height * 2));  // colour + mask
  out.U16(1);
  out.U16(static_cast<unsigned>(bits));
  out.U32(0);  // BI_RGB
  out.U32(0);
  out.U32(0);
  out.U32(0);
  out.U32(0);
  out.U32(0);
}

// One bit a pixel, most significant first, bottom row first.
void OneBitRows(Bytes& out, const Picture& picture, auto&& bit_of) {
  for (int y = picture.height - 1; y >= 0; --y) {
    for (int byte = 0; byte < RowBytes(picture.width, 1); ++byte) {
      unsigned value = 0;
      for (int bit = 0; bit < 8; ++bit) {
        const int x = byte * 8 + bit;
        if (x < picture.width && bit_of(picture.At(x, y))) {
          value |= 0x80u >> bit;
        }
      }
      out.U8(value);
    }
  }
}

bool Transparent(const std::optional<std::uint32_t>& pixel) {
  return !pixel.has_value();
}

Bytes ColourImage(const Picture& picture) {
  Bytes out;
  BitmapHeader(out, picture, 24);
  const int padding = RowBytes(picture.width, 24) - picture.width * 3;
  for (int y = picture.height - 1; y >= 0; --y) {
    for (int x = 0; x < picture.width; ++x) {
      const std::uint32_t rgb = picture.At(x, y).value_or(0);
      out.U8(rgb);
      out.U8(rgb >> 8);
      out.U8(rgb >> 16);
    }
    for (int pad = 0; pad < padding; ++pad) out.U8(0);
  }
  OneBitRows(out, picture, Transparent);
  return out;
}

// Black and white only: the colour bit is 1 for white.
Bytes TwoColourImage(const Picture& picture) {
  Bytes out;
  BitmapHeader(out, picture, 1);
  out.U32(0x000000);
  out.U32(0xffffff);
  OneBitRows(out, picture, [](const std::optional<std::uint32_t>& pixel) {
    if (pixel && *pixel != 0 && *pixel != 0xffffff) {
      throw std::runtime_error("a cursor holds black and white only");
    }
    return pixel.value_or(0) == 0xffffff;
  });
  OneBitRows(out, picture, Transparent);
  return out;
}

// The directory of a .ico (type 1) or .cur (type 2); a cursor keeps its hot
// spot where an icon keeps planes and bit count.
Bytes Directory(int type, const std::vector<Picture>& pictures,
                const std::vector<Bytes>& images) {
  Bytes out;
  out.U16(0);
  out.U16(static_cast<unsigned>(type));
  out.U16(static_cast<unsigned>(pictures.size()));
  std::size_t offset = 6 + 16 * pictures.size();
  for (std::size_t index = 0; index < pictures.size(); ++index) {
    const Picture& picture = pictures[index];
    out.U8(static_cast<unsigned>(picture.width % 256));
    out.U8(static_cast<unsigned>(picture.height % 256));
    out.U8(type == 2 ? 2 : 0);
    out.U8(0);
    out.U16(static_cast<unsigned>(type == 2 ? picture.hot_x : 1));
    out.U16(static_cast<unsigned>(type == 2 ? picture.hot_y : 24));
    out.U32(static_cast<std::uint32_t>(images[index].size()));
    out.U32(static_cast<std::uint32_t>(offset));
    offset += images[index].size();
  }
  for (const Bytes& image : images) out.Append(image);
  return out;
}

}  // namespace

int main(int argc, char* argv[]) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const bool cursor = !args.empty() && args[0] == "cur";
  if (args.size() < 3 || (!cursor && args[0] != "ico") ||
      (cursor && args.size() != 3)) {
    std::fprintf(stderr,
                 "usage: %s ico OUT.ico IMAGE.xpm...\n"
                 "       %s cur OUT.cur IMAGE.xpm\n",
                 argv[0], argv[0]);
    return 2;
  }
  try {
    std::vector<Picture> pictures;
    std::vector<Bytes> images;
    for (std::size_t index = 2; index < args.size(); ++index) {
      pictures.push_back(ReadXpm(args[index]));
      images.push_back(cursor ? TwoColourImage(pictures.back())
                              : ColourImage(pictures.back()));
    }
    Directory(cursor ? 2 : 1, pictures, images).WriteTo(args[1]);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "%s: %s\n", argv[0], failure.what());
    return 1;
  }
  return 0;
}
