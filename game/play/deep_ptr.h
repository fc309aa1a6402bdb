// An owning pointer whose copies copy the object it owns, so records that
// own others (a cat its rider, a stage its cats) copy whole with the
// default copy operations.
#pragma once
#include <memory>
#include <utility>

template <class T>
class DeepPtr {
public:
    DeepPtr() = default;
    DeepPtr(std::nullptr_t) {}
    explicit DeepPtr(std::unique_ptr<T> p) : p_(std::move(p)) {}
    DeepPtr(const DeepPtr& other) : p_(other.p_ ? std::make_unique<T>(*other.p_) : nullptr) {}
    DeepPtr(DeepPtr&&) noexcept = default;
    DeepPtr& operator=(const DeepPtr& other) {
        if (this != &other) p_ = other.p_ ? std::make_unique<T>(*other.p_) : nullptr;
        return *this;
    }
    DeepPtr& operator=(DeepPtr&&) noexcept = default;
    DeepPtr& operator=(std::nullptr_t) {
        p_.reset();
        return *this;
    }

    template <class... Args>
    static DeepPtr Make(Args&&... args) {
        return DeepPtr(std::make_unique<T>(std::forward<Args>(args)...));
    }

    T* get() const { return p_.get(); }
    T& operator*() const { return *p_; }
    T* operator->() const { return p_.get(); }
    explicit operator bool() const { return bool(p_); }

private:
    std::unique_ptr<T> p_;
};
