#pragma once

// The dialog templates, the string table and the version: what a resource script would hold. Positions
// and sizes are in dialog units; controls are listed in template order, which is also the tab order.

#include <span>

#include "res/resource.h"

enum class ControlKind { PushButton, Static, GroupBox, Edit, ProgressBar, Icon };

// The styles the dialogs are drawn and driven by.
namespace ControlStyle {
inline constexpr unsigned kTabStop = 1u << 0;
inline constexpr unsigned kDefaultButton = 1u << 1;
inline constexpr unsigned kReadOnly = 1u << 2;
inline constexpr unsigned kAutoHorizontalScroll = 1u << 3;
inline constexpr unsigned kBorder = 1u << 4;
inline constexpr unsigned kCentered = 1u << 5;  // horizontally and vertically
inline constexpr unsigned kSunken = 1u << 6;
inline constexpr unsigned kFlat = 1u << 7;
inline constexpr unsigned kSmooth = 1u << 8;
}  // namespace ControlStyle

struct ControlTemplate {
  int id;
  ControlKind kind;
  unsigned styles;
  const char* text;  // UTF-8; an icon control shows IDR_MAINFRAME and has none
  int x, y, cx, cy;
};

struct DialogTemplate {
  int id;
  const char* caption;
  const char* fontFace;
  int fontPointSize;
  int x, y, cx, cy;  // cx and cy: the client area
  std::span<const ControlTemplate> controls;
};

namespace dialog_resources {
using namespace ControlStyle;

inline constexpr unsigned kEditStyles = kReadOnly | kAutoHorizontalScroll | kBorder | kTabStop;

inline constexpr ControlTemplate kMainControls[] = {
    {IDOK, ControlKind::PushButton, kDefaultButton | kTabStop, "确定", 153, 205, 50, 14},
    {IDC_STATIC, ControlKind::Static, kCentered | kSunken | kBorder, "MOX专用转换工具", 125, 11, 98, 16},
    {IDC_STATIC, ControlKind::GroupBox, kFlat, "转换单个MOX文件", 15, 85, 332, 60},
    {IDC_STATIC, ControlKind::Static, 0, "源文件:", 18, 103, 33, 8},
    {IDC_STATIC, ControlKind::Static, 0, "目标文件:", 17, 123, 37, 8},
    {IDC_SOURCE, ControlKind::Edit, kEditStyles, "", 58, 101, 232, 14},
    {IDC_OPEN, ControlKind::PushButton, kTabStop, "Open", 289, 101, 50, 14},
    {IDC_TARGET, ControlKind::Edit, kEditStyles, "", 58, 122, 232, 14},
    {IDC_SAVE, ControlKind::PushButton, kTabStop, "Save", 289, 122, 50, 14},
    {IDC_STATUS, ControlKind::Static, 0, "", 21, 155, 325, 16},
    {IDC_PROGRESS, ControlKind::ProgressBar, kSmooth | kBorder | kSunken, "", 16, 177, 332, 20},
    {IDC_STATIC, ControlKind::Static, kBorder,
     "使用说明:\n\t输入要处理的单个源文件名(现能支持的文件类型:avi、mov、mp4、asf、wmv、3gp)，"
     "输入处理后的输出目标文件名(只能是mox文件)，按确定键开始，按关闭键退出。",
     29, 32, 298, 44},
};

inline constexpr ControlTemplate kAboutControls[] = {
    {IDC_STATIC, ControlKind::Icon, 0, nullptr, 11, 17, 20, 20},
    {IDC_STATIC, ControlKind::Static, 0, "Frameloom 1.0 版", 40, 10, 119, 8},
    {IDC_STATIC, ControlKind::Static, 0, "版本 1.0.0.1", 40, 25, 119, 8},
    {IDOK, ControlKind::PushButton, kDefaultButton | kTabStop, "确定", 178, 7, 50, 14},
};
}  // namespace dialog_resources

inline constexpr DialogTemplate kMainDialogTemplate = {
    IDD_MAIN, "Frameloom", "宋体", 9, 0, 0, 365, 236, dialog_resources::kMainControls};
inline constexpr DialogTemplate kAboutDialogTemplate = {
    IDD_ABOUTBOX, "关于 Frameloom", "宋体", 9, 0, 0, 235, 55, dialog_resources::kAboutControls};

struct StringResource {
  int id;
  const char* text;
};
inline constexpr StringResource kStringTable[] = {
    {IDS_ABOUTBOX, "关于 Frameloom(&A)..."},
};

inline constexpr char kFileVersion[] = "1.0.0.1";
inline constexpr char kProductVersion[] = "1.0.0.1";
