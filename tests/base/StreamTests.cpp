#include "com/ComPtr.h"
#include "com/Stream.h"

#include "support/DebugLineCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

using TalvexBasic::ComponentObjectModels::ComPtr;
using TalvexBasic::ComponentObjectModels::Stream;

namespace {

// A stream whose length and read behaviour a test chooses; used where a memory stream cannot
// show the case (lengths beyond 4 GiB, failing seeks, short reads).
class StandInStream : public IStream {
public:
    ULONGLONG mLength = 0;
    HRESULT mSeekEndResult = S_OK;
    HRESULT mSeekSetResult = S_OK;
    HRESULT mReadResult = S_OK;
    ULONG mReadShortBy = 0;
    unsigned char mFill = 0x5A;
    ULONG mReadCalls = 0;
    ULONG mReadAsked = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override
    {
        if (id == IID_IUnknown || id == IID_IStream || id == IID_ISequentialStream) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++mReferences; }
    ULONG STDMETHODCALLTYPE Release() override { return --mReferences; }

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override
    {
        ++mReadCalls;
        mReadAsked = size;
        if (FAILED(mReadResult)) {
            return mReadResult;
        }
        const ULONG delivered = size - mReadShortBy;
        std::memset(buffer, mFill, delivered);
        if (read != nullptr) {
            *read = delivered;
        }
        return mReadResult;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD origin, ULARGE_INTEGER* position) override
    {
        if (origin == STREAM_SEEK_END) {
            if (FAILED(mSeekEndResult)) {
                return mSeekEndResult;
            }
            if (position != nullptr) {
                position->QuadPart = mLength;
            }
            return S_OK;
        }
        if (FAILED(mSeekSetResult)) {
            return mSeekSetResult;
        }
        if (position != nullptr) {
            position->QuadPart = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

private:
    ULONG mReferences = 1;
};

// A real memory stream holding the text, its position left at the end.
void MakeMemoryStream(ComPtr<IStream>& stream, const std::string& content)
{
    ASSERT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    ULONG written = 0;
    if (!content.empty()) {
        ASSERT_EQ(stream->Write(content.data(), static_cast<ULONG>(content.size()), &written), S_OK);
    }
    ASSERT_EQ(written, content.size());
}

ULONGLONG Position(IStream* stream)
{
    LARGE_INTEGER noMove{};
    ULARGE_INTEGER position{};
    stream->Seek(noMove, STREAM_SEEK_CUR, &position);
    return position.QuadPart;
}

// The caller's variables before a call, to see whether the call touched them.
struct CallerOutputs {
    std::shared_ptr<unsigned char> mData{new unsigned char[3]{1, 2, 3}, std::default_delete<unsigned char[]>()};
    std::weak_ptr<unsigned char> mOldData = mData;
    unsigned mLength = 3;

    void ExpectUntouched() const
    {
        EXPECT_EQ(mLength, 3u);
        ASSERT_TRUE(mData);
        EXPECT_EQ(mData.get(), mOldData.lock().get());
        EXPECT_EQ(mData.get()[2], 3);
    }
};

} // namespace

TEST(StreamCopy, CopiesTheWholeStreamFromItsFirstByteWhereverItsPositionWas)
{
    const std::string content = "The whole content, first byte to last.";
    ComPtr<IStream> stream;
    MakeMemoryStream(stream, content);
    LARGE_INTEGER middle{};
    middle.QuadPart = 9;
    ASSERT_EQ(stream->Seek(middle, STREAM_SEEK_SET, nullptr), S_OK);

    CallerOutputs outputs;
    ASSERT_EQ(Stream::CopyToMemory$Static(&outputs.mData, &outputs.mLength, stream.get()), S_OK);
    ASSERT_EQ(outputs.mLength, content.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(outputs.mData.get()), outputs.mLength), content);
    // The caller's old buffer lost its reference to the new one.
    EXPECT_TRUE(outputs.mOldData.expired());
    EXPECT_EQ(Position(stream.get()), content.size());
}

TEST(StreamCopy, EmptyStreamGivesAValidZeroLengthArray)
{
    ComPtr<IStream> stream;
    MakeMemoryStream(stream, "");
    CallerOutputs outputs;
    ASSERT_EQ(Stream::CopyToMemory$Static(&outputs.mData, &outputs.mLength, stream.get()), S_OK);
    EXPECT_EQ(outputs.mLength, 0u);
    EXPECT_NE(outputs.mData.get(), nullptr);
    EXPECT_TRUE(outputs.mOldData.expired());
}

TEST(StreamCopy, FailuresLeaveTheCallersBufferAndLengthAlone)
{
    {
        SCOPED_TRACE("seek to the end fails");
        StandInStream stream;
        stream.mSeekEndResult = STG_E_INVALIDFUNCTION;
        CallerOutputs outputs;
        EXPECT_EQ(Stream::CopyToMemory$Static(&outputs.mData, &outputs.mLength, &stream), STG_E_INVALIDFUNCTION);
        outputs.ExpectUntouched();
        EXPECT_EQ(stream.mReadCalls, 0u);
    }
    {
        SCOPED_TRACE("rewind fails");
        StandInStream stream;
        stream.mLength = 10;
        stream.mSeekSetResult = STG_E_SEEKERROR;
        CallerOutputs outputs;
        EXPECT_EQ(Stream::CopyToMemory$Static(&outputs.mData, &outputs.mLength, &stream), STG_E_SEEKERROR);
        outputs.ExpectUntouched();
        EXPECT_EQ(stream.mReadCalls, 0u);
    }
    {
        SCOPED_TRACE("read fails");
        StandInStream stream;
        stream.mLength = 10;
        stream.mReadResult = STG_E_READFAULT;
        CallerOutputs outputs;
        TestSupport::DebugLineCapture capture;
        EXPECT_EQ(Stream::CopyToMemory$Static(&outputs.mData, &outputs.mLength, &stream), STG_E_READFAULT);
        outputs.ExpectUntouched();
        EXPECT_EQ(capture.CountContaining("]:Read(10) return:0x8003001e.\r\n"), 1u);
    }
}

TEST(StreamCopy, LengthsOfFourGibibytesOrMoreAreRefusedBeforeAnyAllocation)
{
    const struct {
        ULONGLONG length;
        const char* line;
    } cases[] = {{0x100000000ull, "]:too large:0x100000000.\r\n"},
                 {0x7FFFFFFFFFFFull, "]:too large:0x7fffffffffff.\r\n"}};
    for (const auto& one : cases) {
        StandInStream stream;
        stream.mLength = one.length;
        CallerOutputs outputs;
        TestSupport::DebugLineCapture capture;
        EXPECT_EQ(Stream::CopyToMemory$Static(&outputs.mData, &outputs.mLength, &stream), E_OUTOFMEMORY);
        outputs.ExpectUntouched();
        EXPECT_EQ(stream.mReadCalls, 0u);
        EXPECT_EQ(capture.CountContaining(one.line), 1u);
        EXPECT_EQ(capture.CountContaining(" TalvexBasic::ComponentObjectModels::Stream::CopyToMemory$Static,"), 1u);
    }
}

TEST(StreamCopy, OneReadForTheWholeLengthAndAFalseResultStillCounts)
{
    StandInStream stream;
    stream.mLength = 70000;
    stream.mReadResult = S_FALSE;
    CallerOutputs outputs;
    ASSERT_EQ(Stream::CopyToMemory$Static(&outputs.mData, &outputs.mLength, &stream), S_OK);
    EXPECT_EQ(stream.mReadCalls, 1u);
    EXPECT_EQ(stream.mReadAsked, 70000u);
    EXPECT_EQ(outputs.mLength, 70000u);
    EXPECT_EQ(outputs.mData.get()[69999], 0x5A);
}

TEST(StreamCopy, AShortReadIsAFailureNotATruncatedBuffer)
{
    StandInStream stream;
    stream.mLength = 4096;
    stream.mReadShortBy = 1;
    CallerOutputs outputs;
    EXPECT_EQ(Stream::CopyToMemory$Static(&outputs.mData, &outputs.mLength, &stream),
              HRESULT_FROM_WIN32(ERROR_HANDLE_EOF));
    outputs.ExpectUntouched();
}
