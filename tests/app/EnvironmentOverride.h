#pragma once

#include <windows.h>

#include <string>

namespace MorvaneTests {

// Sets an environment variable of this process (null: removes it) for the life of the object;
// programs started meanwhile inherit it.
class EnvironmentOverride {
public:
    EnvironmentOverride(const wchar_t* name, const wchar_t* value) : mName(name)
    {
        const DWORD needed = ::GetEnvironmentVariableW(name, nullptr, 0);
        if (needed > 0) {
            std::wstring saved(needed, L'\0');
            const DWORD length = ::GetEnvironmentVariableW(name, saved.data(), needed);
            saved.resize(length);
            mSaved = saved;
            mHadValue = true;
        }
        ::SetEnvironmentVariableW(name, value);
    }
    ~EnvironmentOverride() { ::SetEnvironmentVariableW(mName.c_str(), mHadValue ? mSaved.c_str() : nullptr); }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    std::wstring mName;
    std::wstring mSaved;
    bool mHadValue = false;
};

} // namespace MorvaneTests
