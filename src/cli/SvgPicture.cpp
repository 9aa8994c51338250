#include "cli/SvgPicture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <utility>

#include "cli/DriverLimbs.h"
#include "cli/SvgText.h"
#include "kovra/config/FileReplace.h"
#include "kovra/ik/Geometry.h"
#include "sim/SimHost.h"

namespace kovra::cli {

namespace {

// ---- what is drawn in which colour -----------------------------------------

constexpr NodeIndex kHeadNode = 6;  // the head group's leaf above the neck

// Leaves that only carry the skin (face, chest, belly): drawn thin so that
// the limbs stand out.
bool IsAttachment(NodeIndex node) { return (node >= 6 && node <= 8) || (node >= 21 && node <= 23); }
constexpr float kHeadRadius = 0.1f;
constexpr float kAxisLength = 0.06f;                                       // frame triads, metres
constexpr const char* kAxisColours[] = {"#e41a1c", "#2ca02c", "#377eb8"};  // x, y, z
constexpr const char* kBoxColour = "#7f93ad";
constexpr double kLabelCharWidth = 6.7;  // 11 px monospace
constexpr double kLabelHeight = 13.0;

// ---- geometry of the page --------------------------------------------------

struct Bounds {
    Vector3 min{1e30f, 1e30f, 1e30f};
    Vector3 max{-1e30f, -1e30f, -1e30f};
    bool empty = true;

