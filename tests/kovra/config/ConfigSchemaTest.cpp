#include "kovra/config/ConfigSchema.h"

#include <gtest/gtest.h>

#include "ConfigTestSupport.h"
#include "kovra/config/GlobalSettings.h"
#include "kovra/config/IniDocument.h"
#include "kovra/config/VehicleConfigStore.h"
#include "kovra/host/Runtime.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {

// Every section and key a document holds must be one the schema (and so
// `kovra lint`) knows, with a value of the kind it says.
void ExpectKnown(ConfigFileKind kind, const std::string& text) {
    IniDocument doc;
    doc.parse(text);
    for (const IniSection& section : doc.sections()) {
        const ConfigSectionSpec* spec = FindConfigSection(kind, section.name());
        ASSERT_NE(spec, nullptr) << section.name();
        for (const IniKey& key : section.keys()) {
            EXPECT_NE(FindConfigKey(*spec, key.name), nullptr) << section.name() << "." << key.name;
        }
    }
}

TEST(ConfigSchema, EveryWrittenVehicleKeyIsKnown) {
    sim::SimHost host;
    Runtime runtime(host);
    runtime.store().exportGears = true;
    for (int bike : {0, 1}) {
        for (int k = 0; k < kHandleKindCount; ++k) {
            auto handle = CabinIk::MakeHandle(runtime, static_cast<HandleKind>(k));
            handle->isBike = bike;
            SCOPED_TRACE(handle->WriteConfig());
            ExpectKnown(ConfigFileKind::Vehicle, handle->WriteConfig());
        }
    }
}

TEST(ConfigSchema, EverySavedSettingIsKnown) {
    test::TempDir dir;
    const auto path = dir / kGlobalSettingsFileName;
    ASSERT_TRUE(saveGlobalSettings(path, GlobalSettings{}));
    ExpectKnown(ConfigFileKind::Settings, test::readFile(path));
}

}  // namespace
}  // namespace kovra
