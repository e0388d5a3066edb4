// Reference to a program object. Using a Nil reference raises NilObjectException
// instead of crashing, as the program's code expects of its framework.
#pragma once
#include <cstddef>
#include <memory>
#include <utility>

#include "Exceptions.h"

namespace fw {

template <class T>
class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    Ref(std::shared_ptr<T> p) : p_(std::move(p)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Ref(const Ref<U>& o) : p_(o.shared()) {}

    T* operator->() const {
        if (!p_) throw NilObjectException();
        return p_.get();
    }
    T& operator*() const {
        if (!p_) throw NilObjectException();
        return *p_;
    }
    explicit operator bool() const { return static_cast<bool>(p_); }
    bool IsNil() const { return !p_; }
    bool operator==(std::nullptr_t) const { return !p_; }
    template <class U>
    bool operator==(const Ref<U>& o) const { return p_ == o.shared(); }

    T* get() const { return p_.get(); }
    const std::shared_ptr<T>& shared() const { return p_; }

    // Checked downcast; Nil when the object is not a U.
    template <class U>
    Ref<U> As() const { return Ref<U>(std::dynamic_pointer_cast<U>(p_)); }

private:
    std::shared_ptr<T> p_;
};

template <class T, class... Args>
Ref<T> New(Args&&... args) {
    return Ref<T>(std::make_shared<T>(std::forward<Args>(args)...));
}

}  // namespace fw
