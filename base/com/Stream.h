#pragma once

#include <objidl.h>

#include <memory>

namespace TalvexBasic::ComponentObjectModels {

class Stream {
public:
    // Copies the whole stream, from its first byte, into a new array of exactly its length.
    // The data and the length are written only on success; the stream's position ends behind
    // the data read. Streams of 2^32 bytes or more are refused with E_OUTOFMEMORY.
    [[nodiscard]] static HRESULT CopyToMemory$Static(std::shared_ptr<unsigned char>* data, unsigned int* length,
                                                     IStream* stream) noexcept;
};

} // namespace TalvexBasic::ComponentObjectModels
