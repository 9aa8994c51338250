#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "windows/HostBuild.h"

namespace kovra::windows {

// A build description read from its INI file (format: docs/windows.md):
// the HostBuild the module runs on, with the storage its texts and lists
// live in, and the line of every entry, so that a finding about one can
// name FILE:LINE. Platform-free: the module reads descriptions at load, the
// `kovra` program checks them on any machine.
class BuildDescription {
public:
    // Null when the text is no valid description; `error` then says
    // "FILE:LINE: what" about the first fault. A description is taken whole
    // or not at all.
    static std::unique_ptr<BuildDescription> Read(std::string_view text, const std::string& file,
                                                  std::string& error);
    BuildDescription(const BuildDescription&) = delete;
    BuildDescription& operator=(const BuildDescription&) = delete;

    const HostBuild& build() const { return build_; }
    const std::string& file() const { return file_; }
    // "FILE:LINE" of a key ("Globals.CameraPosition", "Build.Identity"), or
    // of the `index`th line of [Sites]; "FILE" when unknown.
    std::string Where(const std::string& sectionDotKey) const;
    std::string SiteWhere(std::size_t index) const;

    // Every address of the description but the sites themselves: what it
    // is, whether it must be code (or data), and FILE:LINE. The start-up
    // byte, each site's routine, the pools' and the variables' places (the
    // first address of a pointer path), the routines.
    struct Place {
        std::string what;
        Address address = 0;
        bool code = false;
        std::string where;
    };
    std::vector<Place> Places() const;

    // The name of an event in descriptions and in the log ("PedIk").
    static const char* EventName(HostEvent event);
    // The names of the routines of [Routines], in Routines' order.
    static const std::vector<const char*>& RoutineNames();

private:
    BuildDescription() = default;
    friend class BuildDescriptionReader;

    std::string file_;
    std::string name_;
    std::vector<std::uint8_t> identity_;
    std::vector<HookSite> sites_;
    std::vector<std::size_t> siteLines_;
    std::map<std::string, std::size_t> lines_;
    HostBuild build_{};
};

}  // namespace kovra::windows
