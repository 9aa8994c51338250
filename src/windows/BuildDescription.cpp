#include "windows/BuildDescription.h"

#include <algorithm>
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

// The routines of [Routines] in Routines' order: how many arguments each
// signature has, and which of them are floats (bit i: argument i), which
// can never go in ECX.
struct RoutineSignature {
    const char* name;
    std::size_t arity;
    unsigned floats;
};
constexpr RoutineSignature kRoutineSignatures[] = {
    {"UpdateSkeleton", 1, 0},  {"FrameWorld", 1, 0},     {"UpdateFrame", 1, 0},  {"NameKey", 1, 0},
    {"RunScript", 5, 0},       {"SetTextStyle", 1, 0},   {"DrawText", 3, 0b011}, {"TextWidth", 1, 0},
    {"DrawRect", 5, 0b01111},  {"RenderState", 1, 0},    {"SetRenderState", 2, 0}, {"DrawPrimitives", 3, 0},
    {"TimedMessage", 2, 0}};

// What a value of a game's record may be stored as.
enum class ValueClass { Whole, Float, Colour };

bool ValueTypeNamed(const std::string& name, ValueClass kind, ValueType& out) {
    static const std::map<std::string, std::pair<ValueClass, ValueType>> kTypes{
        {"int8", {ValueClass::Whole, ValueType::Int8}},     {"uint8", {ValueClass::Whole, ValueType::UInt8}},
        {"int16", {ValueClass::Whole, ValueType::Int16}},   {"uint16", {ValueClass::Whole, ValueType::UInt16}},
        {"int32", {ValueClass::Whole, ValueType::Int32}},   {"uint32", {ValueClass::Whole, ValueType::UInt32}},
        {"float", {ValueClass::Float, ValueType::Float}},   {"rgba", {ValueClass::Colour, ValueType::Rgba}},
        {"argb", {ValueClass::Colour, ValueType::Argb}},    {"bgra", {ValueClass::Colour, ValueType::Bgra}},
        {"abgr", {ValueClass::Colour, ValueType::Abgr}}};
    const auto it = kTypes.find(name);
    if (it == kTypes.end() || it->second.first != kind) return false;
    out = it->second.second;
    return true;
}

const char* ValueTypeChoices(ValueClass kind) {
    switch (kind) {
        case ValueClass::Whole: return "int8, uint8, int16, uint16, int32, uint32";
        case ValueClass::Float: return "float";
        case ValueClass::Colour: return "rgba, argb, bgra, abgr";
    }
    return "";
}

// The values a game's text style may have, by their keys in [TextStyle].
struct StyleField {
    const char* key;
    RecordField TextStyleLayout::*field;
    ValueClass kind;
};
constexpr StyleField kStyleFields[] = {
    {"ScaleX", &TextStyleLayout::scaleX, ValueClass::Float},
    {"ScaleY", &TextStyleLayout::scaleY, ValueClass::Float},
    {"WrapWidth", &TextStyleLayout::wrapWidth, ValueClass::Float},
    {"Colour", &TextStyleLayout::colour, ValueClass::Colour},
    {"ShadowColour", &TextStyleLayout::shadowColour, ValueClass::Colour},
    {"Align", &TextStyleLayout::align, ValueClass::Whole},
    {"Background", &TextStyleLayout::background, ValueClass::Whole},
    {"Font", &TextStyleLayout::font, ValueClass::Whole},
    {"Proportional", &TextStyleLayout::proportional, ValueClass::Whole},
    {"Shadow", &TextStyleLayout::shadow, ValueClass::Whole}};

