// lumetra render: an SVG picture of an object file's boundaries, with
// optional points coloured by whether they hit an object.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "args.h"
#include "cli_common.h"
#include "commands.h"
#include "objects.h"
#include "safe_output.h"
#include "store_list.h"

namespace lumetra_cli {

const char kRenderHelp[] =
    "usage: lumetra render FILE OUT.svg [--bbox X1 Y1 X2 Y2] [--points FILE]\n"
    "                      [--stores FILE] [--width PX] [--labels] [--overwrite]\n"
    "\n"
    "Draws the objects of FILE as an SVG map: equirectangular, x scaled by the\n"
    "cosine of the middle latitude (planar files: unscaled), clipped to the\n"
    "file's bounding box or to --bbox (decimal degrees).\n"
    "\n"
    "options:\n"
    "  --bbox X1 Y1 X2 Y2  the area to draw\n"
    "  --points FILE       'lon,lat' lines; each point is drawn green when an\n"
    "                      object contains it and red otherwise\n"
    "  --stores FILE       'name,lon,lat' lines (as for 'lumetra rings'), drawn\n"
    "                      as named black dots\n"
    "  --width PX          picture width in pixels (default 1000)\n"
    "  --labels            write each object's name at its label point\n"
    "  --overwrite         replace OUT.svg when it exists\n";

namespace {

constexpr double kPi = 3.14159265358979323846;

// Maps file units to picture pixels.
class Projection {
 public:
  Projection(std::int32_t min_x, std::int32_t min_y, std::int32_t max_x, std::int32_t max_y,
             bool geographic, int width)
      : min_x_(min_x), max_y_(max_y) {
    const double mid_lat = (static_cast<double>(min_y) + max_y) / 2.0 / 1e6;
    x_factor_ = geographic ? std::cos(mid_lat * kPi / 180.0) : 1.0;
    const double span_x = std::max(1.0, (static_cast<double>(max_x) - min_x) * x_factor_);
    const double span_y = std::max(1.0, static_cast<double>(max_y) - min_y);
    scale_ = width / span_x;
    width_ = width;
    height_ = std::max(1, static_cast<int>(std::lround(span_y * scale_)));
  }
  double X(std::int32_t x) const { return (static_cast<double>(x) - min_x_) * x_factor_ * scale_; }
  double Y(std::int32_t y) const { return (max_y_ - static_cast<double>(y)) * scale_; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  double min_x_;
  double max_y_;
  double x_factor_ = 1.0;
  double scale_ = 1.0;
  int width_ = 0;
  int height_ = 0;
};

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A light colour per ordinal (hues a golden angle apart), so neighbours
// differ.
std::string FillColour(int ordinal) {
  const double hue = std::fmod(std::abs(ordinal) * 137.508, 360.0);
  const double s = 0.45;
  const double l = 0.80;
  const double c = (1 - std::fabs(2 * l - 1)) * s;
  const double h = hue / 60.0;
  const double x = c * (1 - std::fabs(std::fmod(h, 2.0) - 1));
  double r = 0, g = 0, b = 0;
  if (h < 1) {
    r = c;
    g = x;
  } else if (h < 2) {
    r = x;
    g = c;
  } else if (h < 3) {
    g = c;
    b = x;
  } else if (h < 4) {
    g = x;
    b = c;
  } else if (h < 5) {
    r = x;
    b = c;
  } else {
    r = c;
    b = x;
  }
  const double m = l - c / 2;
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<int>((r + m) * 255),
                static_cast<int>((g + m) * 255), static_cast<int>((b + m) * 255));
  return text;
}

// The path data of an object's parts; points closer than 0.2 pixel to the
// previous one are dropped.
std::string PathData(const ObjectCoords& coords, const Projection& p, bool closed) {
  std::string d;
  std::size_t k = 0;
  char text[64];
  for (std::int32_t count : coords.part_counts) {
    double last_x = -1e18;
    double last_y = -1e18;
    for (std::int32_t i = 0; i < count; ++i, k += 2) {
      const double x = p.X(coords.points[k]);
      const double y = p.Y(coords.points[k + 1]);
      if (i > 0 && i + 1 < count && std::fabs(x - last_x) < 0.2 && std::fabs(y - last_y) < 0.2) {
        continue;
      }
      std::snprintf(text, sizeof text, "%s%.1f %.1f", i == 0 ? "M" : "L", x, y);
      d += text;
      last_x = x;
      last_y = y;
    }
    if (closed && count > 0) d += "Z";
  }
  return d;
}

void DrawObjects(const ObjectFile& file, const Projection& p, const std::int32_t box[4],
                 bool labels, std::ostringstream* svg, std::ostringstream* text) {
  ForEachInRect(file, box[0], box[1], box[2], box[3], [&](const ObjectRecord& r) {
    const int type = r.info.type;
    if (type == PIP_OBJECT_POINT) {
      *svg << "<circle cx=\"" << p.X(r.info.x) << "\" cy=\"" << p.Y(r.info.y)
           << "\" r=\"2.5\" fill=\"#333\"><title>" << Escape(r.name()) << "</title></circle>\n";
    } else {
      const ObjectCoords coords = CurrentCoords(file);
      const bool region = type == PIP_OBJECT_REGION;
      *svg << "<path d=\"" << PathData(coords, p, region) << "\" fill=\""
           << (region ? FillColour(r.ordinal()) : "none") << "\" stroke=\""
           << (region ? "#555" : "#a33") << "\"><title>" << Escape(r.name()) << "</title></path>\n";
    }
    if (labels && !r.name().empty()) {
      *text << "<text x=\"" << p.X(r.info.x) << "\" y=\"" << p.Y(r.info.y) << "\">"
            << Escape(r.name()) << "</text>\n";
    }
  });
}

struct PointCounts {
  int hits = 0;
  int misses = 0;
};

PointCounts DrawPoints(const ObjectFile& file, const Projection& p, const std::string& path,
                       std::ostringstream* svg) {
  std::ifstream in(path);
  if (!in) throw CliError("cannot open " + path + ": " + std::strerror(errno));
  PointCounts counts;
  std::string line;
  char name[PIP_NAME_SIZE];
  for (int number = 1; std::getline(in, line); ++number) {
    const std::size_t sep = line.find_first_of(",; \t");
    std::int32_t x = 0;
    std::int32_t y = 0;
    if (line.empty() || line[0] == '#' || sep == std::string::npos ||
        !TryParseCoordinate(line.data(), line.data() + sep, file.geographic(), Axis::kX, &x) ||
        !TryParseCoordinate(line.data() + sep + 1, line.data() + line.size(), file.geographic(),
                            Axis::kY, &y)) {
      if (number == 1 || line.find_first_not_of(" \t\r") == std::string::npos) continue;
      throw CliError(path + ", line " + std::to_string(number) + ": malformed point");
    }
    const int result = pipObjectFindFirstContaining(file.handle(), x, y, 0, name, sizeof name);
    if (result < 0) file.library().Fail("lookup of " + path + ", line " + std::to_string(number));
    (result > 0 ? counts.hits : counts.misses) += 1;
    *svg << "<circle cx=\"" << p.X(x) << "\" cy=\"" << p.Y(y) << "\" r=\"3\" fill=\""
         << (result > 0 ? "#1a9641" : "#d7191c") << "\"/>\n";
  }
  return counts;
}

}  // namespace

int RunRender(int argc, char** argv) {
  const Args args(
      argc, argv,
      {{"bbox", 4}, {"points", 1}, {"stores", 1}, {"width", 1}, {"labels", 0}, {"overwrite", 0}});
  args.ExpectPositional(2, 2);
  const std::string& out_path = args.positional()[1];
  if (LowerExtension(out_path) != ".svg") {
    throw UsageError("render writes SVG: the output '" + out_path + "' must end in .svg");
  }
  SafeOutput outputs(args.Has("overwrite"));
  outputs.AddInput(args.positional()[0]);
  if (args.Has("points")) outputs.AddInput(args.Value("points"));
  if (args.Has("stores")) outputs.AddInput(args.Value("stores"));
  const std::string temporary = outputs.Add(out_path);
  const int width = args.Has("width")
                        ? static_cast<int>(ParseInteger(args.Value("width"), 16, 20000, "--width"))
                        : 1000;
  const Library library;
  const ObjectFile file(library, args.positional()[0]);
  const bool geo = file.geographic();
  std::int32_t box[4] = {file.info().minX, file.info().minY, file.info().maxX, file.info().maxY};
  if (args.Has("bbox")) {
    const std::vector<std::string>& v = args.Values("bbox");
    const char* names[4] = {"X1", "Y1", "X2", "Y2"};
    for (int i = 0; i < 4; ++i)
      box[i] = ParseCoordinate(v[static_cast<std::size_t>(i)], geo, names[i]);
    if (box[0] > box[2]) std::swap(box[0], box[2]);
    if (box[1] > box[3]) std::swap(box[1], box[3]);
  }
  if (file.objects() == 0 && !args.Has("bbox")) throw CliError(file.path() + " holds no objects");
  const Projection projection(box[0], box[1], box[2], box[3], geo, width);
  std::ostringstream shapes;
  std::ostringstream labels;
  shapes.precision(1);
  shapes << std::fixed;
  labels.precision(1);
  labels << std::fixed;
  DrawObjects(file, projection, box, args.Has("labels"), &shapes, &labels);
  PointCounts points;
  std::ostringstream dots;
  dots.precision(1);
  dots << std::fixed;
  if (args.Has("points")) points = DrawPoints(file, projection, args.Value("points"), &dots);
  if (args.Has("stores")) {
    for (const StoreRow& s : ReadStores(args.Value("stores"), geo)) {
      dots << "<circle cx=\"" << projection.X(s.x) << "\" cy=\"" << projection.Y(s.y)
           << "\" r=\"2.5\" fill=\"#111\"><title>" << Escape(s.name) << "</title></circle>\n";
      labels << "<text x=\"" << projection.X(s.x) << "\" y=\"" << projection.Y(s.y) - 4 << "\">"
             << Escape(s.name) << "</text>\n";
    }
  }

  std::ofstream out(temporary);
  if (!out) throw CliError("cannot create " + out_path + ": " + std::strerror(errno));
  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << projection.width()
      << "\" height=\"" << projection.height() << "\" viewBox=\"0 0 " << projection.width() << " "
      << projection.height() << "\">\n"
      << "<title>" << Escape(BaseName(file.path())) << "</title>\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"#dceefb\"/>\n"
      << "<g stroke-width=\"0.6\" stroke-linejoin=\"round\" fill-rule=\"evenodd\">\n"
      << shapes.str() << "</g>\n"
      << "<g font-family=\"sans-serif\" font-size=\"10\" text-anchor=\"middle\" fill=\"#222\">\n"
      << labels.str() << "</g>\n"
      << "<g stroke=\"#fff\" stroke-width=\"0.8\">\n"
      << dots.str() << "</g>\n</svg>\n";
  out.close();
  if (!out) throw CliError("cannot write " + out_path);
  outputs.Commit();
  std::printf("wrote %s (%dx%d)", out_path.c_str(), projection.width(), projection.height());
  if (args.Has("points")) std::printf("; %d points hit, %d missed", points.hits, points.misses);
  std::printf("\n");
  return kExitOk;
}

}  // namespace lumetra_cli