    void Add(const Vector3& p) {
        if (!IsFinite(p)) return;
        min = {std::min(min.x, p.x), std::min(min.y, p.y), std::min(min.z, p.z)};
        max = {std::max(max.x, p.x), std::max(max.y, p.y), std::max(max.z, p.z)};
        empty = false;
    }
};

float Axis(const Vector3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

// A panel: the vehicle seen along one axis. h and v are the vehicle axes
// shown rightwards and upwards on the page (a negative sign flips one).
struct View {
    std::string id;
    std::string caption;
    std::string hName, vName;
    int hAxis = 1, vAxis = 2;
    float hSign = 1.0f, vSign = 1.0f;
    double hMin = 0, hMax = 1, vMin = 0, vMax = 1;  // metres along the page axes
    double x0 = 0, y0 = 0, s = 1;                   // top-left corner, pixels per metre

    double Width() const { return (hMax - hMin) * s; }
    double Height() const { return (vMax - vMin) * s; }

    bool Project(const Vector3& p, double& x, double& y) const {
        const double h = static_cast<double>(Axis(p, hAxis) * hSign);
        const double v = static_cast<double>(Axis(p, vAxis) * vSign);
        x = x0 + (h - hMin) * s;
        y = y0 + (vMax - v) * s;
        return std::isfinite(x) && std::isfinite(y);
    }
};

void Range(const Bounds& b, int axis, float sign, double& lo, double& hi) {
    const double a = static_cast<double>(Axis(b.min, axis) * sign);
    const double c = static_cast<double>(Axis(b.max, axis) * sign);
    lo = std::min(a, c);
    hi = std::max(a, c);
}

// The scene's extent, padded and snapped outwards to the 0.1 m grid; a
// wildly spread snapshot is cut down to a 20 m window around its middle.
Bounds PageBounds(const Bounds& content) {
    Bounds b = content;
    if (b.empty) {
        b.min = {-1.0f, -1.0f, -1.0f};
        b.max = {1.0f, 1.0f, 1.0f};
    }
    constexpr float kPad = 0.15f, kMaxSpan = 20.0f, kMinSpan = 0.6f;
    const auto fix = [&](float& lo, float& hi) {
        const float mid = 0.5f * (lo + hi);
        const float half = std::clamp(0.5f * (hi - lo) + kPad, 0.5f * kMinSpan, 0.5f * kMaxSpan);
        lo = std::floor((mid - half) * 10.0f) / 10.0f;
        hi = std::ceil((mid + half) * 10.0f) / 10.0f;
    };
    fix(b.min.x, b.max.x);
    fix(b.min.y, b.max.y);
    fix(b.min.z, b.max.z);
    return b;
}

// ---- the document ----------------------------------------------------------

class SvgWriter {
public:
    explicit SvgWriter(const PictureSnapshot& snap) : snap_(snap) {}

    std::string Render() {
        ToVehicleSpace();
        Layout();
        out_ += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        out_ += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + SvgNumber(width_) +
                "\" height=\"" + SvgNumber(height_) + "\" viewBox=\"0 0 " + SvgNumber(width_) + " " +
                SvgNumber(height_) + "\" font-family=\"DejaVu Sans, Arial, sans-serif\">\n";
        out_ += "<title>" + SvgEscape(snap_.title) + "</title>\n";
        out_ += "<rect x=\"0\" y=\"0\" width=\"" + SvgNumber(width_) + "\" height=\"" + SvgNumber(height_) +
                "\" fill=\"#fafafa\"/>\n";
        out_ += "<text x=\"" + SvgNumber(kMargin) + "\" y=\"" + SvgNumber(kMargin + 20) +
                "\" font-size=\"20\" font-weight=\"bold\" fill=\"#222\">" + SvgEscape(snap_.title) +
                "</text>\n";
        const std::string sub = snap_.subtitle.empty()
                                    ? std::string("vehicle space, metres; x right, y forward, z up")
                                    : snap_.subtitle + "  |  vehicle space, metres";
        out_ += "<text x=\"" + SvgNumber(kMargin) + "\" y=\"" + SvgNumber(kMargin + 40) +
                "\" font-size=\"13\" fill=\"#555\">" + SvgEscape(sub) + "</text>\n";
        out_ += "<defs>\n";
        for (const View& v : views_) {
            out_ += "<clipPath id=\"clip-" + v.id + "\"><rect x=\"" + SvgNumber(v.x0) + "\" y=\"" +
                    SvgNumber(v.y0) + "\" width=\"" + SvgNumber(v.Width()) + "\" height=\"" + SvgNumber(v.Height()) +
                    "\"/></clipPath>\n";
        }
        out_ += "</defs>\n";
        for (const View& v : views_) Panel(v);
        Legend();
        out_ += "</svg>\n";
        return std::move(out_);
    }

private:
    static constexpr double kMargin = 20.0;
    static constexpr double kHeader = 64.0;   // title block
    static constexpr double kCaption = 22.0;  // caption above a panel
    static constexpr double kLeftLabels = 44.0;
    static constexpr double kBottomLabels = 30.0;
    static constexpr double kLegendWidth = 340.0;

    struct Control {
        const PictureSnapshot::Control* source;
        FrameMatrix local;  // in the vehicle's space
    };
    struct Segment {
        Vector3 from, to;
    };

    void ToVehicleSpace() {
        FrameMatrix inverse;
        if (!Invert(snap_.vehicleWorld, inverse)) inverse = FrameMatrix::Identity();
        const auto local = [&](const Vector3& p) { return TransformPoint(p, inverse); };
        for (const PictureSnapshot::Bone& b : snap_.bones) {
            bones_.push_back({b.node, local(b.from), local(b.to)});
            content_.Add(bones_.back().from);
            content_.Add(bones_.back().to);
        }
        for (const PictureSnapshot::Control& c : snap_.controls) {
            controls_.push_back({&c, Multiply(c.world, inverse)});
            content_.Add(controls_.back().local.pos);
            if (c.hasBox) {
                for (const Vector3& corner : sim::BoxVertices(c.boxMin, c.boxMax)) {
                    content_.Add(TransformPoint(corner, controls_.back().local));
                }
            }
        }
        for (const PictureSnapshot::Line& l : snap_.lines) {
            lines_.push_back({local(l.from), local(l.to), l.colour});
        }
    }

    void Layout() {
        const Bounds page = PageBounds(content_);
        views_.resize(3);
        View& side = views_[0];
        side.id = "side";
        side.caption = "Side, seen from the right (forward to the right)";
        side.hName = "y";
        side.vName = "z";
        side.hAxis = 1;
        side.vAxis = 2;
        View& rear = views_[1];
        rear.id = "rear";
        rear.caption = "From behind (the right side to the right)";
        rear.hName = "x";
        rear.vName = "z";
        rear.hAxis = 0;
        rear.vAxis = 2;
        View& top = views_[2];
        top.id = "top";
        top.caption = "Top (forward to the right, left side up)";
        top.hName = "y";
        top.vName = "x";
        top.hAxis = 1;
        top.vAxis = 0;
        top.vSign = -1.0f;
        for (View& v : views_) {
            Range(page, v.hAxis, v.hSign, v.hMin, v.hMax);
            Range(page, v.vAxis, v.vSign, v.vMin, v.vMax);
        }
        const double lx = static_cast<double>(page.max.x - page.min.x);
        const double ly = static_cast<double>(page.max.y - page.min.y);
        scale_ = std::clamp(1000.0 / (lx + ly), 120.0, 600.0);
        for (View& v : views_) v.s = scale_;

        side.x0 = kMargin + kLeftLabels;
        side.y0 = kMargin + kHeader + kCaption;
        rear.x0 = side.x0 + side.Width() + kLeftLabels + 16.0;
        rear.y0 = side.y0;
        top.x0 = side.x0;
        top.y0 = side.y0 + side.Height() + kBottomLabels + kCaption + 8.0;
        legendX_ = rear.x0 - kLeftLabels + 8.0;
        legendY_ = top.y0 - kCaption + 4.0;

        const double rightEdge = std::max(rear.x0 + rear.Width(), legendX_ + kLegendWidth);
        width_ = rightEdge + kMargin;
        height_ = std::max(top.y0 + top.Height() + kBottomLabels, LegendBottom()) + kMargin;
    }

    // ---- panels ------------------------------------------------------------

    void Line(double x1, double y1, double x2, double y2, const std::string& attributes) {
        out_ += "<line x1=\"" + SvgNumber(x1) + "\" y1=\"" + SvgNumber(y1) + "\" x2=\"" + SvgNumber(x2) + "\" y2=\"" +
                SvgNumber(y2) + "\" " + attributes + "/>\n";
    }

    void Segment3(const View& v, const Vector3& a, const Vector3& b,
                  const std::string& attributes) {
        double x1, y1, x2, y2;
        if (!v.Project(a, x1, y1) || !v.Project(b, x2, y2)) return;
        Line(x1, y1, x2, y2, attributes);
    }

    void Text(double x, double y, const std::string& text, const std::string& attributes) {
        out_ += "<text x=\"" + SvgNumber(x) + "\" y=\"" + SvgNumber(y) + "\" " + attributes + ">" +
                SvgEscape(text) + "</text>\n";
    }

    double GridStep() const { return scale_ * 0.1 >= 12.0 ? 0.1 : 0.5; }

    // Grid lines every step, darker every fifth, dashed through the origin;
    // with labels, the metre values of the darker lines along the edges.
    void Grid(const View& v, bool labels) {
        const double step = GridStep();
        const auto lines = [&](double lo, double hi, bool horizontal) {
            const long first = std::lround(std::ceil(lo / step - 1e-6));
            const long last = std::lround(std::floor(hi / step + 1e-6));
            for (long i = first; i <= last; ++i) {
                const double m = static_cast<double>(i) * step;
                const bool major = i % 5 == 0;
                const double y = v.y0 + (v.vMax - m) * v.s;
                const double x = v.x0 + (m - v.hMin) * v.s;
                if (labels) {
                    if (!major && step * v.s < 34.0) continue;
                    // The vehicle's own coordinate, also on a flipped axis.
                    const double value = m * static_cast<double>(horizontal ? v.vSign : v.hSign);
                    if (horizontal) {
                        Text(v.x0 - 5.0, y + 4.0, SvgNumber(value, 2),
                             "font-size=\"10\" fill=\"#666\" text-anchor=\"end\"");
                    } else {
                        Text(x, v.y0 + v.Height() + 13.0, SvgNumber(value, 2),
                             "font-size=\"10\" fill=\"#666\" text-anchor=\"middle\"");
                    }
                    continue;
                }
                const std::string style =
                    i == 0  ? "stroke=\"#a8a8a8\" stroke-width=\"1\" stroke-dasharray=\"5 3\""
                    : major ? "stroke=\"#d4d4d4\" stroke-width=\"1\""
                            : "stroke=\"#ececec\" stroke-width=\"1\"";
                if (horizontal) {
                    Line(v.x0, y, v.x0 + v.Width(), y, style);
                } else {
                    Line(x, v.y0, x, v.y0 + v.Height(), style);
                }
            }
        };
        lines(v.vMin, v.vMax, true);
        lines(v.hMin, v.hMax, false);
        if (!labels) return;
        Text(v.x0 + v.Width(), v.y0 + v.Height() + 26.0, v.hName + " (m) ->",
             "font-size=\"11\" fill=\"#444\" text-anchor=\"end\"");
        Text(v.x0 - kLeftLabels + 2.0, v.y0 - 6.0, v.vName + " (m)",
             "font-size=\"11\" fill=\"#444\"");
    }

    void Panel(const View& v) {
        Text(v.x0, v.y0 - 8.0, v.caption, "font-size=\"13\" font-weight=\"bold\" fill=\"#333\"");
        out_ += "<rect x=\"" + SvgNumber(v.x0) + "\" y=\"" + SvgNumber(v.y0) + "\" width=\"" + SvgNumber(v.Width()) +
                "\" height=\"" + SvgNumber(v.Height()) + "\" fill=\"#ffffff\" stroke=\"#999\"/>\n";
        Grid(v, true);
        out_ += "<g clip-path=\"url(#clip-" + v.id + ")\">\n";
        Grid(v, false);
        for (const Control& c : controls_) ControlShape(v, c);
        DriverShape(v);
        for (const DebugLine& l : lines_) {
            const unsigned alpha = (l.colour >> 24) & 0xffu;
            std::string style = "stroke=\"" + SvgColour(l.colour) + "\" stroke-width=\"1.5\"";
            if (alpha != 255u) style += " stroke-opacity=\"" + SvgNumber(alpha / 255.0, 3) + "\"";
            Segment3(v, l.from, l.to, style);
        }
        out_ += "</g>\n";
        Labels(v);
        if (v.id == "side") ScaleBar(v.x0 + v.Width() - 12.0, v.y0 + v.Height() - 14.0, true);
    }

    static bool IsSteeringWheel(const std::string& name) {
        return name.find("steer") != std::string::npos;
    }

    void ControlShape(const View& v, const Control& c) {
        const PictureSnapshot::Control& src = *c.source;
        if (src.hasBox) {
            const std::vector<Vector3> corners = sim::BoxVertices(src.boxMin, src.boxMax);
            std::string path;
            for (int i = 0; i < 8; ++i) {
                for (const int bit : {1, 2, 4}) {
                    if (i & bit) continue;  // each edge once, from its lower corner
                    double x1, y1, x2, y2;
                    if (!v.Project(TransformPoint(corners[static_cast<std::size_t>(i)], c.local),
                                   x1, y1) ||
                        !v.Project(
                            TransformPoint(corners[static_cast<std::size_t>(i | bit)], c.local), x2,
                            y2)) {
                        continue;
                    }
                    path += "M" + SvgNumber(x1) + " " + SvgNumber(y1) + "L" + SvgNumber(x2) + " " + SvgNumber(y2);
                }
            }
            if (!path.empty()) {
                out_ += "<path d=\"" + path + "\" fill=\"none\" stroke=\"" +
                        std::string(kBoxColour) + "\" stroke-width=\"1\"/>\n";
            }
            // A steering wheel reads better as its rim, in the frame's x-z plane.
            const float radius = src.boxMax.x;
            if (IsSteeringWheel(src.name) && radius > 0.0f && std::isfinite(radius)) {
                std::string points;
                constexpr int kSteps = 48;
                for (int i = 0; i < kSteps; ++i) {
                    const float a = static_cast<float>(i) * 6.2831853f / kSteps;
                    double x, y;
                    if (!v.Project(
                            TransformPoint({radius * Cos(a), 0.0f, radius * Sin(a)}, c.local), x,
                            y)) {
                        points.clear();
                        break;
                    }
                    points += (points.empty() ? "" : " ") + SvgNumber(x) + "," + SvgNumber(y);
                }
                if (!points.empty()) {
                    out_ += "<polygon points=\"" + points +
                            "\" fill=\"none\" stroke=\"#333\" stroke-width=\"2.5\"/>\n";
                }
            }
        }
        const Vector3 o = c.local.pos;
        const Vector3 axes[3] = {c.local.right, c.local.up, c.local.at};
        for (int i = 0; i < 3; ++i) {
            Segment3(v, o, o + NormalizedCopy(axes[i]) * kAxisLength,
                     std::string("stroke=\"") + kAxisColours[i] +
                         "\" stroke-width=\"1.5\" stroke-linecap=\"round\"");
        }
        double x, y;
        if (v.Project(o, x, y)) {
            out_ +=
                "<circle cx=\"" + SvgNumber(x) + "\" cy=\"" + SvgNumber(y) + "\" r=\"2.5\" fill=\"#222\"/>\n";
        }
    }

    void DriverShape(const View& v) {
        // Spine first, then legs, then arms, so the hands stay visible.
        constexpr Limb kOrder[] = {Limb::Spine, Limb::LeftLeg, Limb::RightLeg, Limb::LeftArm,
                                   Limb::RightArm};
        for (const Limb limb : kOrder) {
            const std::string colour = StyleOf(limb).colour;
            for (const BoneLocal& b : bones_) {
                if (LimbOf(b.node) != limb) continue;
                if (limb == Limb::Spine && b.node == kHeadNode) {
                    double x, y;
                    if (v.Project(b.to, x, y)) {
                        out_ += "<circle cx=\"" + SvgNumber(x) + "\" cy=\"" + SvgNumber(y) + "\" r=\"" +
                                SvgNumber(kHeadRadius * v.s) +
                                "\" fill=\"#ffffff\" fill-opacity=\"0.6\"" + " stroke=\"" + colour +
                                "\" stroke-width=\"2\"/>\n";
                    }
                }
                if (Distance(b.from, b.to) < 1e-5f) continue;
                Segment3(v, b.from, b.to,
                         "stroke=\"" + colour + "\" stroke-width=\"" +
                             (IsAttachment(b.node) ? "1.2\" stroke-opacity=\"0.6" : "4") +
                             "\" stroke-linecap=\"round\"");
            }
            for (const BoneLocal& b : bones_) {
                if (LimbOf(b.node) != limb || IsAttachment(b.node)) continue;
                double x, y;
                if (!v.Project(b.to, x, y)) continue;
                out_ += "<circle cx=\"" + SvgNumber(x) + "\" cy=\"" + SvgNumber(y) +
                        "\" r=\"2.2\" fill=\"#fff\" stroke=\"" + colour +
                        "\" stroke-width=\"1.2\"/>\n";
            }
        }
    }

    // Frame names beside their origins, moved up or down (with a leader
    // line) where they would cover one another.
    void Labels(const View& v) {
        struct Item {
            double x, y;
            const std::string* name;
        };
        std::vector<Item> items;
        for (const Control& c : controls_) {
            double x, y;
            if (v.Project(c.local.pos, x, y)) items.push_back({x, y, &c.source->name});
        }
        // A total order, so that equal positions still come out the same way.
        std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
            if (a.y != b.y) return a.y < b.y;
            if (a.x != b.x) return a.x < b.x;
            return *a.name < *b.name;
        });
        struct Box {
            double x0, y0, x1, y1;
        };
        std::vector<Box> taken;
        const double right = v.x0 + v.Width(), bottom = v.y0 + v.Height();
        for (const Item& item : items) {
            const double w = static_cast<double>(item.name->size()) * kLabelCharWidth + 2.0;
            Box chosen{};
            bool found = false;
            for (int k = 0; k < 25 && !found; ++k) {
                const double dy = (k % 2 == 1 ? -1.0 : 1.0) * ((k + 1) / 2) * (kLabelHeight + 1.0);
                for (const bool onRight : {true, false}) {
                    const double bx = onRight ? item.x + 7.0 : item.x - 7.0 - w;
                    const double by = item.y - kLabelHeight + 2.0 + dy;
                    const Box box{bx, by, bx + w, by + kLabelHeight};
                    if (box.x0 < v.x0 + 2.0 || box.x1 > right - 2.0 || box.y0 < v.y0 + 2.0 ||
                        box.y1 > bottom - 2.0) {
                        continue;
                    }
                    constexpr double kGap = 4.0;
                    const bool clear = std::none_of(taken.begin(), taken.end(), [&](const Box& t) {
                        return box.x0 < t.x1 + kGap && t.x0 < box.x1 + kGap && box.y0 < t.y1 &&
                               t.y0 < box.y1;
                    });
                    if (clear) {
                        chosen = box;
                        found = true;
                        break;
                    }
                }
            }
            if (!found)
                chosen = {item.x + 7.0, item.y - kLabelHeight + 2.0, item.x + 7.0 + w,
                          item.y + 2.0};
            taken.push_back(chosen);
            const double cy = 0.5 * (chosen.y0 + chosen.y1);
            if (std::fabs(cy - item.y) > kLabelHeight * 0.75) {
                const double ex = chosen.x0 > item.x ? chosen.x0 : chosen.x1;
                Line(item.x, item.y, ex, cy, "stroke=\"#999\" stroke-width=\"0.8\"");
            }
            Text(chosen.x0 + 1.0, chosen.y1 - 3.0, *item.name,
                 "font-size=\"11\" font-family=\"DejaVu Sans Mono, monospace\" fill=\"#1a1a1a\" "
                 "stroke=\"#ffffff\" stroke-width=\"3\" stroke-linejoin=\"round\" "
                 "paint-order=\"stroke\"");
        }
    }

