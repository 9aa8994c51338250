#include "sim/FrameHierarchy.h"

#include <functional>

#include "kovra/ik/Geometry.h"

namespace kovra::sim {

FrameHierarchy::FrameHierarchy(const VehicleModel& model, const FrameMatrix* anchor)
    : frames_(model.frames.size() + 1), rest_(model.frames.size() + 1) {
    HostFrame& root = frames_.front();
    root.name = model.name;
    root.anchor = anchor;

    // Links are appended at the tail of each parent's child list so that the
    // child/sibling order is the model's list order.
    std::vector<HostFrame*> lastChild(frames_.size(), nullptr);
    for (std::size_t i = 0; i < model.frames.size(); ++i) {
        const VehicleModel::Frame& src = model.frames[i];
        HostFrame& f = frames_[i + 1];
        f.name = src.name;
        f.modelling = src.modelling;
        rest_[i + 1] = src.modelling;
        if (!src.vertices.empty()) {
            f.renderable = std::make_unique<HostRenderable>();
            f.renderable->vertices = src.vertices;
        }
        // A parent that does not come earlier (a record that skipped
        // Validate) hangs the frame under the root rather than anywhere odd.
        const bool validParent = src.parent >= 0 && static_cast<std::size_t>(src.parent) < i;
        const std::size_t parentIndex = validParent ? static_cast<std::size_t>(src.parent) + 1 : 0;
        HostFrame& parent = frames_[parentIndex];
        f.parent = &parent;
        if (lastChild[parentIndex]) {
            lastChild[parentIndex]->nextSibling = &f;
        } else {
            parent.firstChild = &f;
        }
        lastChild[parentIndex] = &f;
    }
    UpdateAll();
}

HostFrame* FrameHierarchy::FrameAt(int modelIndex) {
    if (modelIndex < 0 || modelIndex >= FrameCount()) return nullptr;
    return &frames_[static_cast<std::size_t>(modelIndex) + 1];
}

HostFrame* FrameHierarchy::Find(const std::string& name) {
    for (std::size_t i = 1; i < frames_.size(); ++i) {
        if (frames_[i].name == name) return &frames_[i];
    }
    return nullptr;
}

const FrameMatrix* FrameHierarchy::RestModelling(const HostFrame* frame) const {
    // std::less: a frame of another vehicle is an unrelated pointer.
    const std::less<const HostFrame*> before;
    if (!frame || before(frame, frames_.data()) ||
        !before(frame, frames_.data() + frames_.size())) {
        return nullptr;
    }
    return &rest_[static_cast<std::size_t>(frame - frames_.data())];
}

void FrameHierarchy::ResetModelling(HostFrame* frame) {
    if (const FrameMatrix* rest = RestModelling(frame)) frame->modelling = *rest;
}

const FrameMatrix& FrameHierarchy::World(HostFrame& frame) {
    if (frame.parent) {
        frame.world = Multiply(frame.modelling, World(*frame.parent));
    } else {
        frame.world = frame.anchor ? Multiply(frame.modelling, *frame.anchor) : frame.modelling;
    }
    return frame.world;
}

void FrameHierarchy::Update(HostFrame& frame) {
    World(frame);
    // Pre-order walk of the subtree without recursion: each frame's parent is
    // already current when it is reached.
    HostFrame* f = frame.firstChild;
    while (f) {
        f->world = Multiply(f->modelling, f->parent->world);
        if (f->firstChild) {
            f = f->firstChild;
            continue;
        }
        while (f && f != &frame && !f->nextSibling) f = f->parent;
        if (!f || f == &frame) break;
        f = f->nextSibling;
    }
}

}  // namespace kovra::sim
