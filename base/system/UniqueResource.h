#pragma once

#include <windows.h>

#include <utility>

namespace TalvexBasic {

// Owns one resource and releases it with Traits::Close; every holder of the library is one of
// these. Traits::Invalid() is the value that means "nothing owned": null for most kernel
// handles, INVALID_HANDLE_VALUE for files and searches. Keeping them apart stops a
// CloseHandle(INVALID_HANDLE_VALUE) or a leak of a null check that should have been an
// INVALID_HANDLE_VALUE check.
template <typename Traits> class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() noexcept = default;
    explicit UniqueResource(Type value) noexcept : mValue(value) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : mValue(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~UniqueResource() { reset(); }

    [[nodiscard]] Type get() const noexcept { return mValue; }
    [[nodiscard]] bool valid() const noexcept { return !(mValue == Traits::Invalid()); }
    explicit operator bool() const noexcept { return valid(); }
    // For COM interfaces and other pointer resources.
    Type operator->() const noexcept { return mValue; }

    // Hands the resource over; the holder no longer frees it.
    [[nodiscard]] Type release() noexcept { return std::exchange(mValue, Traits::Invalid()); }

    void reset(Type value = Traits::Invalid()) noexcept
    {
        Type old = std::exchange(mValue, value);
        if (!(old == Traits::Invalid())) {
            Traits::Close(old);
        }
    }

    // For out-parameters: whatever was held is released first, and the callee writes straight
    // into the holder.
    [[nodiscard]] Type* put() noexcept
    {
        reset();
        return &mValue;
    }

private:
    Type mValue = Traits::Invalid();
};

struct HandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type handle) noexcept { ::CloseHandle(handle); }
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) noexcept { ::CloseHandle(handle); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) noexcept { ::FindClose(handle); }
};

// Memory the system allocated for the caller with LocalAlloc (security descriptors, SIDs).
struct LocalMemoryTraits {
    using Type = HLOCAL;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type memory) noexcept { ::LocalFree(memory); }
};

// An open registry key.
struct RegistryKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type key) noexcept { ::RegCloseKey(key); }
};

// Kernel objects whose failure value is null (processes, threads, events).
using UniqueHandle = UniqueResource<HandleTraits>;
// CreateFileW results, whose failure value is INVALID_HANDLE_VALUE.
using UniqueFileHandle = UniqueResource<FileHandleTraits>;
// FindFirstFileW results.
using UniqueFindHandle = UniqueResource<FindHandleTraits>;
// What the system handed over to be freed with LocalFree.
using UniqueLocalMemory = UniqueResource<LocalMemoryTraits>;
// RegCreateKeyExW and RegOpenKeyExW results.
using UniqueRegistryKey = UniqueResource<RegistryKeyTraits>;

} // namespace TalvexBasic
