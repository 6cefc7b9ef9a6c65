#pragma once

#include <windows.h>

#include <type_traits>

// Failures that the platform will not produce on demand are injected by swapping the import
// slot through which the whole program (the base library included, being linked statically)
// calls a system routine. The slot is the pointer variable that the linker names "__imp_"
// followed by the routine's name; declare it once per test file:
//
//     extern "C" decltype(&::OpenProcess) __imp_OpenProcess;
//     // or: TEST_SUPPORT_IMPORT_SLOT(OpenProcess);
//
// This is the spelling for x64 with MinGW-w64 and with MSVC alike (32-bit x86 would decorate
// the name). The routine must be called through the import table, which is the case for every
// routine declared with dllimport by the Windows headers.
#define TEST_SUPPORT_IMPORT_SLOT(Name) extern "C" decltype(&::Name) __imp_##Name

namespace TestSupport {

// Points an import slot at a replacement for the life of the object and puts the original back
// at its end. Use:
//
//     TestSupport::ImportPatch<decltype(&::OpenProcess)> patch(__imp_OpenProcess, &FakeOpenProcess);
//
// Patches are not thread-safe against calls in flight on other threads; install them while the
// code under test is idle. Nested patches of one slot must end in reverse order.
template <typename Function> class ImportPatch {
    static_assert(std::is_pointer_v<Function> && std::is_function_v<std::remove_pointer_t<Function>>,
                  "ImportPatch takes a pointer-to-function slot");

public:
    ImportPatch(Function& slot, Function replacement) noexcept : mSlot(&slot), mOriginal(slot) { Store(replacement); }
    ~ImportPatch() { Store(mOriginal); }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    // The real routine, for replacements that fail only sometimes and pass the rest on.
    [[nodiscard]] Function Original() const noexcept { return mOriginal; }

private:
    // The import table may lie in read-only memory (MSVC merges it into .rdata).
    void Store(Function value) noexcept
    {
        DWORD previous = 0;
        const bool opened = ::VirtualProtect(mSlot, sizeof *mSlot, PAGE_READWRITE, &previous) != FALSE;
        *static_cast<Function volatile*>(mSlot) = value;
        if (opened) {
            ::VirtualProtect(mSlot, sizeof *mSlot, previous, &previous);
        }
        ::FlushInstructionCache(::GetCurrentProcess(), mSlot, sizeof *mSlot);
    }

    Function* mSlot;
    Function mOriginal;
};

} // namespace TestSupport