// The optional sections that describe the game's own records, with the
// keys each must have when it is there.
const std::map<std::string, std::vector<std::string>> kRecordSections{
    {"Vertex", {"Size", "Position", "Colour"}},
    {"TextStyle", {"Size"}},
    {"ScriptArgument", {"Size", "Int", "Float"}}};

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
    // "ADDRESS SHAPE" or "ADDRESS SHAPE order N...": the routine takes the
    // signature's arguments in the order of their numbers (from 1); thiscall
    // only when the first it takes is a pointer or an integer.
    Handler RoutineKey(RoutineAt& out, const RoutineSignature& signature) {
        return [this, &out, &signature](const std::string& v, std::string& why) {
            const auto w = Words(v);
            if (w.size() < 2 || (w.size() > 2 && w[2] != "order")) {
                return (why = "expected \"ADDRESS SHAPE\" or \"ADDRESS SHAPE order N...\"", false);
            }
            RoutineAt routine;
            if (!Address(w[0], routine.address, why)) return false;
            if (w.size() > 2) {
                const std::string arity = std::to_string(signature.arity);
                if (w.size() - 3 != signature.arity) {
                    return (why = "the order names each of the " + arity + " arguments once", false);
                }
                unsigned seen = 0;
                for (std::size_t i = 0; i < signature.arity; ++i) {
                    std::int32_t n = 0;
                    if (!Integer(w[3 + i], n, why, 1, static_cast<long long>(signature.arity))) return false;
                    if ((seen & (1u << n)) != 0) return (why = "argument " + w[3 + i] + " twice in the order", false);
                    seen |= 1u << n;
                    routine.order[i] = static_cast<std::uint8_t>(n - 1);
                }
            }
            const bool firstIsFloat = ((signature.floats >> routine.order[0]) & 1u) != 0;
            if (w[1] == "cdecl") {
                routine.shape = CallShape::Cdecl;
            } else if (w[1] == "stdcall") {
                routine.shape = CallShape::Stdcall;
            } else if (w[1] == "thiscall" && !firstIsFloat) {
                routine.shape = CallShape::Thiscall;
            } else {
                return (why = "\"" + w[1] + "\" is no shape this routine can have (cdecl, stdcall" +
                              (firstIsFloat ? ")" : ", thiscall)"),
                        false);
            }
            out = routine;
            return true;
        };
    }
    // "OFFSET TYPE", the type of the class given; a float's may be left out.
    Handler ValueKey(RecordField& out, ValueClass kind) {
        return [this, &out, kind](const std::string& v, std::string& why) {
            const auto w = Words(v);
            RecordField field;
            field.type = ValueType::Float;
            if (w.empty() || w.size() > 2 || (w.size() == 1 && kind != ValueClass::Float)) {
                return (why = std::string("expected \"OFFSET TYPE\" (") + ValueTypeChoices(kind) + ")", false);
            }
            if (w.size() == 2 && !ValueTypeNamed(w[1], kind, field.type)) {
                return (why = "\"" + w[1] + "\" is no type for this value (" + ValueTypeChoices(kind) + ")", false);
            }
            if (!Integer(w[0], field.offset, why, 0, 0xFFFF)) return false;
            out = field;
            return true;
        };
    }

    bool Site(const std::string& event, const std::string& value, std::string& why);
    void Table();
    // Every value of the game's records lies inside its record.
    bool RecordsFit(std::string& error);

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
    RoutineAt* const fields[] = {&r.updateSkeleton, &r.frameWorld,  &r.updateFrame,    &r.nameKey,
                                 &r.runScript,      &r.setTextStyle, &r.drawText,      &r.textWidth,
                                 &r.drawRect,       &r.renderState, &r.setRenderState, &r.drawPrimitives,
                                 &r.timedMessage};
    static_assert(std::size(fields) == std::size(kRoutineSignatures));
    auto& routines = sections_["Routines"];
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        routines[kRoutineSignatures[i].name] = RoutineKey(*fields[i], kRoutineSignatures[i]);
    }
    // The game's own records, where the build has them.
    auto& vertex = sections_["Vertex"];
    vertex["Size"] = IntegerKey(b_.vertex.size, 16, 256);
    vertex["Position"] = OffsetKey(b_.vertex.position);
    vertex["Colour"] = ValueKey(b_.vertex.colour, ValueClass::Colour);
    TextStyleLayout& t = b_.textStyle;
    auto& style = sections_["TextStyle"];
    style["Size"] = IntegerKey(t.size, 1, 512);
    for (const StyleField& value : kStyleFields) style[value.key] = ValueKey(t.*value.field, value.kind);
    auto& script = sections_["ScriptArgument"];
    script["Size"] = IntegerKey(b_.scriptArg.size, 4, 64);
    script["Int"] = ValueKey(b_.scriptArg.intValue, ValueClass::Whole);
    script["Float"] = ValueKey(b_.scriptArg.floatValue, ValueClass::Float);
}

bool BuildDescriptionReader::RecordsFit(std::string& error) {
    const auto fits = [&](const char* section, std::int32_t size, const char* key, Offset offset, std::int32_t width) {
        if (offset < 0 || offset + width <= size) return true;
        const std::string where = std::string(section) + "." + key;
        error = d_.file_ + ":" + std::to_string(d_.lines_.at(where)) + ": " + key + " ends past the record's " +
                std::to_string(size) + " bytes";
        return false;
    };
    const VertexLayout& v = b_.vertex;
    const TextStyleLayout& t = b_.textStyle;
    const ScriptArgLayout& a = b_.scriptArg;
    if (v.size > 0 && (!fits("Vertex", v.size, "Position", v.position, 12) ||
                       !fits("Vertex", v.size, "Colour", v.colour.offset, 4))) {
        return false;
    }
    for (const StyleField& f : kStyleFields) {
        const RecordField& field = t.*f.field;
        if (t.size > 0 && !fits("TextStyle", t.size, f.key, field.offset, ValueWidth(field.type))) return false;
    }
    return a.size == 0 || (fits("ScriptArgument", a.size, "Int", a.intValue.offset, ValueWidth(a.intValue.type)) &&
                           fits("ScriptArgument", a.size, "Float", a.floatValue.offset, 4));
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
        const auto record = kRecordSections.find(name);
        if (at == sectionLines.end()) {
            if (record != kRecordSections.end()) continue;  // the plugin's own structure
            return fail(last, "no section [" + name + "]");
        }
        for (const auto& [key, handler] : handlers) {
            const bool required = record == kRecordSections.end() ||
                                  std::find(record->second.begin(), record->second.end(), key) != record->second.end();
            if (required && d_.lines_.count(name + "." + key) == 0) return fail(at->second, "[" + name + "] lacks " + key);
        }
    }
    if (!RecordsFit(error)) return false;
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
    // Of a pointer path, only the pointer the path starts from is in the
    // image; the hops after it are followed when the game runs.
    for (const auto& [name, location] : globals) {
        places.push_back({std::string(location->hopCount > 0 ? "pointer to " : "variable ") + name, location->address,
                          false, Where(std::string("Globals.") + name)});
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
    static const std::vector<const char*> kNames = [] {
        std::vector<const char*> names;
        for (const RoutineSignature& r : kRoutineSignatures) names.push_back(r.name);
        return names;
    }();
    return kNames;
}

}  // namespace kovra::windows
