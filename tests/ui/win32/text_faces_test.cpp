// The Win32 window's texts against the faces of the machine it runs on;
// the Wine prefix of the tests has no "宋体", like a Windows without it.

#include "ui/win32/text_faces.h"

#include <gtest/gtest.h>

#include <string>

#include "fs/win_support.h"
#include "ui/form/form_layout.h"
#include "ui/form/progress_tracker.h"

namespace batchext::win32 {
namespace {

LOGFONTW TableFont(const FontSpec& spec) {
  LOGFONTW font{};
  font.lfHeight = -static_cast<LONG>(spec.points * 96 / 72);
  font.lfCharSet = spec.charset;
  Utf8ToWide(spec.face).copy(font.lfFaceName, LF_FACESIZE - 1);
  return font;
}

TEST(TextFacesTest, EveryTextIsDrawnInAFaceThatHasItsCharacters) {
  const InfoLinks links = DefaultInfoLinks();
  for (const ControlSpec& spec : FormControls()) {
    const std::wstring caption = Utf8ToWide(CaptionOf(spec, links));
    EXPECT_TRUE(DrawsAll(FontDrawing(TableFont(spec.font), caption), caption))
        << spec.name;
  }
  // A face without Chinese, as the system's dialog font is on a Windows
  // that lacks the Chinese faces.
  LOGFONTW latin{};
  latin.lfHeight = -12;
  std::wstring(L"Courier New").copy(latin.lfFaceName, LF_FACESIZE - 1);
  ASSERT_FALSE(DrawsAll(latin, L"已处理")) << "the face has Chinese after all";
  const std::wstring texts[] = {
      Utf8ToWide(std::string(kProgressHeardAs) + kProgressCancelCaption),
      L"C:\\Users\\张三\\照片, 2024 (2)\\Ж…",
      L"已处理12/30个文件（40%）",
  };
  for (const std::wstring& text : texts) {
    EXPECT_TRUE(DrawsAll(FontDrawing(latin, text), text)) << WideToUtf8(text);
  }
}

}  // namespace
}  // namespace batchext::win32
