#pragma once

namespace Basic::Patterns {

// One process-wide instance of T, created on first use. Creation and destruction happen on
// the main thread only, so the accessor takes no lock.
template <typename T> class Singleton {
public:
    static T* GetInstance()
    {
        if (sInstance == nullptr) {
            sInstance = new T();
        }
        return sInstance;
    }

    // The instance if one exists; never creates it.
    static T* PeekInstance() noexcept { return sInstance; }

    // Destroys the instance, if any, and clears the reference; a later GetInstance makes a new one.
    static void DestroyInstance() noexcept
    {
        T* instance = sInstance;
        sInstance = nullptr;
        delete instance;
    }

protected:
    Singleton() = default;
    ~Singleton() = default;

private:
    inline static T* sInstance = nullptr;
};

} // namespace Basic::Patterns
