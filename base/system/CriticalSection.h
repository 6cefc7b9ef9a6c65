#pragma once

#include <windows.h>

namespace TalvexBasic {

// A critical section created with spin count 0. Creation failure raises HResultError.
class CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter() noexcept { ::EnterCriticalSection(&mSection); }
    void Leave() noexcept { ::LeaveCriticalSection(&mSection); }

private:
    CRITICAL_SECTION mSection;
};

// Holds a critical section for one scope, so that every way out, exceptions included, leaves it.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& section) noexcept : mSection(section) { mSection.Enter(); }
    ~CriticalSectionLock() { mSection.Leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& mSection;
};

} // namespace TalvexBasic