    double ScaleLength() const {
        constexpr double kNice[] = {0.05, 0.1, 0.2, 0.25, 0.5, 1.0, 2.0, 5.0};
        for (const double len : kNice) {
            if (len * scale_ >= 80.0) return len;
        }
        return 5.0;
    }

    // A bar of a round length; anchored at its right end when alignRight.
    void ScaleBar(double x, double y, bool alignRight) {
        const double len = ScaleLength();
        const double px = len * scale_;
        const double x0 = alignRight ? x - px : x;
        out_ += "<rect x=\"" + SvgNumber(x0 - 6.0) + "\" y=\"" + SvgNumber(y - 18.0) + "\" width=\"" +
                SvgNumber(px + 12.0) + "\" height=\"26\" fill=\"#ffffff\" fill-opacity=\"0.85\"/>\n";
        Line(x0, y, x0 + px, y, "stroke=\"#222\" stroke-width=\"3\"");
        for (int i = 0; i <= 2; ++i) {
            const double tx = x0 + px * i / 2.0;
            Line(tx, y - 5.0, tx, y + 4.0, "stroke=\"#222\" stroke-width=\"1.2\"");
        }
        Text(x0 + px / 2.0, y - 8.0, SvgNumber(len, 2) + " m",
             "font-size=\"11\" fill=\"#222\" text-anchor=\"middle\"");
    }

