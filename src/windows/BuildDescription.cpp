#include "windows/BuildDescription.h"

#include <charconv>
#include <functional>
#include <sstream>

#include "kovra/config/IniDocument.h"
#include "windows/SiteHooks.h"

namespace kovra::windows {

namespace {

constexpr const char* kEventNames[] = {
    "EngineReady",    "PedIk",          "PedHead",       "VehicleProcess", "VehicleFrameEnd",
    "Frame",          "OverlayB",       "SeatPlacement", "BikeProcess",    "VehicleAudioGear",
    "VehicleCreated", "VehicleDestroyed", "VehiclePoolCreated"};

std::vector<std::string> Words(const std::string& value) {
    std::istringstream in(value);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// A whole number: decimal, or hexadecimal after "0x"; an optional minus.
bool Number(std::string_view text, long long& out) {
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return false;
    out = negative ? -value : value;
    return true;
}

bool FieldTypeNamed(const std::string& name, FieldType& out) {
    static const std::map<std::string, FieldType> kTypes{
        {"int8", FieldType::Int8},   {"uint8", FieldType::UInt8},   {"int16", FieldType::Int16},
        {"uint16", FieldType::UInt16}, {"int32", FieldType::Int32}, {"uint32", FieldType::UInt32}};
    const auto it = kTypes.find(name);
    if (it == kTypes.end()) return false;
    out = it->second;
    return true;
}

}  // namespace

// Reads one description; every handler checks its own value and says what
// is wrong with it.
class BuildDescriptionReader {
public:
    explicit BuildDescriptionReader(BuildDescription& d) : d_(d), b_(d.build_) {}

    bool Read(std::string_view text, std::string& error);

private:
    using Handler = std::function<bool(const std::string& value, std::string& why)>;

