#include "kovra/ik/LimbSolver.h"

#include <algorithm>
#include <cstring>

#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"

namespace kovra {

namespace {

constexpr float kBendHintRadius = 0.35f;  // metres over which a bend hint fades
constexpr float kMinBendLength = 0.001f;
constexpr float kMinPlaneLength = 0.0001f;

bool IsOneOf(BoneId bone, std::initializer_list<BoneId> bones) {
    return std::find(bones.begin(), bones.end(), bone) != bones.end();
}

bool IsZeroBasis(const FrameMatrix& m) { return m.up.IsZero() || m.at.IsZero() || m.right.IsZero(); }

// Below this 1 + cos of the turn from X, the aim is so near -X that the
// shortest arc's axis is lost in rounding; the basis takes over there.
constexpr float kNearHalfTurn = 1e-2f;

// An arm or leg bone aimed along dirInParent (its parent's axes): with its
// twist about X removed, the aim is the shortest turn from X to dirInParent,
// worked out directly instead of through a basis, a matrix and a quaternion
// (half the square roots). The spine and the hip bones keep the basis: the
// spine's rounding is read back by the arms' solves and grows there, and the
// hips keep their roll.
bool ArmOrLegArc(const BoneSolveRecord& record, const Vector3& dirInParent, Quaternion& q) {
    if (record.limbKind == 0 || record.hipAlign) return false;
    const Vector3 d = NormalizedCopy(dirInParent);
    if (!(1.0f + d.x > kNearHalfTurn)) return false;
    q = Normalized(Quaternion{0.0f, -d.z, d.y, 1.0f + d.x});
    return true;
}

}  // namespace

bool SolveChain(std::span<Vector3> joints, const Vector3& target, const Vector3& bend,
                const SolverSettings& settings) {
    if (joints.size() != 3) return false;
    Vector3& j0 = joints[0];
    Vector3& j1 = joints[1];
    Vector3& j2 = joints[2];
    const float length0 = Distance(j1, j0);
    const float length1 = Distance(j2, j1);
    const float total = length0 + length1;
    const Vector3 root = j0;

    if (Distance(target, root) >= total) {
        // Out of reach: the limb is stretched straight towards the target.
        const Vector3 dir = NormalizedCopy(target - root);
        j1 = root + dir * length0;
        j2 = j1 + dir * length1;
        return false;
    }

    // The forward pass's last segment, from the middle joint towards the
    // target, is the next backward pass's first one turned round: the
    // backward pass takes it over instead of normalising it again (a - b is
    // exactly -(b - a), so the joints come out the same to the last bit).
    Vector3 lastSegment = NormalizedCopy(j1 - target) * length1;
    for (int i = 0; i < settings.maxIterations; ++i) {
        // Backward from the target; where the backward pass would put the
        // root joint is never used, as the forward pass starts from the root.
        j2 = target;
        j1 = j2 + lastSegment;
        j0 = root;
        j1 = j0 + NormalizedCopy(j1 - j0) * length0;
        lastSegment = NormalizedCopy(j2 - j1) * length1;
        j2 = j1 + lastSegment;
        lastSegment = -lastSegment;
        if (Distance(j2, target) < settings.tolerance) break;
    }

    if (!bend.IsZero()) {
        const float d = Distance(j2, j0);
        // A zero-length upper segment has no angle to place (the cosine rule
        // would divide by it).
        if (d > kMinPlaneLength && d < total && length0 > kMinPlaneLength) {
            const Vector3 axis = (j2 - j0) / d;
            Vector3 c = Cross(bend, axis);
            if (Length(c) >= kMinPlaneLength) {
                c = NormalizedCopy(c);
                const float cosA = Clamp(
                    (length0 * length0 + d * d - length1 * length1) / (2.0f * length0 * d), -1.0f,
                    1.0f);
                j1 = j0 + RotateAboutAxis(axis, c, Acos(cosA)) * length0;
            }
        }
    }
    return true;
}

LimbSolver::LimbSolver(Host& host, DebugSink* debug) : host_(host), debug_(debug), sync_(host) {
    BuildRecords();
}

void LimbSolver::BuildRecords() {
    for (NodeIndex node = 0; node < kNodeCount; ++node) {
        BoneSolveRecord& r = records_[node];
        r = BoneSolveRecord{};
        r.node = node;
        r.boneId = NodeToBoneId(node);
        const BoneId bone = r.boneId;
        const bool arm = (bone >= 21 && bone <= 26) || (bone >= 31 && bone <= 36);
        const bool leg = (bone >= 41 && bone <= 44) || (bone >= 51 && bone <= 54);
        r.hipAlign = IsOneOf(bone, {41, 51}) ? 1 : 0;
        r.limbKind = arm ? 1 : (leg ? 2 : 0);
        r.autoBend = IsOneOf(bone, {24, 34, 43, 53}) ? 1 : 0;
        r.axisMode = 0;
        r.refAxis = (arm || IsOneOf(bone, {41, 43, 51, 53})) ? AxisZ : AxisX;
        r.eulerFix = r.hipAlign ? Vector3{180.0f, 0.0f, 0.0f} : Vector3{};
        eulerFixTurns_[node] = {AxisAngle(AxisX, r.eulerFix.x), AxisAngle(AxisY, r.eulerFix.y),
                                AxisAngle(AxisZ, r.eulerFix.z)};
        r.lastRotation = Quaternion::Identity();
    }
    const NodeIndex ends[4] = {kRightHandNode, kLeftHandNode, kLeftFootNode, kRightFootNode};
    for (int i = 0; i < 4; ++i) {
        hints_[i] = BendHint{&records_[ends[i]], {}, {}};
        records_[ends[i]].bendHint = &hints_[i];
    }
}

Vector3 LimbSolver::AutomaticBend(CPed* ped, const std::array<Vector3, 3>& joints,
                                  const Vector3& target, NodeIndex endNode, BoneId anchorBone) {
    const BoneSolveRecord& end = records_[endNode];
    Vector3 axis = NormalizedCopy(joints[2] - joints[0]);
    if (end.limbKind == 1) axis = -axis;

    Vector3 bend;
    if (const FrameMatrix* anchor = BoneWorldMatrix(host_, ped, anchorBone)) {
        bend = Cross(anchor->at, axis);
    }
    if (Length(bend) < kMinBendLength) bend = Cross(AxisZ, axis);
    bend = NormalizedCopy(bend);

    if (end.bendHint != nullptr) {
        const BendHint& hint = *end.bendHint;
        Vector3 local = target;
        if (const FrameMatrix* pelvis = BoneWorldMatrix(host_, ped, kPelvisBone)) {
            local = InverseTransformPoint(target, *pelvis);
        }
        const float s = std::min(Distance(local, hint.refPoint) / kBendHintRadius, 1.0f);
        bend = bend * s + hint.restBend * (1.0f - s);
    }
    return bend;
}

bool LimbSolver::SolveLimb(CPed* ped, const Vector3& target, NodeIndex endNode,
                           const Vector3& bend, float weight) {
    const NodeIndex mid = ParentNode(endNode);
    const NodeIndex start = ParentNode(mid);
    if (mid == 0 || start == 0 || !IsFinite(target)) return false;
    const BoneId startBone = NodeToBoneId(start);
    const BoneId midBone = NodeToBoneId(mid);
    const BoneId endBone = NodeToBoneId(endNode);
    const BoneId anchorBone = NodeToBoneId(ParentNode(start));

    // Everything read below (the chain, its anchor, the pelvis) lies on the
    // end bone's way up to the root.
    sync_.BeforeRead(ped, endBone);
    std::array<Vector3, 3> joints;
    if (!BonePosition(host_, ped, startBone, joints[0]) ||
        !BonePosition(host_, ped, midBone, joints[1]) ||
        !BonePosition(host_, ped, endBone, joints[2])) {
        return false;
    }

    Vector3 bendDir = IsFinite(bend) ? bend : Vector3{};
    if (bendDir.IsZero() && records_[endNode].autoBend) {
        bendDir = AutomaticBend(ped, joints, target, endNode, anchorBone);
    }

    const bool reached = SolveChain(joints, target, bendDir, settings_);
    if (debug_ != nullptr) debug_->DrawChain(joints, kLimbChainColour);

    const float w = IsFinite(weight) ? weight : 0.0f;
    // No refresh: the next read that needs one asks for it.
    if (w > 0.0f) AimChain(ped, startBone, midBone, joints, w);

    records_[mid].lastEnd = joints[1];
    records_[endNode].lastEnd = joints[2];
    if (listener_ != nullptr) listener_->OnLimbSolved({ped, endNode, target, w, reached, solveTag});
    return reached;
}

bool LimbSolver::AimBasis(CPed* ped, const BoneSolveRecord& record, const Vector3& dir,
                          FrameMatrix& basis) {
    if (record.hipAlign) {
        if (const FrameMatrix* pelvis = BoneWorldMatrix(host_, ped, kPelvisBone)) {
            basis = FrameMatrix{};
            basis.right = dir;
            basis.up = NormalizedCopy(Cross(NormalizedCopy(pelvis->at), dir));
            basis.at = NormalizedCopy(Cross(dir, basis.up));
            if (!IsZeroBasis(basis)) return true;
        }
    }
    // A bone lying along its reference axis has no roll to take from it; the
    // next axes give a well-formed basis instead of a zero one.
    for (const Vector3& ref : {record.refAxis, AxisY, AxisX, AxisZ}) {
        basis = BasisFromDirection(dir, ref, record.axisMode);
        if (!IsZeroBasis(basis)) return true;
    }
    return false;
}

void LimbSolver::AimChain(CPed* ped, BoneId startBone, BoneId midBone,
                          const std::array<Vector3, 3>& joints, float weight) {
    // The middle bone is aimed from the start bone's new world matrix, worked
    // out here as the game's refresh would (the start bone's frame data under
    // its parent), so that the game refreshes once per limb instead of twice.
    // The chain's start joint is where the bone is: the solve never moves it,
    // and nothing was written since it was read.
    const FrameMatrix* anchor = BoneWorldMatrix(host_, ped, ParentBoneId(startBone));
    FrameMatrix startWorld;
    if (anchor == nullptr || !AimFrom(ped, startBone, joints[0], *anchor, joints[1], weight) ||
        !PlaceUnder(host_, ped, BoneIdToNode(startBone), *anchor, startWorld)) {
        AimBone(ped, midBone, joints[2], weight);
        return;
    }
    // Reads below the start bone (the middle bone's new matrix, the end's
    // position) are worked out from it until the game refreshes.
    sync_.Known(ped, BoneIdToNode(startBone), startWorld);
    const BoneFrame* midFrame = host_.BoneFrameData(ped, BoneIdToNode(midBone));
    if (midFrame == nullptr) return;
    const Vector3 midPos = TransformPoint(midFrame->translation, startWorld);
    if (!IsFinite(midPos)) return;
    AimFrom(ped, midBone, midPos, startWorld, joints[2], weight);
}

bool LimbSolver::AimBone(CPed* ped, BoneId boneId, const Vector3& childTarget, float weight) {
    sync_.BeforeRead(ped, boneId);  // the bone, its parent and the pelvis
    Vector3 bonePos;
    if (!BonePosition(host_, ped, boneId, bonePos)) return false;
    const FrameMatrix* parent = BoneWorldMatrix(host_, ped, ParentBoneId(boneId));
    if (parent == nullptr) return false;
    return AimFrom(ped, boneId, bonePos, *parent, childTarget, weight);
}

bool LimbSolver::AimFrom(CPed* ped, BoneId boneId, const Vector3& bonePos,
                         const FrameMatrix& parent, const Vector3& childTarget, float weight) {
    const NodeIndex node = BoneIdToNode(boneId);
    if (node == 0 || !IsFinite(childTarget)) return false;
    BoneSolveRecord& record = records_[node];

    const Vector3 dir = NormalizedCopy(childTarget - bonePos);
    if (dir.IsZero()) return false;  // no direction to aim at: keep the animated pose

    Quaternion* slot = BoneRotationSlot(host_, ped, node);
    FrameMatrix parentInverse;
    if (slot == nullptr || !InvertRotation(parent, parentInverse)) return false;

    Quaternion q;
    if (!ArmOrLegArc(record, TransformVector(dir, parentInverse), q)) {
        FrameMatrix basis;
        if (!AimBasis(ped, record, dir, basis)) return false;
        FrameMatrix local;
        local.right = TransformVector(basis.right, parentInverse);
        local.up = TransformVector(basis.up, parentInverse);
        local.at = TransformVector(basis.at, parentInverse);

        q = MatrixToQuaternion(local);  // already unit length
        if (!record.hipAlign) q = RemoveTwist(q, AxisX);
        const std::array<Quaternion, 3>& fix = eulerFixTurns_[node];
        if (record.eulerFix.x != 0.0f) TurnLocally(q, fix[0]);
        if (record.eulerFix.y != 0.0f) TurnLocally(q, fix[1]);
        if (record.eulerFix.z != 0.0f) TurnLocally(q, fix[2]);
    }
    if (!IsFinite(q)) return false;

    record.lastSlot = slot;
    record.lastRotation = q;
    record.applied = 1;
    const Quaternion before = *slot;
    WriteBoneRotation(*slot, q, weight);
    if (std::memcmp(&before, slot, sizeof before) == 0) return false;
    sync_.Written(ped, node);
    return true;
}

}  // namespace kovra
