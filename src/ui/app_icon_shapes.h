#pragma once

// The program's icon, a sheet of paper with a signature stroke on a 64x64 grid, said once:
// app_icon.cpp draws it, data/linux/icon_svg.cpp writes it out as the installed SVG.
namespace qm::ui::icon {

inline constexpr unsigned kBlue = 0x1f5f8b, kPaper = 0xfafaf5, kInk = 0x9aa5b1;

// Filled boxes, back to front; a radius rounds the corners.
struct Box {
  double x, y, width, height, radius;
  unsigned fill;
};
inline constexpr Box kBoxes[] = {{2, 2, 60, 60, 12, kBlue}, {14, 10, 36, 44, 0, kPaper}};

// The lines of text above the signature, in kInk with round caps.
struct Line {
  double x1, y1, x2, y2;
};
inline constexpr double kLineWidth = 2.5;
inline constexpr Line kLines[] = {{19, 19, 45, 19}, {19, 26, 40, 26}};

// The signature, in kBlue with round caps and bevelled joins: a start point, then cubic
// segments of two control points and an end point each.
inline constexpr double kSignatureWidth = 3;
inline constexpr double kSignature[] = {18, 44, 22, 32, 27, 50, 31, 40, 34, 33, 38, 48, 46, 38};

}  // namespace qm::ui::icon
