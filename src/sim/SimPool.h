#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

namespace kovra::sim {

// A fixed-capacity pool of game objects. Each object is allocated on its own
// and never moves while it lives; a slot is free or holds one object. The
// slot of a pointer is looked up without touching the pointee, so foreign or
// stale pointers are answered with -1 rather than read.
template <class T>
class SimPool {
public:
    explicit SimPool(int capacity)
        : slots_(static_cast<std::size_t>(capacity > 0 ? capacity : 0)) {}
    SimPool(const SimPool&) = delete;
    SimPool& operator=(const SimPool&) = delete;

    int Capacity() const { return static_cast<int>(slots_.size()); }
    int Used() const { return static_cast<int>(index_.size()); }

    T* At(int slot) const {
        if (slot < 0 || slot >= Capacity()) return nullptr;
        return slots_[static_cast<std::size_t>(slot)].get();
    }

    int SlotOf(const T* object) const {
        if (!object) return -1;
        // A frame asks for the same object's slot several times in a row.
        if (object == lastObject_) return lastSlot_;
        const auto it = index_.find(object);
        if (it == index_.end()) return -1;
        lastObject_ = object;
        lastSlot_ = it->second;
        return lastSlot_;
    }

    // Takes the lowest free slot; -1 (object discarded) when the pool is full.
    int Add(std::unique_ptr<T> object) {
        if (!object) return -1;
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            if (slots_[i]) continue;
            index_.emplace(object.get(), static_cast<int>(i));
            slots_[i] = std::move(object);
            return static_cast<int>(i);
        }
        return -1;
    }

    // The slot's object leaves the pool (and is freed when the result is
    // dropped); null for a free slot.
    std::unique_ptr<T> Remove(int slot) {
        if (!At(slot)) return nullptr;
        std::unique_ptr<T> object = std::move(slots_[static_cast<std::size_t>(slot)]);
        index_.erase(object.get());
        // Its address may be given to the next object made.
        if (lastObject_ == object.get()) lastObject_ = nullptr;
        return object;
    }

    // Used slots in index order.
    template <class F>
    void ForEach(F&& visit) const {
        for (const auto& object : slots_) {
            if (object) visit(*object);
        }
    }

private:
    std::vector<std::unique_ptr<T>> slots_;
    std::unordered_map<const T*, int> index_;
    mutable const T* lastObject_ = nullptr;  // the last slot looked up
    mutable int lastSlot_ = -1;
};

}  // namespace kovra::sim
