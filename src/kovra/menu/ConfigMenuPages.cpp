#include "kovra/menu/ConfigMenuPages.h"

#include <filesystem>
#include <string>

#include "kovra/config/PathText.h"
#include "kovra/host/Runtime.h"
#include "kovra/menu/TextMenu.h"

namespace kovra {

namespace {

constexpr float kUnbounded = 1000000.0f;
constexpr float kMultiplierStep = 0.01f;

// The documents shipped in the "docs" folder beside the plugin.
struct DocumentLink {
    const char* label;
    const char* file;
};
constexpr DocumentLink kDocumentLinks[] = {
    {"Menu guide (docs/menu.md)", "menu.md"},
    {"Configuration files (docs/configuration.md)", "configuration.md"},
    {"Scenes and previews (docs/scenes.md)", "scenes.md"},
};

}  // namespace

void ConfigMenuPages::Draw(TextMenu& menu, TextMenu& vehicleMenu) {
    if (menu.beginPage("Main")) {
        menu.pageLink("Multipliers...", "Multipliers");
        menu.pageLink("Globals...", "Globals");
        menu.pageLink("About...", "About");
        menu.endPage();
    }
    if (menu.beginPage("About")) About(menu);
    if (menu.beginPage("Multipliers")) Multipliers(menu);
    if (menu.beginPage("Globals")) Globals(menu, vehicleMenu);
}

void ConfigMenuPages::About(TextMenu& menu) {
    menu.label("~w~Kovra driver IK, by the Kovra developers");
    menu.label("Version: v1.1");
    menu.gap();
    menu.label("~y~~h~- My Socials! -");
    for (const DocumentLink& link : kDocumentLinks) {
        if (!menu.action(link.label)) continue;
        const std::filesystem::path file =
            PathFromText(runtime_.paths().PluginDirectory()) / "docs" / link.file;
        runtime_.host().OpenUrl(TextFromPath(file).c_str());
    }
    menu.gap();
    menu.endPage();
}

void ConfigMenuPages::Multipliers(TextMenu& menu) {
    GlobalSettings& s = runtime_.settings();
    menu.number(s.gWristOffsetY, "gWristOffsetY: ", kMultiplierStep, -kUnbounded, kUnbounded, 2);
    menu.number(s.muPedalSwitch, "muPedalSwitch: ", kMultiplierStep, 0.0f, kUnbounded, 2);
    menu.number(s.muThrottle, "muThrottle: ", kMultiplierStep, 0.0f, kUnbounded, 2);
    menu.number(s.muSpinePush, "muSpinePush: ", kMultiplierStep, 0.0f, kUnbounded, 2);
    menu.number(s.muDamping, "muDamping: ", kMultiplierStep, 0.0f, kUnbounded, 2);
    menu.number(s.muStiffness, "muStiffness: ", kMultiplierStep, 0.0f, kUnbounded, 2);
    menu.endPage();
}

void ConfigMenuPages::Globals(TextMenu& menu, TextMenu& vehicleMenu) {
    GlobalSettings& s = runtime_.settings();
    menu.toggle(runtime_.debug().enabled, "DebugLines: ");
    menu.toggle(s.Vanilla_Sound_Gearing, "VanillaSoundGearing: ");
    menu.toggle(menu.moveWithMouse, "MoveMenu: ");
    // Never down to 0: a menu drawn at no size could not be found again.
    if (menu.number(menu.scale, "MenuScale: ", 0.01f, kMinScale, kMaxScale, 2)) {
        menu.maxLineWidth = 0.0f;
        vehicleMenu.maxLineWidth = 0.0f;
    }
    menu.gap();
    menu.label("~y~~h~Defaults:");
    menu.toggle(s.useCarSpinePush, "useCarSpinePush: ");
    menu.toggle(s.useSeatJiggle, "useSeatJiggle: ");
    menu.endPage();
}

}  // namespace kovra
