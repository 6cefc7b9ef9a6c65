// The real Morvane.exe on the shared desktop: the monitor pictures of the windows on one
// monitor are stored once for each distinct picture, the other folders holding further names
// of that file.

#include "capture/OutputFileNames.h"
#include "support/FileIdentity.h"
#include "support/SharedMorvaneRun.h"
#include "support/TestPaths.h"
#include "support/TestText.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace {

using namespace TestSupport;

[[maybe_unused]] const bool kUsesSharedRun = UsesSharedMorvaneRun("PicturesStoredOnce");

struct StoredPicture {
    std::wstring folder;
    FileIdentity identity;
};

TEST(PicturesStoredOnce, EqualMonitorPicturesAreNamesOfOneFile)
{
    const SharedMorvaneRun& run = TheSharedMorvaneRun();
    ASSERT_TRUE(run.failure.empty()) << run.failure;
    ASSERT_TRUE(run.result.exited);

    // The monitor pictures of the run, by their bytes.
    std::map<std::string, std::vector<StoredPicture>> byBytes;
    size_t pictures = 0;
    for (const std::wstring& folder : NamesIn(run.shotFolder)) {
        const std::wstring path = run.shotFolder + L"\\" + folder + L"\\" + Morvane::kMonitorPictureFileName;
        const std::string bytes = ReadWholeFile(path);
        if (bytes.empty()) {
            continue;
        }
        const FileIdentity identity = IdentifyFile(path);
        ASSERT_TRUE(identity.read) << Narrow(path);
        byBytes[bytes].push_back({folder, identity});
        ++pictures;
    }
    // Every window of the shared desktop lies on one monitor, most of them over an unchanged screen.
    ASSERT_GE(pictures, 8u);
    EXPECT_LT(byBytes.size(), pictures);

    std::vector<FileIdentity> files;
    for (const auto& [bytes, stored] : byBytes) {
        SCOPED_TRACE(Narrow(stored.front().folder));
        const FileIdentity& first = stored.front().identity;
        for (const StoredPicture& picture : stored) {
            SCOPED_TRACE(Narrow(picture.folder));
            EXPECT_TRUE(picture.identity.SameFileAs(first));
            EXPECT_EQ(picture.identity.links, stored.size());
        }
        // Different pictures are different files.
        for (const FileIdentity& other : files) {
            EXPECT_FALSE(other.SameFileAs(first));
        }
        files.push_back(first);
    }
}

} // namespace