    bool Address(const std::string& value, windows::Address& out, std::string& why) {
        long long n = 0;
        if (!Number(value, n) || n < 0 || n > 0xFFFFFFFFLL) {
            why = "\"" + value + "\" is no address";
            return false;
        }
        out = static_cast<windows::Address>(n);
        return true;
    }
    bool Integer(const std::string& value, std::int32_t& out, std::string& why, long long low = 0,
                 long long high = 0x7FFFFFFF) {
        long long n = 0;
        if (!Number(value, n) || n < low || n > high) {
            why = "\"" + value + "\" is no whole number from " + std::to_string(low) + " to " + std::to_string(high);
            return false;
        }
        out = static_cast<std::int32_t>(n);
        return true;
    }
    // "OFFSET" or, where the type may differ, "OFFSET TYPE".
    Handler OffsetKey(Offset& out) {
        return [this, &out](const std::string& v, std::string& why) {
            const auto w = Words(v);
            if (w.size() != 1) return (why = "an offset is one number", false);
            return Integer(w[0], out, why, 0, 0xFFFF);
        };
    }
    Handler TypedKey(Offset& out, FieldType& type) {
        return [this, &out, &type](const std::string& v, std::string& why) {
            const auto w = Words(v);
            if (w.empty() || w.size() > 2) return (why = "expected an offset and a type", false);
            if (w.size() == 2 && !FieldTypeNamed(w[1], type)) {
                return (why = "\"" + w[1] + "\" is no type (int8, uint8, int16, uint16, int32, uint32)", false);
            }
            return Integer(w[0], out, why, 0, 0xFFFF);
        };
    }
    // "OFFSET inline LENGTH" or "OFFSET pointer".
    Handler NameKey(Offset& out, std::int32_t& length) {
        return [this, &out, &length](const std::string& v, std::string& why) {
            const auto w = Words(v);
            if (w.size() == 2 && w[1] == "pointer") {
                length = 0;
                return Integer(w[0], out, why, 0, 0xFFFF);
            }
            if (w.size() != 3 || w[1] != "inline") {
                return (why = "expected \"OFFSET inline LENGTH\" or \"OFFSET pointer\"", false);
            }
            return Integer(w[0], out, why, 0, 0xFFFF) && Integer(w[2], length, why, 1, 4096);
        };
    }
    Handler AddressKey(windows::Address& out) {
        return [this, &out](const std::string& v, std::string& why) {
            const auto w = Words(v);
            if (w.size() != 1) return (why = "an address is one number", false);
            return Address(w[0], out, why);
        };
    }
    Handler IntegerKey(std::int32_t& out, long long low, long long high) {
        return [this, &out, low, high](const std::string& v, std::string& why) {
            const auto w = Words(v);
            if (w.size() != 1) return (why = "expected one number", false);
            return Integer(w[0], out, why, low, high);
        };
    }
    // "ADDRESS", "[ADDRESS]+OFFSET" or "[[ADDRESS]+OFFSET]+OFFSET".
    Handler LocationKey(Location& out) {
        return [this, &out](const std::string& v, std::string& why) {
            const auto w = Words(v);
            if (w.size() != 1) return (why = "a variable's place is one word", false);
            std::string text = w[0];
            std::size_t open = 0;
            while (open < text.size() && text[open] == '[') ++open;
            if (open > 2) return (why = "at most two pointers lead to a variable", false);
            Location location;
            std::size_t pos = open;
            std::size_t end = text.find(']', pos);
            if (open == 0) end = text.size();
            if (end == std::string::npos || !Address(text.substr(pos, end - pos), location.address, why)) {
                if (why.empty()) why = "\"" + text + "\" is no place";
                return false;
            }
            pos = end;
            for (std::size_t hop = 0; hop < open; ++hop) {
                if (pos >= text.size() || text[pos] != ']' || pos + 1 >= text.size() || text[pos + 1] != '+') {
                    return (why = "\"" + text + "\": each \"]\" is followed by \"+OFFSET\"", false);
                }
                pos += 2;
                const std::size_t next = hop + 1 < open ? text.find(']', pos) : text.size();
                if (next == std::string::npos ||
                    !Integer(text.substr(pos, next - pos), location.hops[hop], why, 0, 0xFFFF)) {
                    return false;
                }
                pos = next;
            }
            location.hopCount = static_cast<std::int32_t>(open);
            out = location;
            return true;
        };
    }
    // "ADDRESS SHAPE"; thiscall only for routines that begin with a pointer or integer.
    Handler RoutineKey(RoutineAt& out, bool mayBeThiscall) {
        return [this, &out, mayBeThiscall](const std::string& v, std::string& why) {
            const auto w = Words(v);
            if (w.size() != 2) return (why = "expected \"ADDRESS SHAPE\"", false);
            if (!Address(w[0], out.address, why)) return false;
            if (w[1] == "cdecl") {
                out.shape = CallShape::Cdecl;
            } else if (w[1] == "stdcall") {
                out.shape = CallShape::Stdcall;
            } else if (w[1] == "thiscall" && mayBeThiscall) {
                out.shape = CallShape::Thiscall;
            } else {
                return (why = "\"" + w[1] + "\" is no shape this routine can have (cdecl, stdcall" +
                              (mayBeThiscall ? ", thiscall)" : ")"),
                        false);
            }
            return true;
        };
    }

    bool Site(const std::string& event, const std::string& value, std::string& why);
    void Table();

