#pragma once

#include "system/UniqueResource.h"

#include <unknwn.h>

namespace TalvexBasic::ComponentObjectModels {

// One reference to a COM object, released when the holder ends.
template <typename Interface> struct ComReferenceTraits {
    using Type = Interface*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type object) noexcept { object->Release(); }
};

template <typename Interface> using ComPtr = UniqueResource<ComReferenceTraits<Interface>>;

} // namespace TalvexBasic::ComponentObjectModels
