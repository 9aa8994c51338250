#include "kovra/ik/EaseCurve.h"

#include <cmath>

#include "kovra/ik/Geometry.h"

namespace kovra {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kBack = 1.70158;
constexpr double kBackInOut = 2.5949094;

double BounceOut(double t) {
    constexpr double n = 7.5625;
    constexpr double d = 2.75;
    if (t < 1.0 / d) return n * t * t;
    if (t < 2.0 / d) {
        t -= 1.5 / d;
        return n * t * t + 0.75;
    }
    if (t < 2.5 / d) {
        t -= 2.25 / d;
        return n * t * t + 0.9375;
    }
    t -= 2.625 / d;
    return n * t * t + 0.984375;
}

// Ease-in of each type; the out and in-out forms are built from it, except
// where the published in-out formula differs (back).
double EaseIn(int type, double t) {
    switch (type) {
        case 1: return t * t;
        case 2: return t * t * t;
        case 3: return t * t * t * t;
        case 4: return t * t * t * t * t;
        case 5: return 1.0 - std::cos(t * kPi / 2.0);
        case 6: return t == 0.0 ? 0.0 : std::pow(2.0, 10.0 * t - 10.0);
        case 7: return 1.0 - std::sqrt(std::max(0.0, 1.0 - t * t));
        case 8: {
            if (t == 0.0 || t == 1.0) return t;
            constexpr double c = 2.0 * kPi / 3.0;
            return -std::pow(2.0, 10.0 * t - 10.0) * std::sin((t * 10.0 - 10.75) * c);
        }
        case 9: return (kBack + 1.0) * t * t * t - kBack * t * t;
        case 10: return 1.0 - BounceOut(1.0 - t);
        default: return t;
    }
}

double EaseOut(int type, double t) { return 1.0 - EaseIn(type, 1.0 - t); }

double EaseInOut(int type, double t) {
    if (type == 9) {
        const double c = kBackInOut;
        if (t < 0.5) return (std::pow(2.0 * t, 2.0) * ((c + 1.0) * 2.0 * t - c)) / 2.0;
        return (std::pow(2.0 * t - 2.0, 2.0) * ((c + 1.0) * (t * 2.0 - 2.0) + c) + 2.0) / 2.0;
    }
    if (t < 0.5) return 0.5 * EaseIn(type, 2.0 * t);
    return 0.5 + 0.5 * EaseOut(type, 2.0 * t - 1.0);
}

}  // namespace

float EaseCurve(int type, int mode, float t) {
    if (type < 1 || type > 10) return t;
    const double x = Clamp(t, 0.0f, 1.0f);
    switch (mode) {
        case 0: return static_cast<float>(EaseIn(type, x));
        case 1: return static_cast<float>(EaseOut(type, x));
        case 2: return static_cast<float>(EaseInOut(type, x));
        default: return t;
    }
}

float EaseInOutQuad(float t) {
    const float m = 2.0f * t;
    if (m < 1.0f) return 0.5f * m * m;
    return -0.5f * ((m - 1.0f) * (m - 3.0f) - 1.0f);
}

float EaseInOutRamp(float t, float ramp) {
    t = Clamp(t, 0.0f, 1.0f);
    ramp = Clamp(ramp, 0.0f, 0.5f);
    const float top = 1.0f / (1.0f - ramp);
    if (ramp <= 0.0f) return t;
    if (t < ramp) return top * t * t / (2.0f * ramp);
    if (t > 1.0f - ramp) return 1.0f - top * (1.0f - t) * (1.0f - t) / (2.0f * ramp);
    return top * (t - 0.5f * ramp);
}

}  // namespace kovra
