#include "ui/form/form_layout.h"

#include <algorithm>
#include <iterator>

namespace batchext {
namespace {

constexpr FontSpec kCaptionFont{.points = 14.25};
constexpr FontSpec kOptionFont{.points = 10.5};
constexpr FontSpec kBoldOptionFont{.points = 10.5, .bold = true};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kPurple{128, 0, 128};
constexpr Rgb kWhite{255, 255, 255};

constexpr char kBrowseTip[] = "点击此处选择一个文件夹作为处理的目标";
constexpr char kStripTip[] =
    "指\"abc.abc.txt.txt\"这样的文件名,最后将会变成: abc.txt";
constexpr char kTaskLinkCaption[] =
    "有其它问题需要解决,请单击此处,成千上万优秀人才为您服务";

// The panels show advertisements, whatever their addresses say.
constexpr char kPanelHeardAs[] = "广告";

using K = ControlKind;

// clang-format off
constexpr ControlSpec kControls[] = {
    {.name = "Frame1", .kind = K::kFrame, .parent = "", .caption = "操作区域",
     .rect = {75, 315, 4935, 4470}, .font = kCaptionFont},
    {.name = "Label1_0", .kind = K::kCaption, .parent = "Frame1",
     .caption = "选择来源文件夹", .rect = {120, 405, 2175, 375},
     .font = kCaptionFont},
    {.name = "LblFromFolder", .kind = K::kFolderField, .parent = "Frame1",
     .caption = "", .rect = {120, 765, 4215, 255}, .fore_colour = kBlack,
     .back_colour = kWhite, .heard_as = "选择来源文件夹"},
    {.name = "CmdBrowseFromFolder", .kind = K::kBrowseButton,
     .parent = "Frame1", .caption = "…", .rect = {4320, 765, 495, 255},
     .tab_index = 0, .tooltip = kBrowseTip,
     .click = ClickAction::kBrowseFromFolder,
     .heard_as = "选择来源文件夹"},
    {.name = "Label1_1", .kind = K::kCaption, .parent = "Frame1",
     .caption = "选择目标文件夹", .rect = {120, 1125, 2175, 375},
     .font = kCaptionFont},
    {.name = "LblTargetFolder", .kind = K::kFolderField, .parent = "Frame1",
     .caption = "", .rect = {120, 1485, 4215, 255}, .fore_colour = kBlack,
     .back_colour = kWhite, .heard_as = "选择目标文件夹"},
    {.name = "CmdBrowseTargetFolder", .kind = K::kBrowseButton,
     .parent = "Frame1", .caption = "…", .rect = {4320, 1485, 495, 255},
     .tab_index = 1, .tooltip = kBrowseTip,
     .click = ClickAction::kBrowseTargetFolder,
     .heard_as = "选择目标文件夹"},
    {.name = "Label1_3", .kind = K::kCaption, .parent = "Frame1",
     .caption = "只更改来源文件夹中指定后缀的文件",
     .rect = {60, 1860, 4695, 375}, .font = kCaptionFont},
    {.name = "TxtFromHouzui", .kind = K::kTextBox, .parent = "Frame1",
     .caption = "*", .rect = {60, 2220, 4575, 360}, .font = kCaptionFont,
     .tab_index = 5, .heard_as = "只更改来源文件夹中指定后缀的文件"},
    {.name = "Label1_2", .kind = K::kCaption, .parent = "Frame1",
     .caption = "将来源文件夹中所有文件后缀更改为：",
     .rect = {60, 2580, 4695, 375}, .font = kCaptionFont},
    {.name = "TxtHouZui", .kind = K::kTextBox, .parent = "Frame1",
     .caption = "txt", .rect = {60, 2940, 4575, 360}, .font = kCaptionFont,
     .tab_index = 2, .heard_as = "将来源文件夹中所有文件后缀更改为："},
    {.name = "Chck", .kind = K::kCheckBox, .parent = "Frame1",
     .caption = "包括全部子文件夹", .rect = {135, 3300, 4560, 360},
     .font = kBoldOptionFont, .tab_index = 9},
    {.name = "Chk", .kind = K::kCheckBox, .parent = "Frame1",
     .caption = "如文件名中有多重后缀名,去掉多余的后缀名",
     .rect = {135, 3585, 4560, 390}, .font = kOptionFont, .tab_index = 8,
     .tooltip = kStripTip},
    {.name = "CmdOk", .kind = K::kButton, .parent = "Frame1",
     .caption = "开始批量修改", .rect = {885, 3990, 3015, 405},
     .font = kCaptionFont, .tab_index = 3, .click = ClickAction::kOk},
    // In the frame's free corner beside CmdOk.
    {.name = "CmdPreview", .kind = K::kButton, .parent = "Frame1",
     .caption = "预览...", .rect = {3960, 3990, 900, 405},
     .font = kCaptionFont, .tab_index = 4, .click = ClickAction::kPreview},
    // Scriptlet1 runs 95 twips past the right edge once loaded.
    {.name = "Scriptlet1", .kind = K::kWebPanel, .parent = "", .caption = "",
     .rect = {5205, 75, 1620, 1710}, .tab_index = 6,
     .address = Address::kPanel1, .load_rect = TwipRect{5160, 45, 5345, 4950}, .heard_as = kPanelHeardAs},
    {.name = "Label3_0", .kind = K::kLinkLabel, .parent = "",
     .caption = kTaskLinkCaption, .rect = {105, 120, 4950, 270},
     .fore_colour = kBlue, .click = ClickAction::kOpenAddress, .address = Address::kTaskPage,
     .hand_cursor = true},
    {.name = "Label3_1", .kind = K::kLinkLabel, .parent = "",
     .caption = kTaskLinkCaption, .rect = {60, 4785, 4950, 270},
     .fore_colour = kBlue, .click = ClickAction::kOpenAddress, .address = Address::kTaskPage,
     .hand_cursor = true},
    // Once loaded, Scriptlet2 covers the lower edge of Label3_1.
    {.name = "Scriptlet2", .kind = K::kWebPanel, .parent = "", .caption = "",
     .rect = {60, 5100, 870, 660}, .tab_index = 7,
     .address = Address::kPanel2, .load_rect = TwipRect{90, 4920, 7455, 1350}, .heard_as = kPanelHeardAs},
    {.name = "Label2", .kind = K::kLinkLabel, .parent = "", .caption = "",
     .rect = {7710, 5310, 2415, 930}, .fore_colour = kPurple,
     .click = ClickAction::kOpenAddress, .address = Address::kHomePage, .word_wrap = true},
};
// clang-format on

}  // namespace

std::span<const ControlSpec> FormControls() { return kControls; }

const ControlSpec* FindControl(std::string_view name) {
  const auto found = std::ranges::find(kControls, name, &ControlSpec::name);
  return found == std::end(kControls) ? nullptr : &*found;
}

const ControlSpec& FirstTabStop() {
  return *std::ranges::find(kControls, 0, &ControlSpec::tab_index);
}

std::string AddressOf(Address address, const InfoLinks& links) {
  switch (address) {
    case Address::kHomePage:
      return links.home_page;
    case Address::kTaskPage:
      return links.task_page;
    case Address::kPanel1:
      return links.panel1;
    case Address::kPanel2:
      return links.panel2;
    case Address::kNone:
      break;
  }
  return {};
}

std::string CaptionOf(const ControlSpec& control, const InfoLinks& links) {
  return control.address == Address::kHomePage ? links.contact_line
                                               : control.caption;
}

}  // namespace batchext
