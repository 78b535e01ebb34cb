// PointDistance: pipDistance from one fixed point, without the bearing.
//
// pipDistance(x1, y1, x2, y2, units, nullptr) for many (x2, y2) and one
// (x1, y1, units): the scales (0.36432 feet per unit of y and 0.36432 x
// cos(y1) per unit of x for units 1, else 1.0) are computed once, and each
// distance is the very same sequence of floating-point operations --
// wrapped 32-bit differences, scaled, sqrt(dx * dx + dy * dy), truncated --
// so it equals pipDistance's result bit for bit.  Without a bearing no
// floating-point fault can arise (the square root's operand is a sum of
// squares), so the only failure is a distance beyond the int range: -1.
// pipDistance itself is built on this class.
#ifndef LUMETRA_FRAME_POINT_DISTANCE_H
#define LUMETRA_FRAME_POINT_DISTANCE_H

#include <cmath>
#include <cstdint>

namespace lumetra {

class PointDistance {
 public:
  static constexpr double kFeetPerMicroDegree = 0.36432;
  static constexpr double kRadiansPerMicroDegree = 1.745329252e-8;
  static constexpr int kUnitsFeet = 1;

  PointDistance(std::int32_t x1, std::int32_t y1, int units) : x1_(x1), y1_(y1) {
    if (units == kUnitsFeet) {
      y_scale_ = kFeetPerMicroDegree;
      x_scale_ = kFeetPerMicroDegree * std::cos(y1 * kRadiansPerMicroDegree);
    }
  }

  // The scaled differences to (x2, y2).
  double Dx(std::int32_t x2) const {
    const auto d =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(x2) - static_cast<std::uint32_t>(x1_));
    return static_cast<double>(d) * x_scale_;
  }
  double Dy(std::int32_t y2) const {
    const auto d =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(y2) - static_cast<std::uint32_t>(y1_));
    return static_cast<double>(d) * y_scale_;
  }
  // The exact distance, before truncation.
  double Exact(std::int32_t x2, std::int32_t y2) const {
    const double dx = Dx(x2);
    const double dy = Dy(y2);
    return std::sqrt(dx * dx + dy * dy);
  }
  // pipDistance's result: the distance truncated, -1 beyond the int range.
  int To(std::int32_t x2, std::int32_t y2) const {
    const double d = Exact(x2, y2);
    return d < 2147483648.0 ? static_cast<int>(d) : -1;
  }

 private:
  std::int32_t x1_;
  std::int32_t y1_;
  double x_scale_ = 1.0;
  double y_scale_ = 1.0;
};

}  // namespace lumetra

#endif  // LUMETRA_FRAME_POINT_DISTANCE_H
