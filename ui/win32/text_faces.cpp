#include "ui/win32/text_faces.h"

#include <string>
#include <vector>

#include "fs/win_support.h"
#include "ui/form/form_layout.h"

namespace batchext::win32 {
namespace {

// Chinese faces of every Chinese Windows since Vista, after the table's.
constexpr const wchar_t* kSystemChineseFaces[] = {
    L"Microsoft YaHei UI", L"Microsoft YaHei", L"SimHei"};

std::size_t MissingGlyphs(const LOGFONTW& font, std::wstring_view text) {
  std::wstring shown;
  for (const wchar_t c : text) {
    if (c != L'\r' && c != L'\n' && c != L'\t') shown += c;
  }
  if (shown.empty()) return 0;
  HFONT handle = ::CreateFontIndirectW(&font);
  HDC screen = ::GetDC(nullptr);
  const HGDIOBJ old = ::SelectObject(screen, handle);
  std::vector<WORD> glyphs(shown.size());
  const DWORD done =
      ::GetGlyphIndicesW(screen, shown.c_str(), static_cast<int>(shown.size()),
                         glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
  ::SelectObject(screen, old);
  ::ReleaseDC(nullptr, screen);
  ::DeleteObject(handle);
  if (done == GDI_ERROR) return shown.size();
  std::size_t missing = 0;
  for (const WORD glyph : glyphs) missing += glyph == 0xFFFF;
  return missing;
}

LOGFONTW WithFace(LOGFONTW font, const std::wstring& face) {
  std::fill(std::begin(font.lfFaceName), std::end(font.lfFaceName), L'\0');
  face.copy(font.lfFaceName, LF_FACESIZE - 1);
  return font;
}

int CALLBACK NoteFaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD,
                           LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

}  // namespace

bool FaceInstalled(const std::wstring& face, BYTE charset) {
  LOGFONTW query{};
  query.lfCharSet = charset;
  face.copy(query.lfFaceName, LF_FACESIZE - 1);
  bool found = false;
  HDC screen = ::GetDC(nullptr);
  ::EnumFontFamiliesExW(screen, &query, NoteFaceFound,
                        reinterpret_cast<LPARAM>(&found), 0);
  ::ReleaseDC(nullptr, screen);
  return found;
}

bool DrawsAll(const LOGFONTW& font, std::wstring_view text) {
  return MissingGlyphs(font, text) == 0;
}

LOGFONTW FontDrawing(LOGFONTW font, std::wstring_view text) {
  std::vector<std::wstring> faces;
  for (const char* face : kSongTiFaces) faces.push_back(Utf8ToWide(face));
  for (const wchar_t* face : kSystemChineseFaces) faces.emplace_back(face);
  LOGFONTW best = font;
  std::size_t best_missing = MissingGlyphs(font, text);
  for (const std::wstring& face : faces) {
    if (best_missing == 0) break;
    if (!FaceInstalled(face, DEFAULT_CHARSET)) continue;
    const LOGFONTW candidate = WithFace(font, face);
    const std::size_t missing = MissingGlyphs(candidate, text);
    if (missing < best_missing) {
      best = candidate;
      best_missing = missing;
    }
  }
  return best;
}

HFONT MessageFontFor(int dpi, std::wstring_view text) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  ::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics),
                               &metrics, 0, static_cast<UINT>(dpi));
  const LOGFONTW font = FontDrawing(metrics.lfMessageFont, text);
  return ::CreateFontIndirectW(&font);
}

}  // namespace batchext::win32
