#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <type_traits>

#include "kovra/host/HostTypes.h"
#include "kovra/ik/FrameMatrix.h"
#include "kovra/ik/Quaternion.h"
#include "kovra/ik/Skeleton.h"
#include "kovra/ik/Vector3.h"

namespace kovra {

class CabinIk;
class Host;
class IkHandle;
class Runtime;
struct GlobalSettings;

// True when a and b (of a type without padding) hold the same bits. A result
// kept from last frame is reused only for exactly the same inputs: == would
// take 0 for -0, which can turn a zero's sign in what follows.
template <class T>
bool SameBits(const T& a, const T& b) {
    static_assert(std::is_trivially_copyable_v<T>);
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// The sine and cosine of the last angle asked for, kept: a tunable angle
// turns by the same amount frame after frame.
struct KeptSinCos {
    float radians = 0.0f;
    float sin = 0.0f;
    float cos = 1.0f;
    bool valid = false;
};
// Sin and Cos of `radians`, worked out only when they differ from the kept
// angle's.
void SinCos(KeptSinCos& kept, float radians);

// The last turn about an axis asked for, kept with its axis and angle.
struct KeptAxisTurn {
    Vector3 axis;
    float degrees = 0.0f;
    Quaternion rotation;
    bool valid = false;
};
// AxisAngle(axis, degrees), worked out only when the axis or the angle
// differs from the kept turn's.
const Quaternion& AxisTurn(KeptAxisTurn& kept, const Vector3& axis, float degrees);

// The code every handle carries in its `type` and the index of its
// configuration template in a model's record.
enum class HandleKind : std::int32_t {
    Gear = 0,
    Steer = 1,
    HandBrake = 2,
    Bar = 3,
    GasPedal = 4,
    ClutchPedal = 5,
    Peg = 6,
    BikeShift = 7,
    SeatJiggle = 8,
};
inline constexpr int kHandleKindCount = 9;
// `type` of a handle the rig has not assigned yet.
inline constexpr std::int32_t kNoHandleType = -1;

constexpr std::int32_t KindCode(HandleKind kind) { return static_cast<std::int32_t>(kind); }
constexpr bool IsHandleKindCode(int code) { return code >= 0 && code < kHandleKindCount; }

// The rotation rows a turn of a control frame from its rest rows gave, and
// what they came from: the same rest rows, axis and angle give them again.
struct KeptFrameTurn {
    Vector3 restRight;
    Vector3 restUp;
    Vector3 restAt;
    Vector3 axis;
    float degrees = 0.0f;
    Vector3 right;
    Vector3 up;
    Vector3 at;
    bool valid = false;
};

// A handle's binding to one control frame of the vehicle model. The rig's
// frame lookup fills it; the handle only reads it and turns the frame.
struct FrameSlot {
    IkHandle* owner = nullptr;
    bool found = false;
    HostFrame* frame = nullptr;
    FrameMatrix restMatrix;  // the frame's modelling matrix when it was found
    HostRenderable* atomic = nullptr;
    Vector3 boxMax;
    Vector3 boxMin;
    float reachY = 0.0f;
    Vector3 restAngles;  // degrees
    bool flippedY = false;
    bool flippedZ = false;
    bool unrotated = false;
    KeptFrameTurn lastTurn;  // TurnFrameFromRest's last rows

    // Forgets the frame and everything measured from it; the owner stays.
    void Clear();
};

// The base of every limb or body handle of a cabin rig: links to the rig,
// vehicle and driver, the control-frame bindings, the tunables whose meaning
// each class names through its config keys, and the blend weight. It also
// holds the steps every hand or foot handle shares around the limb solver.
//
// Handles reach the host, the settings and the solver only through the
// runtime they were built with. They are not copyable: a frame slot points
// back at its owner. Settings move between handles with CopyFrom.
class IkHandle {
public:
    explicit IkHandle(Runtime& runtime);
    IkHandle(const IkHandle&) = delete;
    IkHandle& operator=(const IkHandle&) = delete;
    virtual ~IkHandle();

    // Poses the limb for this frame.
    virtual void Update();
    // Defaults that depend on the kind of vehicle; needs `vehicle`.
    virtual void ApplyModelDefaults();
    // Takes every value of `other` when it is of the same class; otherwise
    // does nothing. The links to the host (rig, vehicle, driver, frames) are
    // not taken: they belong to the vehicle this handle serves.
    virtual void CopyFrom(const IkHandle* other) = 0;
    // The handle's section of a vehicle's config file, one "Key = value"
    // line per key, each ending in a newline.
    virtual std::string WriteConfig() const = 0;

    Runtime& runtime() const { return *runtime_; }
    Host& host() const;
    const GlobalSettings& settings() const;

    // ---- the steps of the update pattern ------------------------------------
    // Remembers where the limb's end was when the handle began to fade in;
    // forgets it once the weight is back at 0.
    void CaptureStartPosition(NodeIndex node);
    // The captured start carried along with the vehicle's current pose.
    Vector3 StartPointNow() const;
    // weight moves by rateArm per time-step unit towards 1 (engage) or 0.
    void StepWeight(bool engage);
    // weight scaled by the rig's driver fade and the node's weight.
    void ApplyRigWeights(NodeIndex node);
    // The rig's driver fade times the node's weight; 1 without a rig.
    float RigWeight(NodeIndex node) const;
    // The solver's weight: the blend weight eased in and out.
    float SolverWeight() const;
    // A straight path in the vehicle's space from the start to the contact.
    Vector3 BlendedTarget(const Vector3& grabWorld) const;
    // Where the solver left a limb end, for the handles after this one.
    void DepositNodeOffset(NodeIndex node, const Vector3& position);
    // The limb of `node` solved towards `target`, and where its end landed
    // deposited.
    void SolveLimbTo(NodeIndex node, const Vector3& target, const Vector3& bend, float w);
    // endAngles as a local rotation: X (its angle times signX) replacing,
    // then Y and Z applied locally.
    Quaternion EndRotation(float signX = 1.0f) const;
    // A foot's rotation on a pedal: EndRotation with the toe roll taken off
    // the Z angle.
    Quaternion FootRotation(float toe) const;
    // Blends EndRotation into the node's local rotation by `blend`.
    void ApplyEndRotation(NodeIndex node, float blend, float signX = 1.0f);
    // Blends a local rotation into the node by `blend`, round the side that
    // stays nearest where the node was a frame ago.
    void BlendNodeRotation(NodeIndex node, const Quaternion& rotation, float blend);
    // The driver's bones, read through the solver's record of writes not yet
    // refreshed: a read below such a write asks the game for a refresh first.
    const FrameMatrix* DriverBone(BoneId bone) const;
    bool DriverBonePosition(BoneId bone, Vector3& out) const;
    // The node's rotation slot, its write reported.
    Quaternion* SlotToWrite(NodeIndex node) const;
    // SetBoneWorldRotation against the parent's refreshed world matrix.
    void SetDriverBoneWorldRotation(BoneId bone, float blend, const FrameMatrix& target,
                                    const Quaternion* near = nullptr) const;
    // The node's rotation at the end of the rig's last dispatch, or null.
    const Quaternion* LastPose(NodeIndex node) const;
    // A point given where the control stands at rest, carried round with it
    // as it has turned by `degrees` about its own X since (a foot on a
    // pedal or lever goes with it instead of sliding over it).
    static Vector3 TurnedWithControl(const Vector3& point, const FrameMatrix& control, float degrees);
    // Writes the rotation rows of the slot's frame from its rest matrix
    // turned about a local axis; the position row is left alone.
    void TurnFrameFromRest(FrameSlot& slot, const Vector3& axis, float degrees);

    // ---- steps of the two-wheeler handles ---------------------------------------
    // The bike's main body frame in the world: the chassis node, or the
    // vehicle's own matrix on a model without one. False when neither is
    // there and finite.
    bool BikeBodyWorld(FrameMatrix& out) const;
    // The world matrix of the handle's main control frame, copied (the host
    // may move what it points at); false when it is missing or not finite.
    bool ControlFrameWorld(FrameMatrix& out) const;
    // The bike's signed lean; 0 when the host gives no finite value.
    float BikeLean() const;
    // A foot's weight as the bike leans: the right foot (side +1) eases off
    // its peg for a positive lean, the left (side -1) for a negative one.
    static float LeanRelease(float weight, float side, float lean);
    // Turns the node's bone so that its up axis runs along `dir`, its roll
    // taken from the pelvis; nothing when the pelvis gives no roll.
    void AimFoot(NodeIndex node, const Vector3& dir, float weight);
    // Where the spine stands before a handle bends it.
    struct SpinePoints {
        Vector3 root;    // the skeleton's root bone
        Vector3 base;    // bone 2
        Vector3 baseUp;  // its up axis
        Vector3 upper;   // bone 4
        Vector3 neckUp;  // the up axis of bone 5
    };
    // False when the driver lacks one of those bones.
    bool ReadSpine(SpinePoints& out) const;
    // Turns the neck back about its own Z by the angle a spine bend tipped
    // its up axis away from oldNeckUp, so that the head stays level. Reads
    // the neck as the last refresh left it: the caller refreshes after its
    // spine writes.
    void LevelHead(const Vector3& oldNeckUp, float weight);

    // ---- finding the control frames -------------------------------------------
    // Binds frameA (and the gas pedal's frameB) by the control-frame names of
    // the handle's `type`; true when frameA was found.
    bool FindFrames();
    // Binds `slot` to the first frame of the vehicle model whose name
    // contains one of `names` (tried in order), measures it and, when
    // `offset` is exactly zero, gives it the kind's default contact point.
    bool LocateFrame(FrameSlot& slot, std::span<const char* const> names, Vector3& offset);

    // ---- fields, in the order every handle shares ---------------------------
    std::int32_t type = kNoHandleType;
    std::int32_t isBike = 0;
    CabinIk* rig = nullptr;
    CVehicle* vehicle = nullptr;
    CPed* ped = nullptr;
    std::int32_t modelId = -1;
    FrameSlot frameA;
    FrameSlot frameB;  // the gas pedal's brake pedal only
    Vector3 startWorld;
    Vector3 startLocal;
    Vector3 grabOffset;    // GrabOffset (GasOffset on the gas pedal)
    Vector3 secondOffset;  // BrkOffset
    Vector3 endAngles;     // HandAngle or FootAngle, degrees
    bool appliedThisFrame = false;
    bool needsModelDefaults = true;
    bool disabled = false;
    bool doSpinePush = false;
    float heightFactor = 0.0f;
    float armFactor = 1.0f;
    float maxAngle = 0.0f;
    float minAngle = 0.0f;
    float footTurn = 0.0f;
    float bendAngle = 0.0f;
    float rateArm = 0.075f;
    float weight = 0.0f;  // never written to files

protected:
    // Every shared value of `other`, without the links to the host.
    void CopyBaseFrom(const IkHandle& other);
    // The driving-animation group of the vehicle's handling record, or -1
    // without a vehicle.
    int VehicleAnimGroup() const;

    // Section text builders: "Key = value\n" in the config number format.
    static void WriteSection(std::string& out, const char* name);
    static void WriteNumber(std::string& out, const char* key, float value);
    static void WriteVector(std::string& out, const char* key, const Vector3& value);
    static void WriteFlag(std::string& out, const char* key, bool value);
    static void WriteInteger(std::string& out, const char* key, long long value);
    static std::string FormatVector(const Vector3& value);
    // The contact point a found frame gives when none is configured.
    void DefaultOffset(FrameSlot& slot, Vector3& offset);

private:
    // A turn of `degrees` about X replacing, then about Y and Z locally.
    // The last two worked out are kept (a bike's feet take one each).
    Quaternion TurnXYZ(const Vector3& degrees) const;

    struct KeptRotation {
        Vector3 degrees;
        Quaternion rotation;
        bool valid = false;
    };

    Runtime* runtime_;
    mutable std::array<KeptRotation, 2> keptRotations_{};
    mutable int nextKept_ = 0;
};

}  // namespace kovra
