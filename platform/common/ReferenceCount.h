// The reference count behind IUnknown's AddRef and Release, for the objects of ours that keep
// one: the object is deleted with its last reference. `Count` is a plain integer for objects
// called on one thread at a time (apartment-threaded), a std::atomic for objects that any
// thread may hold. The owner makes this class a friend when its destructor is private.
// Header only, and without platform headers, so that every part of the platform can use it.
#pragma once

template <class Count>
class ReferenceCount {
public:
    constexpr explicit ReferenceCount(unsigned initial = 0) : count_(initial) {}

    auto AddRef() { return ++count_; }

    // Drops a reference, and deletes `owner` when it was the last; returns the references left.
    template <class Owner>
    auto Release(Owner* owner) {
        const auto left = --count_;
        if (left == 0) delete owner;
        return left;
    }

private:
    Count count_;
};
