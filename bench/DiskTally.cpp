#include "DiskTally.h"

namespace MorvaneBench {

void DiskTally::Add(unsigned long volume, unsigned long long fileIndex, unsigned long long bytes)
{
    ++mNames;
    mNamedBytes += bytes;
    if (mFiles.insert({volume, fileIndex}).second) {
        mStoredBytes += bytes;
    }
}

} // namespace MorvaneBench
