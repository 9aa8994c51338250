#pragma once

#include "kovra/host/Host.h"
#include "kovra/ik/FrameMatrix.h"
#include "kovra/ik/Quaternion.h"
#include "kovra/ik/Skeleton.h"

// Reading a driver's bones from the host and writing their local rotations
// back. Every read asks the host afresh; nothing is cached across frames.
namespace kovra {

// The bone's world matrix, or null when the host cannot give it (no skinned
// model, no such bone).
const FrameMatrix* BoneWorldMatrix(Host& host, CPed* ped, BoneId boneId);
// The bone's world position; false (out untouched) when there is none.
bool BonePosition(Host& host, CPed* ped, BoneId boneId, Vector3& out);
// The node's local rotation in the host's animation frame data, or null.
Quaternion* BoneRotationSlot(Host& host, CPed* ped, NodeIndex node);
// Recomputes the world matrices from the frame data.
void RefreshBoneMatrices(Host& host, CPed* ped);
// The world matrix the host's refresh would give a node from its frame data
// under parentWorld, worked out with the same arithmetic; false when there
// is no frame data or the result is not finite.
bool PlaceUnder(Host& host, CPed* ped, NodeIndex node, const FrameMatrix& parentWorld, FrameMatrix& out);
// Blends a new local rotation into a slot: weight >= 1 replaces it, weight
// <= 0 leaves it, anything between slerps. A rotation that is not finite is
// never written. With `near` (the bone's rotation a frame ago), a blend
// between two rotations almost half a turn apart goes round the side that
// lands nearer it, so that the shorter arc changing sides mid-blend does not
// flip the bone.
void WriteBoneRotation(Quaternion& slot, const Quaternion& rotation, float weight,
                       const Quaternion* near = nullptr);
// Turns a bone so that its world axes become target's rotation rows,
// expressed against its parent's current world rotation.
void SetBoneWorldRotation(Host& host, CPed* ped, BoneId boneId, float weight,
                          const FrameMatrix& target, const Quaternion* near = nullptr);
// The same with the parent's world matrix given.
void WriteBoneWorldRotation(Quaternion& slot, const FrameMatrix& parentWorld, float weight,
                            const FrameMatrix& target, const Quaternion* near = nullptr);
// Upper arm plus forearm of arm 21-26 in the current pose; 0 when unknown.
float ArmReach(Host& host, CPed* ped);

}  // namespace kovra
