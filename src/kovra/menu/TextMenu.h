#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kovra/host/HostTypes.h"
#include "kovra/ik/Vector3.h"

namespace kovra {

class Host;
class Keyboard;
struct GlobalSettings;

// An immediate-mode text menu drawn with the game's screen text. Every frame
// the page code calls the item operations in drawing order between
// beginFrame and endFrame; each item draws one line at the cursor and tells
// whether the user changed or activated it in this frame. The caller owns
// every value an item edits. Only a focused menu reacts to keys; the keys
// are the menu keys of the global settings, read as they are each frame.
class TextMenu {
public:
    static constexpr const char* kRootPage = "Main";
    static constexpr int kShiftKey = 16;
    static constexpr int kControlKey = 17;

    TextMenu(Host& host, const Keyboard& keyboard, const GlobalSettings& settings,
             const Vector3& position);
    TextMenu(const TextMenu&) = delete;
    TextMenu& operator=(const TextMenu&) = delete;

    // ---- the frame -----------------------------------------------------------
    // Sets up the text state and draws the title; false when not visible.
    bool beginFrame();
    // Moves the selection, follows the mouse, and acts on page changes.
    void endFrame();
    // Back to the root page with a fresh page stack.
    void reset();

    // ---- items ---------------------------------------------------------------
    void label(std::string_view text);
    // A bar as wide as the widest line; height 0 means a tenth of a line.
    void separator(float height = 0.0f);
    // An empty line.
    void gap();
    bool action(std::string_view text);
    // Shows ON or OFF after the label and flips `flag` when activated.
    bool toggle(bool& flag, std::string_view label);
    // Left and Right change the value by `step` every frame they are held
    // (x3 with Shift, x0.25 with Control); kept within min..max.
    bool number(float& value, std::string_view label, float step, float min, float max,
                int decimals);
    // Left and Right change the value once per press; kept within min..max.
    bool integer(std::int32_t& value, std::string_view label, std::int32_t step,
                 std::int32_t min, std::int32_t max);
    // An action that opens `page` at the end of the frame.
    bool pageLink(std::string_view label, std::string_view page);
    // Whether `name` is the current page; draws the breadcrumb below the root.
    bool beginPage(std::string_view name);
    // The "GoBack..." item on every page but the root.
    void endPage();

    // ---- state -----------------------------------------------------------------
    Vector3 position;  // of the first line, pixels
    Vector3 cursor;    // where the next line goes
    std::string rootPage = kRootPage;
    std::string currentPage = kRootPage;
    std::string title;
    std::string pendingPage;
    bool goBack = false;
    std::vector<std::string> pageStack{kRootPage};
    float scale = 0.6f;
    float nextLineScale = 0.0f;  // one line at another scale, then back to 0
    float textScaleX = 1.0f;
    float textScaleY = 2.0f;
    float lineHeight = 16.5f;
    // Set by a page change so that the key that changed pages does not act
    // on the new page; cleared once Left, Right, Select and Back are up.
    bool inputLock = false;
    bool pageDrawn = false;
    bool moveWithMouse = false;
    bool visible = true;
    bool focused = false;
    float maxLineWidth = 0.0f;  // widest line since the last page or scale change
    std::int32_t itemCount = 0;
    std::int32_t itemIndex = 0;
    std::int32_t selected = 0;
    bool hideNextIntValue = false;  // the next integer item shows its label only
    // The label, as the page code passed it, of the item selected this frame.
    std::string hoveredLabel;

private:
    void drawLine();  // draws line_
    // Whether the next selectable item is the selected one; starts its line.
    bool beginItem(std::string_view label);
    void endItem();
    bool takesKeys() const { return focused && !inputLock; }
    bool activated(bool isSelected) const;
    bool held(std::int32_t vk) const;
    bool pressed(std::int32_t vk) const;
    void useScale(float lineScale);
    void switchPage(const std::string& name);
    void pop();

    Host& host_;
    const Keyboard& keyboard_;
    const GlobalSettings& settings_;
    TextStyle style_;
    std::string line_;  // the line being built, reused
};

}  // namespace kovra
