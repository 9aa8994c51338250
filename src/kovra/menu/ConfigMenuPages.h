#pragma once

namespace kovra {

class Runtime;
class TextMenu;

// The configuration menu's pages: "Main", "About", "Multipliers" and
// "Globals". They edit the global settings in place; the menu saves them
// when it closes.
class ConfigMenuPages {
public:
    static constexpr const char* kTitle = "~y~~h~- Kovra Config -";
    static constexpr float kMinScale = 0.1f;
    static constexpr float kMaxScale = 5.0f;

    explicit ConfigMenuPages(Runtime& runtime) : runtime_(runtime) {}

    // Draws whichever page is current; `vehicleMenu` follows a scale change.
    void Draw(TextMenu& menu, TextMenu& vehicleMenu);

private:
    void About(TextMenu& menu);
    void Multipliers(TextMenu& menu);
    void Globals(TextMenu& menu, TextMenu& vehicleMenu);

    Runtime& runtime_;
};

}  // namespace kovra
