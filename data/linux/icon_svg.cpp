// Writes the installed icon, an SVG, from the shapes the program draws its own icon with, so the
// two cannot drift apart. Usage: icon_svg <output file>
#include <cstdio>
#include <iterator>

#include "ui/app_icon_shapes.h"

namespace icon = qm::ui::icon;

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::FILE* out = std::fopen(argv[1], "w");
  if (!out) return 1;
  std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", out);
  std::fputs(
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" "
      "viewBox=\"0 0 64 64\">\n",
      out);
  for (const icon::Box& box : icon::kBoxes) {
    std::fprintf(out, "  <rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\"", box.x, box.y,
                 box.width, box.height);
    if (box.radius > 0) std::fprintf(out, " rx=\"%g\" ry=\"%g\"", box.radius, box.radius);
    std::fprintf(out, " fill=\"#%06x\"/>\n", box.fill);
  }
  std::fprintf(
      out, "  <g fill=\"none\" stroke=\"#%06x\" stroke-width=\"%g\" stroke-linecap=\"round\">\n",
      icon::kInk, icon::kLineWidth);
  for (const icon::Line& line : icon::kLines) {
    std::fprintf(out, "    <line x1=\"%g\" y1=\"%g\" x2=\"%g\" y2=\"%g\"/>\n", line.x1, line.y1,
                 line.x2, line.y2);
  }
  std::fputs("  </g>\n", out);
  const auto& s = icon::kSignature;
  std::fprintf(out, "  <path d=\"M%g %g", s[0], s[1]);
  for (size_t i = 2; i + 6 <= std::size(s); i += 6) {
    std::fprintf(out, " C%g %g %g %g %g %g", s[i], s[i + 1], s[i + 2], s[i + 3], s[i + 4],
                 s[i + 5]);
  }
  std::fprintf(out,
               "\" fill=\"none\" stroke=\"#%06x\" stroke-width=\"%g\" stroke-linecap=\"round\" "
               "stroke-linejoin=\"bevel\"/>\n",
               icon::kBlue, icon::kSignatureWidth);
  std::fputs("</svg>\n", out);
  return std::fclose(out) == 0 ? 0 : 1;
}