    // ---- legend ------------------------------------------------------------

    static constexpr double kRow = 17.0;
    static constexpr std::size_t kMaxListedFrames = 24;

    std::size_t ListedFrames() const { return std::min(controls_.size(), kMaxListedFrames); }

    double LegendBottom() const {
        const double rows = 1.0 + 5.0 + 3.0 + 2.0 + 3.5 + 1.5 +
                            static_cast<double>(ListedFrames()) +
                            (controls_.size() > kMaxListedFrames ? 1.0 : 0.0);
        return legendY_ + rows * kRow + 10.0;
    }

    void Legend() {
        double x = legendX_, y = legendY_;
        Text(x, y, "Legend", "font-size=\"13\" font-weight=\"bold\" fill=\"#333\"");
        y += kRow;
        for (std::size_t i = 0; i < kLimbStyles.size(); ++i) {
            Line(x, y - 4.0, x + 26.0, y - 4.0,
                 std::string("stroke=\"") + kLimbStyles[i].colour +
                     "\" stroke-width=\"4\" stroke-linecap=\"round\"");
            Text(x + 34.0, y, std::string("driver's ") + kLimbStyles[i].name,
                 "font-size=\"12\" fill=\"#333\"");
            y += kRow;
        }
        constexpr const char* kAxisNames[] = {"frame's x axis", "frame's y axis", "frame's z axis"};
        for (int i = 0; i < 3; ++i) {
            Line(x, y - 4.0, x + 26.0, y - 4.0,
                 std::string("stroke=\"") + kAxisColours[i] + "\" stroke-width=\"2\"");
            Text(x + 34.0, y, std::string(kAxisNames[i]) + " (" + SvgNumber(kAxisLength, 2) + " m)",
                 "font-size=\"12\" fill=\"#333\"");
            y += kRow;
        }
        out_ += "<rect x=\"" + SvgNumber(x) + "\" y=\"" + SvgNumber(y - 11.0) +
                "\" width=\"26\" height=\"9\" fill=\"none\" stroke=\"" + kBoxColour + "\"/>\n";
        Text(x + 34.0, y, "box of a frame's renderable", "font-size=\"12\" fill=\"#333\"");
        y += kRow;
        Line(x, y - 4.0, x + 26.0, y - 4.0, "stroke=\"#888\" stroke-width=\"1.5\"");
        Text(x + 34.0, y, "debug lines, in their own colours", "font-size=\"12\" fill=\"#333\"");
        y += kRow * 2.0;
        ScaleBar(x + 6.0, y + 6.0, false);
        Text(x + ScaleLength() * scale_ + 20.0, y + 10.0, "grid: " + SvgNumber(GridStep(), 2) + " m",
             "font-size=\"12\" fill=\"#333\"");
        y += kRow * 2.0;

        Text(x, y, "Frames: origin in the vehicle (x, y, z)",
             "font-size=\"13\" font-weight=\"bold\" fill=\"#333\"");
        y += kRow;
        for (std::size_t i = 0; i < ListedFrames(); ++i) {
            const Control& c = controls_[i];
            const Vector3 p = c.local.pos;
            Text(x, y,
                 c.source->name + "  (" + SvgNumber(p.x, 3) + ", " + SvgNumber(p.y, 3) + ", " + SvgNumber(p.z, 3) +
                     ")",
                 "font-size=\"11\" font-family=\"DejaVu Sans Mono, monospace\" fill=\"#333\"");
            y += kRow;
        }
        if (controls_.size() > kMaxListedFrames) {
            Text(x, y, "... and " + std::to_string(controls_.size() - kMaxListedFrames) + " more",
                 "font-size=\"11\" fill=\"#333\"");
        }
    }

