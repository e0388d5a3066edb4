// Pictures from the program's bundle, and mouse-cursor shapes.
#pragma once
#include <memory>
#include <string>

#include "Ref.h"

namespace fw {

class Picture {
public:
    // Opens the picture file `name` from the Resources folder; Nil when it is
    // missing or unreadable.
    static Ref<Picture> OpenFromApp(const std::string& name);
    int Width() const;
    int Height() const;

    struct Impl;
    explicit Picture(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}
    const std::shared_ptr<Impl>& impl() const { return impl_; }

private:
    std::shared_ptr<Impl> impl_;
};

// A cursor shape a control may put on itself; Nil means the standard pointer.
class MouseCursorShape {
public:
    virtual ~MouseCursorShape() = default;
};

}  // namespace fw