    BuildDescription& d_;
    HostBuild& b_;
    std::map<std::string, std::map<std::string, Handler>> sections_;
};

void BuildDescriptionReader::Table() {
    auto& build = sections_["Build"];
    build["PreferredBase"] = AddressKey(b_.preferredBase);
    build["Identity"] = AddressKey(b_.identity);
    build["StartupByte"] = AddressKey(b_.startupByte);
    build["Name"] = [this](const std::string& v, std::string& why) {
        if (v.empty()) return (why = "a build has a name", false);
        d_.name_ = v;
        return true;
    };
    build["IdentityBytes"] = [this](const std::string& v, std::string& why) {
        d_.identity_.clear();
        for (const std::string& w : Words(v)) {
            long long n = 0;
            if (w.size() != 2 || !Number("0x" + w, n)) return (why = "\"" + w + "\" is no byte in hexadecimal", false);
            d_.identity_.push_back(static_cast<std::uint8_t>(n));
        }
        if (d_.identity_.size() < 8 || d_.identity_.size() > 64) {
            return (why = "a build is told apart by 8 to 64 bytes", false);
        }
        return true;
    };
    build["ScriptHandle"] = [this](const std::string& v, std::string& why) {
        if (v == "slot-and-reuse") {
            b_.scriptHandle = ScriptHandleRule::SlotAndReuse;
        } else if (v == "slot") {
            b_.scriptHandle = ScriptHandleRule::Slot;
        } else if (v == "address") {
            b_.scriptHandle = ScriptHandleRule::VehicleAddress;
        } else {
            return (why = "\"" + v + "\" is no script-handle rule (slot-and-reuse, slot, address)", false);
        }
        return true;
    };
    for (auto [name, pool] : {std::pair{"VehiclePool", &b_.vehiclePool}, std::pair{"PedPool", &b_.pedPool}}) {
        auto& s = sections_[name];
        s["Pointer"] = AddressKey(pool->pointer);
        s["Objects"] = OffsetKey(pool->objects);
        s["Flags"] = OffsetKey(pool->flags);
        s["Capacity"] = OffsetKey(pool->capacity);
        s["ObjectSize"] = IntegerKey(pool->objectSize, 1, 0xFFFF);
    }
    Globals& g = b_.globals;
    auto& globals = sections_["Globals"];
    globals["PlayerPed"] = LocationKey(g.playerPed);
    globals["CameraPosition"] = LocationKey(g.cameraPosition);
    globals["TimeStep"] = LocationKey(g.timeStep);
    globals["IkSuspended"] = LocationKey(g.ikSuspended);
    globals["ScreenWidth"] = LocationKey(g.screenWidth);
    globals["ScreenHeight"] = LocationKey(g.screenHeight);
    globals["TypedChars"] = LocationKey(g.typedChars);
    globals["TypedCharCapacity"] = IntegerKey(g.typedCharCapacity, 1, 4096);
    globals["MouseDx"] = LocationKey(g.mouseDx);
    globals["MouseDy"] = LocationKey(g.mouseDy);
    globals["ModelTable"] = LocationKey(g.modelTable);
    globals["ModelCount"] = IntegerKey(g.modelCount, 1, 1 << 20);
    ModelLayout& m = b_.model;
    auto& model = sections_["Model"];
    model["Type"] = TypedKey(m.type, m.typeType);
    model["Name"] = NameKey(m.name, m.nameLength);
    model["Structure"] = OffsetKey(m.structure);
    model["FrontSeat"] = OffsetKey(m.frontSeat);
    model["Handlebar"] = OffsetKey(m.handlebar);
    VehicleLayout& v = b_.vehicle;
    auto& vehicle = sections_["Vehicle"];
    vehicle["ModelId"] = TypedKey(v.modelId, v.modelIdType);
    for (auto [key, field] : {std::pair{"Driver", &v.driver}, {"Matrix", &v.matrix}, {"Clump", &v.clump},
                              {"Handling", &v.handling}, {"SteerAngle", &v.steerAngle}, {"GasPedal", &v.gasPedal},
                              {"BrakePedal", &v.brakePedal}, {"Speed", &v.speed}, {"Lean", &v.lean},
                              {"BarAngle", &v.barAngle}, {"MoveSpeed", &v.moveSpeed},
                              {"BikeBodyFrame", &v.bikeBodyFrame}, {"BikeSteeringFrame", &v.bikeSteeringFrame},
                              {"DrawnBarAngle", &v.drawnBarAngle}, {"HandlingLeanLimit", &v.handlingLeanLimit}}) {
        vehicle[key] = OffsetKey(*field);
    }
    vehicle["HandBrake"] = TypedKey(v.handBrake, v.handBrakeType);
    vehicle["Gear"] = TypedKey(v.gear, v.gearType);
    vehicle["StateByte"] = TypedKey(v.stateByte, v.stateByteType);
    vehicle["AudioFlags"] = TypedKey(v.audioFlags, v.audioFlagsType);
    vehicle["WheelsOnGround"] = TypedKey(v.wheelsOnGround, v.wheelsOnGroundType);
    vehicle["AudioValue"] = TypedKey(v.audioValue, v.audioValueType);
    vehicle["HandlingAnimGroup"] = TypedKey(v.handlingAnimGroup, v.animGroupType);
    PedLayout& p = b_.ped;
    auto& ped = sections_["Ped"];
    for (auto [key, field] : {std::pair{"Clump", &p.clump}, {"Vehicle", &p.vehicle}, {"EntityFlags", &p.entityFlags},
                              {"PrimaryTasks", &p.primaryTasks}, {"SecondaryTasks", &p.secondaryTasks},
                              {"TaskType", &p.taskType}, {"FirstAnimation", &p.firstAnimation},
                              {"AnimationNext", &p.animationNext}, {"AnimationNameKey", &p.animationNameKey},
                              {"FrameData", &p.frameData}}) {
        ped[key] = OffsetKey(*field);
    }
    ped["FrameDataStride"] = IntegerKey(p.frameDataStride, 28, 0xFFFF);
    ped["State"] = TypedKey(p.state, p.stateType);
    ped["InVehicle"] = TypedKey(p.inVehicle, p.inVehicleType);
    ClumpLayout& c = b_.clump;
    auto& clump = sections_["Clump"];
    for (auto [key, field] : {std::pair{"RootFrame", &c.rootFrame}, {"Hierarchy", &c.hierarchy},
                              {"NodeCount", &c.nodeCount}, {"NodeIds", &c.nodeIds}, {"Matrices", &c.matrices}}) {
        clump[key] = OffsetKey(*field);
    }
    FrameLayout& f = b_.frame;
    auto& frame = sections_["Frame"];
    for (auto [key, field] : {std::pair{"Modelling", &f.modelling}, {"FirstChild", &f.firstChild},
                              {"NextSibling", &f.nextSibling}, {"Renderable", &f.renderable},
                              {"VertexCount", &f.vertexCount}, {"Vertices", &f.vertices}}) {
        frame[key] = OffsetKey(*field);
    }
    frame["Name"] = NameKey(f.name, f.nameLength);
    auto& audio = sections_["Audio"];
    audio["ParamsVehicle"] = OffsetKey(b_.audioParamsVehicle);
    audio["EntityVehicle"] = OffsetKey(b_.audioEntityVehicle);
    Routines& r = b_.routines;
    const std::vector<const char*>& names = BuildDescription::RoutineNames();
    RoutineAt* const fields[] = {&r.updateSkeleton, &r.frameWorld,  &r.updateFrame,    &r.nameKey,
                                 &r.runScript,      &r.setTextStyle, &r.drawText,      &r.textWidth,
                                 &r.drawRect,       &r.renderState, &r.setRenderState, &r.drawPrimitives,
                                 &r.timedMessage};
    auto& routines = sections_["Routines"];
    for (std::size_t i = 0; i < names.size(); ++i) {
        // The two that begin with a coordinate cannot take it in ECX.
        const bool startsWithFloat = fields[i] == &r.drawText || fields[i] == &r.drawRect;
        routines[names[i]] = RoutineKey(*fields[i], !startsWithFloat);
    }
}

bool BuildDescriptionReader::Site(const std::string& event, const std::string& value, std::string& why) {
    HookSite site{};
    std::size_t e = 0;
    while (e < std::size(kEventNames) && event != kEventNames[e]) ++e;
    if (e == std::size(kEventNames)) return (why = "\"" + event + "\" is no event", false);
    site.event = static_cast<HostEvent>(e);
    const auto w = Words(value);
    if (w.size() != 4) return (why = "expected \"call|jump cdecl|thiscall SITE ROUTINE\"", false);
    if (w[0] == "call") {
        site.opcode = 0xE8;
    } else if (w[0] == "jump") {
        site.opcode = 0xE9;
    } else {
        return (why = "\"" + w[0] + "\" is neither call nor jump", false);
    }
    const bool noSubject = site.event == HostEvent::EngineReady || site.event == HostEvent::OverlayB ||
                           site.event == HostEvent::VehiclePoolCreated;
    if (w[1] == "cdecl") {
        site.convention = injector::Convention::Cdecl;
    } else if (w[1] == "thiscall" && !noSubject) {
        site.convention = injector::Convention::Thiscall;
    } else {
        return (why = "\"" + w[1] + "\" is no shape this event's routine can have", false);
    }
    if (!Address(w[2], site.site, why) || !Address(w[3], site.callee, why)) return false;
    if (d_.sites_.size() == kMaxHookSites) {
        return (why = "more than " + std::to_string(kMaxHookSites) + " sites", false);
    }
    d_.sites_.push_back(site);
    return true;
}

bool BuildDescriptionReader::Read(std::string_view text, std::string& error) {
    Table();
    IniDocument ini;
    ini.parse(text, false);
    const auto fail = [&](std::size_t line, const std::string& why) {
        error = d_.file_ + ":" + std::to_string(line) + ": " + why;
        return false;
    };
    std::map<std::string, std::size_t> sectionLines;
    for (const IniLineInfo& line : ini.lineReport()) {
        switch (line.kind) {
            case IniLineKind::Blank:
            case IniLineKind::Comment: continue;
            case IniLineKind::BeforeSection: return fail(line.number, "a line before the first section");
            case IniLineKind::NotAKey: return fail(line.number, "not a \"Key = value\" line");
            case IniLineKind::Section: {
                const std::string& name = ini.sections()[static_cast<std::size_t>(line.section)].name();
                if (name != "Sites" && sections_.count(name) == 0) return fail(line.number, "no section [" + name + "]");
                if (!sectionLines.emplace(name, line.number).second) {
                    return fail(line.number, "a second [" + name + "]");
                }
                continue;
            }
            case IniLineKind::Key: break;
        }
        const IniSection& section = ini.sections()[static_cast<std::size_t>(line.section)];
        const IniKey& key = section.keys()[static_cast<std::size_t>(line.key)];
        std::string why;
        std::string value = key.value;  // the blanks before a comment are not the value's
        value.erase(value.find_last_not_of(" \t") + 1);
        if (section.name() == "Sites") {
            if (!Site(key.name, value, why)) return fail(line.number, why);
            d_.siteLines_.push_back(line.number);
            continue;
        }
        const auto& handlers = sections_.at(section.name());
        const auto handler = handlers.find(key.name);
        if (handler == handlers.end()) return fail(line.number, "[" + section.name() + "] has no key " + key.name);
        const std::string where = section.name() + "." + key.name;
        if (!d_.lines_.emplace(where, line.number).second) return fail(line.number, "a second " + key.name);
        if (!handler->second(value, why)) return fail(line.number, key.name + ": " + why);
    }
    const std::size_t last = ini.lineReport().empty() ? 1 : ini.lineReport().back().number;
    for (const auto& [name, handlers] : sections_) {
        const auto at = sectionLines.find(name);
        if (at == sectionLines.end()) return fail(last, "no section [" + name + "]");
        for (const auto& [key, handler] : handlers) {
            if (d_.lines_.count(name + "." + key) == 0) return fail(at->second, "[" + name + "] lacks " + key);
        }
    }
    if (d_.sites_.empty()) return fail(last, "no [Sites] section, or no site in it");
    if (b_.identity < b_.preferredBase || b_.startupByte < b_.preferredBase) {
        return fail(d_.lines_.at(b_.identity < b_.preferredBase ? "Build.Identity" : "Build.StartupByte"),
                    "an address below PreferredBase");
    }
    return true;
}

std::unique_ptr<BuildDescription> BuildDescription::Read(std::string_view text, const std::string& file,
                                                         std::string& error) {
    std::unique_ptr<BuildDescription> d(new BuildDescription());
    d->file_ = file;
    BuildDescriptionReader reader(*d);
    if (!reader.Read(text, error)) return nullptr;
    d->build_.name = d->name_.c_str();
    d->build_.identityBytes = d->identity_;
    d->build_.sites = d->sites_;
    return d;
}

std::string BuildDescription::Where(const std::string& sectionDotKey) const {
    const auto it = lines_.find(sectionDotKey);
    return it == lines_.end() ? file_ : file_ + ":" + std::to_string(it->second);
}

std::string BuildDescription::SiteWhere(std::size_t index) const {
    return index < siteLines_.size() ? file_ + ":" + std::to_string(siteLines_[index]) : file_;
}

std::vector<BuildDescription::Place> BuildDescription::Places() const {
    const HostBuild& b = build_;
    std::vector<Place> places;
    places.push_back({"start-up byte", b.startupByte, true, Where("Build.StartupByte")});
    for (std::size_t i = 0; i < b.sites.size(); ++i) {
        places.push_back({std::string("routine of ") + EventName(b.sites[i].event), b.sites[i].callee, true,
                          SiteWhere(i)});
    }
    places.push_back({"vehicle pool variable", b.vehiclePool.pointer, false, Where("VehiclePool.Pointer")});
    places.push_back({"character pool variable", b.pedPool.pointer, false, Where("PedPool.Pointer")});
    const Globals& g = b.globals;
    const std::pair<const char*, const Location*> globals[] = {
        {"PlayerPed", &g.playerPed},     {"CameraPosition", &g.cameraPosition}, {"TimeStep", &g.timeStep},
        {"IkSuspended", &g.ikSuspended}, {"ScreenWidth", &g.screenWidth},       {"ScreenHeight", &g.screenHeight},
        {"TypedChars", &g.typedChars},   {"MouseDx", &g.mouseDx},               {"MouseDy", &g.mouseDy},
        {"ModelTable", &g.modelTable}};
    for (const auto& [name, location] : globals) {
        places.push_back({std::string("variable ") + name, location->address, false, Where(std::string("Globals.") + name)});
    }
    const Routines& r = b.routines;
    const RoutineAt* routines[] = {&r.updateSkeleton, &r.frameWorld,  &r.updateFrame,    &r.nameKey,
                                   &r.runScript,      &r.setTextStyle, &r.drawText,      &r.textWidth,
                                   &r.drawRect,       &r.renderState, &r.setRenderState, &r.drawPrimitives,
                                   &r.timedMessage};
    for (std::size_t i = 0; i < RoutineNames().size(); ++i) {
        places.push_back({std::string("routine ") + RoutineNames()[i], routines[i]->address, true,
                          Where(std::string("Routines.") + RoutineNames()[i])});
    }
    return places;
}

const char* BuildDescription::EventName(HostEvent event) {
    const auto i = static_cast<std::size_t>(event);
    return i < std::size(kEventNames) ? kEventNames[i] : "?";
}

const std::vector<const char*>& BuildDescription::RoutineNames() {
    static const std::vector<const char*> kNames{
        "UpdateSkeleton", "FrameWorld",     "UpdateFrame", "NameKey",  "RunScript",      "SetTextStyle",  "DrawText",
        "TextWidth",      "DrawRect",       "RenderState", "SetRenderState", "DrawPrimitives", "TimedMessage"};
    return kNames;
}

}  // namespace kovra::windows
