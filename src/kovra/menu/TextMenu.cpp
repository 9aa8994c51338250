#include "kovra/menu/TextMenu.h"

#include <algorithm>
#include <cmath>

#include "kovra/config/GlobalSettings.h"
#include "kovra/config/NumberFormat.h"
#include "kovra/host/Host.h"
#include "kovra/host/Keyboard.h"

namespace kovra {

namespace {

constexpr float kScreenMargin = 5.0f;
constexpr float kLineHeightPerTextScale = 18.0f;
constexpr float kBreadcrumbScale = 0.75f;
constexpr float kDefaultScale = 0.6f;
constexpr std::uint32_t kFocusedAlpha = 255;
constexpr std::uint32_t kUnfocusedAlpha = 100;
constexpr Colour kWhite = 0x00ffffffu;
constexpr Colour kBlack = 0x00000000u;

constexpr const char* kItemPrefix = "~w~";
constexpr const char* kSelectedPrefix = "~g~~h~";
constexpr const char* kValuePrefix = "~y~~h~";
constexpr const char* kOn = "~g~~h~~h~ON";
constexpr const char* kOff = "~r~~h~OFF";
constexpr const char* kGoBack = "GoBack...";

// A coordinate kept within the screen's margins; one that is not a number
// starts again from the margin.
float OnScreen(float value, int extent) {
    const float high = static_cast<float>(extent) - kScreenMargin;
    if (!std::isfinite(value) || value < kScreenMargin) return kScreenMargin;
    return value > high ? std::max(high, kScreenMargin) : value;
}

}  // namespace

TextMenu::TextMenu(Host& host, const Keyboard& keyboard, const GlobalSettings& settings,
                   const Vector3& position_)
    : position(position_), cursor(position_), host_(host), keyboard_(keyboard), settings_(settings) {}

// ---- keys --------------------------------------------------------------------

bool TextMenu::held(std::int32_t vk) const { return keyboard_.KeyDown(vk); }
bool TextMenu::pressed(std::int32_t vk) const { return keyboard_.KeyPressed(vk); }

bool TextMenu::activated(bool isSelected) const {
    return isSelected && takesKeys() &&
           (pressed(settings_.Left) || pressed(settings_.Right) || pressed(settings_.Select));
}

// ---- drawing -----------------------------------------------------------------

void TextMenu::useScale(float lineScale) {
    textScaleX = lineScale;
    textScaleY = 2.0f * lineScale;
    lineHeight = kLineHeightPerTextScale * textScaleY;
    style_.scaleX = textScaleX;
    style_.scaleY = textScaleY;
}

void TextMenu::drawLine() {
    const std::uint32_t alpha = focused ? kFocusedAlpha : kUnfocusedAlpha;
    style_.colour = kWhite | (alpha << 24);
    style_.shadowColour = kBlack | (kFocusedAlpha << 24);
    const bool ownScale = nextLineScale != 0.0f;
    if (ownScale) useScale(nextLineScale);
    host_.SetTextStyle(style_);

    // line_ is reused frame after frame, so drawing a line allocates nothing.
    host_.DrawText(cursor.x, cursor.y, line_.c_str());
    cursor.y += lineHeight;
    maxLineWidth = std::max(maxLineWidth, host_.TextWidth(line_.c_str()));

    if (ownScale) {
        useScale(scale);
        nextLineScale = 0.0f;
    }
}

bool TextMenu::beginItem(std::string_view label) {
    const bool isSelected = itemIndex == selected;
    if (isSelected) hoveredLabel.assign(label);
    line_ = kItemPrefix;
    if (isSelected) line_ += kSelectedPrefix;
    return isSelected;
}

void TextMenu::endItem() {
    drawLine();
    ++itemIndex;
}

// ---- items -------------------------------------------------------------------

void TextMenu::label(std::string_view text) {
    line_.assign(text);
    drawLine();
}

void TextMenu::gap() { cursor.y += lineHeight; }

void TextMenu::separator(float height) {
    const float h = height != 0.0f ? height : lineHeight * 0.1f;
    const std::uint32_t alpha = (focused ? kFocusedAlpha : kUnfocusedAlpha) << 24;
    cursor.y += 2.5f * h;
    host_.DrawRect(cursor.x - 2.5f, cursor.y - 2.5f, cursor.x + maxLineWidth + 2.5f,
                   cursor.y + h + 2.5f, kBlack | alpha);
    host_.DrawRect(cursor.x, cursor.y, cursor.x + maxLineWidth, cursor.y + h, kWhite | alpha);
    cursor.y += 1.25f * h;
}

bool TextMenu::action(std::string_view text) {
    const bool isSelected = beginItem(text);
    line_ += text;
    endItem();
    return activated(isSelected);
}

bool TextMenu::toggle(bool& flag, std::string_view label) {
    const bool isSelected = beginItem(label);
    const bool flip = activated(isSelected);
    if (flip) flag = !flag;
    line_ += label;
    line_ += flag ? kOn : kOff;
    endItem();
    return flip;
}

bool TextMenu::number(float& value, std::string_view label, float step, float min, float max,
                      int decimals) {
    const bool isSelected = beginItem(label);
    bool changed = false;
    if (isSelected && takesKeys()) {
        const float multiplier = held(kShiftKey) ? 3.0f : (held(kControlKey) ? 0.25f : 1.0f);
        const float delta = step * multiplier;
        // Whatever the value held, an edit leaves a number within the range.
        if (!std::isfinite(value)) value = 0.0f;
        if (held(settings_.Left)) {
            value -= delta;
            changed = true;
        }
        if (held(settings_.Right)) {
            value += delta;
            changed = true;
        }
        // Only an edit brings the value into the range: moving over a line
        // leaves a value read from a file as it is.
        if (changed) {
            if (!std::isfinite(value)) value = 0.0f;
            value = std::clamp(value, min, max);
        }
    }
    line_ += label;
    line_ += kValuePrefix;
    line_ += formatFixed(value, decimals);
    endItem();
    return changed;
}

bool TextMenu::integer(std::int32_t& value, std::string_view label, std::int32_t step,
                       std::int32_t min, std::int32_t max) {
    const bool isSelected = beginItem(label);
    bool changed = false;
    if (isSelected && takesKeys()) {
        // Widened so that a step at either end of the range cannot overflow.
        long long wide = value;
        if (pressed(settings_.Left)) {
            wide -= step;
            changed = true;
        }
        if (pressed(settings_.Right)) {
            wide += step;
            changed = true;
        }
        if (changed) value = static_cast<std::int32_t>(std::clamp<long long>(wide, min, max));
    }
    line_ += label;
    if (hideNextIntValue) {
        hideNextIntValue = false;
    } else {
        line_ += kValuePrefix;
        line_ += formatInteger(value);
    }
    endItem();
    return changed;
}

bool TextMenu::pageLink(std::string_view label, std::string_view page) {
    if (!action(label)) return false;
    pendingPage.assign(page);
    goBack = false;
    return true;
}

bool TextMenu::beginPage(std::string_view name) {
    if (name != currentPage) return false;
    pageDrawn = true;
    if (pageStack.size() > 1) {
        nextLineScale = kBreadcrumbScale * scale;
        line_ = pageStack[pageStack.size() - 2];
        line_ += " >> ";
        line_ += name;
        drawLine();
        cursor.y += lineHeight * 0.5f;
    }
    return true;
}

void TextMenu::endPage() {
    if (pageStack.size() < 2) return;
    if (action(kGoBack)) {
        pendingPage.clear();
        goBack = true;
    }
}

// ---- the frame ----------------------------------------------------------------

bool TextMenu::beginFrame() {
    hoveredLabel.clear();
    if (!visible) return false;
    position.x = OnScreen(position.x, host_.ScreenWidth());
    position.y = OnScreen(position.y, host_.ScreenHeight());
    if (!std::isfinite(position.z)) position.z = 0.0f;

    style_ = TextStyle{};
    if (!std::isfinite(scale)) scale = kDefaultScale;
    useScale(scale);
    nextLineScale = 0.0f;

    cursor = position;
    itemIndex = 0;
    label(title);
    separator();
    cursor.y += lineHeight * 0.15f;
    return true;
}

void TextMenu::endFrame() {
    itemCount = itemIndex;
    if (takesKeys()) {
        if (pressed(settings_.Down)) ++selected;
        if (pressed(settings_.Up)) --selected;
    }
    if (selected >= itemCount) selected = 0;
    if (selected < 0) selected = std::max(itemCount - 1, 0);

    if (moveWithMouse) {
        float dx = 0.0f;
        float dy = 0.0f;
        host_.MouseMovement(dx, dy);
        if (std::isfinite(dx) && std::isfinite(dy)) {
            position.x += dx;
            position.y -= dy;
        }
    }

    if (!pageDrawn) reset();
    if (takesKeys() && pressed(settings_.Back)) goBack = true;
    if (!pendingPage.empty()) {
        switchPage(pendingPage);
        pageStack.push_back(pendingPage);
        if (goBack) pop();
    } else if (goBack) {
        pop();
    }
    pendingPage.clear();
    goBack = false;
    pageDrawn = false;

    if (inputLock && !held(settings_.Left) && !held(settings_.Right) && !held(settings_.Select) &&
        !held(settings_.Back)) {
        inputLock = false;
    }
}

void TextMenu::switchPage(const std::string& name) {
    currentPage = name;
    inputLock = true;
    maxLineWidth = 0.0f;
    selected = 0;
    cursor = position;
    itemIndex = 0;
}

void TextMenu::pop() {
    if (pageStack.size() < 2) return;
    switchPage(pageStack[pageStack.size() - 2]);
    pageStack.pop_back();
}

void TextMenu::reset() {
    pageStack.assign(1, rootPage);
    currentPage = rootPage;
}

}  // namespace kovra
