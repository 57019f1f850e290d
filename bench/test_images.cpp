#include "test_images.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

uint8_t Clamp(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

// Value noise: random values on a lattice of `step` pixels, smoothly interpolated, -1 .. 1.
class ValueNoise {
public:
    ValueNoise(int w, int h, int step, std::mt19937& rng) : step_(step), cols_(w / step + 2) {
        std::uniform_real_distribution<float> u(-1, 1);
        lattice_.resize(static_cast<size_t>(cols_) * (h / step + 2));
        for (float& v : lattice_) v = u(rng);
    }
    float at(int x, int y) const {
        const int cx = x / step_, cy = y / step_;
        const float fx = Smooth(float(x % step_) / step_), fy = Smooth(float(y % step_) / step_);
        const float* row0 = &lattice_[static_cast<size_t>(cy) * cols_ + cx];
        const float* row1 = row0 + cols_;
        const float top = row0[0] + (row0[1] - row0[0]) * fx;
        const float bottom = row1[0] + (row1[1] - row1[0]) * fx;
        return top + (bottom - top) * fy;
    }

private:
    static float Smooth(float t) { return t * t * (3 - 2 * t); }
    int step_, cols_;
    std::vector<float> lattice_;
};

}  // namespace

void FillPhotoLike(Plane& r, Plane& g, Plane& b, int w, int h, uint32_t seed) {
    std::mt19937 rng(seed);
    r = Plane(w, h);
    g = Plane(w, h);
    b = Plane(w, h);
    // Scales in pixels and amplitudes in levels, from the light over the frame to fine texture.
    const ValueNoise light(w, h, 1024, rng), shapes(w, h, 256, rng), texture(w, h, 32, rng),
        grain(w, h, 4, rng);
    const ValueNoise warm(w, h, 512, rng), green(w, h, 192, rng);
    std::normal_distribution<float> noise(0, 2.5f);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float l = 120 + 70 * light.at(x, y) + 40 * shapes.at(x, y) +
                            14 * texture.at(x, y) + 5 * grain.at(x, y);
            const float c1 = 30 * warm.at(x, y), c2 = 18 * green.at(x, y);
            r.at(x, y) = Clamp(l + c1 + noise(rng));
            g.at(x, y) = Clamp(l + c2 + noise(rng));
            b.at(x, y) = Clamp(l - c1 - c2 + 1.5f * noise(rng));
        }
}

void FillPainted(Plane& r, Plane& g, Plane& b, int w, int h, uint32_t seed) {
    std::mt19937 rng(seed);
    r = Plane(w, h, 255);
    g = Plane(w, h, 255);
    b = Plane(w, h, 255);
    std::uniform_real_distribution<double> u(0, 1);
    const double scale = w / 4096.0;
    for (int stroke = 0; stroke < 400; ++stroke) {
        const double radius = (u(rng) < 0.2 ? 20 + 60 * u(rng) : 1.5 + 8 * u(rng)) * scale;
        const uint8_t colour[3] = {Clamp(255 * u(rng)), Clamp(255 * u(rng)), Clamp(255 * u(rng))};
        const double opacity = u(rng) < 0.3 ? 0.4 : 1.0;
        double x = w * u(rng), y = h * u(rng), heading = 6.2832 * u(rng);
        const int stamps = static_cast<int>(600 * scale / std::max(1.0, radius / 2));
        for (int s = 0; s < stamps; ++s) {
            heading += 0.15 * (u(rng) - 0.5);
            x += std::cos(heading) * std::max(1.0, radius / 2);
            y += std::sin(heading) * std::max(1.0, radius / 2);
            const int x0 = std::max(0, int(x - radius - 1)),
                      x1 = std::min(w - 1, int(x + radius + 1));
            const int y0 = std::max(0, int(y - radius - 1)),
                      y1 = std::min(h - 1, int(y + radius + 1));
            for (int py = y0; py <= y1; ++py)
                for (int px = x0; px <= x1; ++px) {
                    const double d = std::hypot(px + 0.5 - x, py + 0.5 - y);
                    const double cover = std::clamp(radius - d + 0.5, 0.0, 1.0) * opacity;
                    if (cover <= 0) continue;
                    Plane* planes[3] = {&r, &g, &b};
                    for (int c = 0; c < 3; ++c) {
                        uint8_t& v = planes[c]->at(px, py);
                        v = Clamp(v + (colour[c] - v) * cover);
                    }
                }
        }
    }
}
