#include "com/Stream.h"

#include "logs/Trace.h"
#include "system/HResult.h"

#include <new>

namespace TalvexBasic::ComponentObjectModels {
namespace {

constexpr const char* kCopyToMemory = "TalvexBasic::ComponentObjectModels::Stream::CopyToMemory$Static";

} // namespace

HRESULT Stream::CopyToMemory$Static(std::shared_ptr<unsigned char>* data, unsigned int* length,
                                    IStream* stream) noexcept
{
    ULARGE_INTEGER end{};
    LARGE_INTEGER noMove{};
    HRESULT result = stream->Seek(noMove, STREAM_SEEK_END, &end);
    if (FAILED(result)) {
        TALVEX_TRACE(kCopyToMemory, "Seek(STREAM_SEEK_END) return:0x%x.", static_cast<unsigned>(result));
        return result;
    }
    result = stream->Seek(noMove, STREAM_SEEK_SET, nullptr);
    if (FAILED(result)) {
        TALVEX_TRACE(kCopyToMemory, "Seek(STREAM_SEEK_SET) return:0x%x.", static_cast<unsigned>(result));
        return result;
    }
    if (end.HighPart != 0) {
        TALVEX_TRACE(kCopyToMemory, "too large:0x%llx.", static_cast<unsigned long long>(end.QuadPart));
        return E_OUTOFMEMORY;
    }
    const unsigned size = end.LowPart;

    std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[size]);
    if (!bytes) {
        TALVEX_TRACE(kCopyToMemory, "new unsigned char[%u] failed.", size);
        return E_OUTOFMEMORY;
    }
    ULONG read = 0;
    result = stream->Read(bytes.get(), size, &read);
    if (FAILED(result)) {
        bytes.reset();
        TALVEX_TRACE(kCopyToMemory, "Read(%u) return:0x%x.", size, static_cast<unsigned>(result));
        return result;
    }
    if (read != size) {
        // Handing back an array with a tail of garbage as the stream's content would be lost data.
        bytes.reset();
        result = HResultFromWin32(ERROR_HANDLE_EOF);
        TALVEX_TRACE(kCopyToMemory, "Read(%u) delivered:%u, return:0x%x.", size, static_cast<unsigned>(read),
                     static_cast<unsigned>(result));
        return result;
    }

    std::shared_ptr<unsigned char> shared;
    try {
        // On failure the shared pointer's constructor frees the array itself.
        shared = std::shared_ptr<unsigned char>(bytes.release(), std::default_delete<unsigned char[]>());
    } catch (const std::bad_alloc&) {
        TALVEX_TRACE(kCopyToMemory, "new shared owner of %u bytes failed.", size);
        return E_OUTOFMEMORY;
    }
    *data = std::move(shared);
    *length = size;
    return S_OK;
}

} // namespace TalvexBasic::ComponentObjectModels
