#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "ui/form/info_links.h"
#include "ui/form/twips.h"

namespace batchext {

inline constexpr char kApplicationTitle[] = "直接批量修改文件的后缀名";

// The client area of the window, which has a fixed single border.
inline constexpr int kClientWidthTwips = 10410;
inline constexpr int kClientHeightTwips = 6345;

// "宋体" first, then faces with the same Chinese glyphs for systems that lack
// it. The Sharp face carries bitmaps for the small sizes, drawn and spaced
// like those of "宋体"; the contact line fits its box only with them.
inline constexpr const char* kSongTiFaces[] = {"宋体",
                                               "SimSun",
                                               "NSimSun",
                                               "Noto Serif CJK SC",
                                               "Noto Sans CJK SC",
                                               "WenQuanYi Zen Hei Sharp",
                                               "WenQuanYi Zen Hei"};

inline constexpr std::uint8_t kGb2312Charset = 134;

struct FontSpec {
  const char* face = kSongTiFaces[0];
  double points = 9;
  bool bold = false;
  std::uint8_t charset = kGb2312Charset;
};

// The font of every control that has none of its own.
inline constexpr FontSpec kWindowFont{};

struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
};

enum class ControlKind {
  kFrame,
  kCaption,      // fixed text
  kFolderField,  // read-only text that only the browse handlers write
  kBrowseButton,
  kButton,
  kTextBox,
  kCheckBox,
  kLinkLabel,  // reacts to a left click, takes no focus
  kWebPanel,
};

// The handler a click on the control runs.
enum class ClickAction {
  kNone,
  kBrowseFromFolder,
  kBrowseTargetFolder,
  kOk,
  kPreview,
  kOpenAddress,
};

// An address of InfoLinks: what a link label opens or a web panel shows.
enum class Address { kNone, kHomePage, kTaskPage, kPanel1, kPanel2 };

// One control of the window. Rectangles are in twips of the parent's client
// area; a control with a load placement is created at `rect` and moved by
// the load handler.
struct ControlSpec {
  const char* name;
  ControlKind kind;
  const char* parent;  // "" for the window itself
  const char* caption;
  TwipRect rect;
  FontSpec font = kWindowFont;
  int tab_index = -1;  // -1: no tab stop
  const char* tooltip = "";
  std::optional<Rgb> fore_colour = std::nullopt;
  std::optional<Rgb> back_colour = std::nullopt;
  ClickAction click = ClickAction::kNone;
  Address address = Address::kNone;
  std::optional<TwipRect> load_rect = std::nullopt;
  bool hand_cursor = false;
  bool word_wrap = false;
  // What a screen reader names it by: the caption a sighted user reads
  // beside it; "" where its own text says it.
  const char* heard_as = "";
};

// Every control, parents before their children, in the order they are
// created: a later sibling lies above an earlier one.
std::span<const ControlSpec> FormControls();

// The control named `name`, or nullptr.
const ControlSpec* FindControl(std::string_view name);

// The control that has the focus when the window opens.
const ControlSpec& FirstTabStop();

std::string AddressOf(Address address, const InfoLinks& links);

// The caption shown: the contact line for the label that opens the home page.
std::string CaptionOf(const ControlSpec& control, const InfoLinks& links);

}  // namespace batchext
