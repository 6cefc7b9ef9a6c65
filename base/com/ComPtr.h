#pragma once

#include <unknwn.h>

#include <utility>

namespace TalvexBasic::ComponentObjectModels {

// Holds one reference to a COM object and releases it when it ends.
template <typename Interface> class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    [[nodiscard]] Interface* get() const noexcept { return mPointer; }
    Interface* operator->() const noexcept { return mPointer; }
    explicit operator bool() const noexcept { return mPointer != nullptr; }

    // For functions that hand out a new reference; whatever was held is released first.
    [[nodiscard]] Interface** put() noexcept
    {
        reset();
        return &mPointer;
    }

    void reset() noexcept
    {
        if (Interface* old = std::exchange(mPointer, nullptr)) {
            old->Release();
        }
    }

private:
    Interface* mPointer = nullptr;
};

} // namespace TalvexBasic::ComponentObjectModels