    struct BoneLocal {
        NodeIndex node;
        Vector3 from, to;
    };
    struct DebugLine {
        Vector3 from, to;
        std::uint32_t colour;
    };

    const PictureSnapshot& snap_;
    std::vector<BoneLocal> bones_;
    std::vector<Control> controls_;
    std::vector<DebugLine> lines_;
    Bounds content_;
    std::vector<View> views_;
    double scale_ = 1.0;
    double width_ = 0.0, height_ = 0.0;
    double legendX_ = 0.0, legendY_ = 0.0;
    std::string out_;
};

}  // namespace

std::string RenderSvg(const PictureSnapshot& snapshot) { return SvgWriter(snapshot).Render(); }

bool WriteSvg(const PictureSnapshot& snapshot, const std::filesystem::path& path,
              std::string* error) {
    if (replaceFileContents(path, RenderSvg(snapshot))) return true;
    if (error) *error = path.string() + ": cannot be written";
    return false;
}

PictureSnapshot CaptureSnapshot(sim::SimHost& host, CVehicle* vehicle, CPed* driver,
                                std::string title) {
    PictureSnapshot snap;
    snap.title = std::move(title);
    if (const FrameMatrix* m = host.VehicleMatrix(vehicle)) snap.vehicleWorld = *m;

    // Depth-first, children in order: the order in which the rig finds frames.
    std::vector<HostFrame*> stack;
    const auto pushChildren = [&](HostFrame* parent) {
        std::vector<HostFrame*> children;
        for (HostFrame* f = host.FrameFirstChild(parent); f; f = host.FrameNextSibling(f)) {
            children.push_back(f);
        }
        stack.insert(stack.end(), children.rbegin(), children.rend());
    };
    if (HostFrame* root = host.VehicleRootFrame(vehicle)) pushChildren(root);
    while (!stack.empty()) {
        HostFrame* frame = stack.back();
        stack.pop_back();
        PictureSnapshot::Control c;
        c.name = host.FrameName(frame);
        if (const FrameMatrix* world = host.FrameWorld(frame)) c.world = *world;
        const HostRenderable* r = host.FrameRenderable(frame);
        const int count = host.RenderableVertexCount(r);
        const Vector3* vertices = host.RenderableVertices(r);
        if (count > 0 && vertices != nullptr) {
            c.hasBox = true;
            c.boxMin = c.boxMax = vertices[0];
            for (int i = 1; i < count; ++i) {
                const Vector3& p = vertices[i];
                c.boxMin = {std::min(c.boxMin.x, p.x), std::min(c.boxMin.y, p.y),
                            std::min(c.boxMin.z, p.z)};
                c.boxMax = {std::max(c.boxMax.x, p.x), std::max(c.boxMax.y, p.y),
                            std::max(c.boxMax.z, p.z)};
            }
        }
        snap.controls.push_back(std::move(c));
        pushChildren(frame);
    }

    if (const sim::SimSkeleton* skeleton = host.Skeleton(driver)) {
        for (NodeIndex node = 1; node < kNodeCount; ++node) {
            const FrameMatrix* joint = skeleton->Matrix(node);
            const FrameMatrix* parent = skeleton->Matrix(ParentNode(node));
            if (joint == nullptr || parent == nullptr) continue;
            snap.bones.push_back({node, parent->pos, joint->pos});
        }
    }

    for (std::size_t i = 0; i + 1 < host.drawnLines.size(); i += 2) {
        snap.lines.push_back(
            {host.drawnLines[i].pos, host.drawnLines[i + 1].pos, host.drawnLines[i].colour});
    }
    return snap;
}

}  // namespace kovra::cli
