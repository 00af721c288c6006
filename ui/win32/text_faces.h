#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace batchext::win32 {

bool FaceInstalled(const std::wstring& face, BYTE charset);

// Whether the face of `font`, as the system resolves it, has a glyph for
// every character of `text` but line breaks and tabs.
bool DrawsAll(const LOGFONTW& font, std::wstring_view text);

// `font` itself when its face draws all of `text`; otherwise the same font
// in the first installed face, "宋体" and its stand-ins first, that does,
// or else in the one that draws the most of it. A Windows without "宋体"
// and a Wine prefix without Chinese fonts linked stay readable.
LOGFONTW FontDrawing(LOGFONTW font, std::wstring_view text);

// The system's message font at `dpi`, in a face that draws `text`.
HFONT MessageFontFor(int dpi, std::wstring_view text);

}  // namespace batchext::win32
