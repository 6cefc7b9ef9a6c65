#include "record/CoveredShare.h"

#include <algorithm>
#include <utility>

namespace Morvane {

double CoveredShare(const RECT& window, const std::vector<RECT>& above)
{
    const long long width = static_cast<long long>(window.right) - window.left;
    const long long height = static_cast<long long>(window.bottom) - window.top;
    if (width <= 0 || height <= 0) {
        return 0.0;
    }
    // Only the parts inside the window count.
    std::vector<RECT> parts;
    std::vector<LONG> edges{window.left, window.right};
    for (const RECT& other : above) {
        const RECT part{std::max(other.left, window.left), std::max(other.top, window.top),
                        std::min(other.right, window.right), std::min(other.bottom, window.bottom)};
        if (part.left < part.right && part.top < part.bottom) {
            parts.push_back(part);
            edges.push_back(part.left);
            edges.push_back(part.right);
        }
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());

    // Column by column between neighbouring vertical edges: the merged height of the parts
    // that span the column.
    long long covered = 0;
    std::vector<std::pair<LONG, LONG>> spans;
    for (size_t column = 0; column + 1 < edges.size(); ++column) {
        spans.clear();
        for (const RECT& part : parts) {
            if (part.left <= edges[column] && edges[column + 1] <= part.right) {
                spans.emplace_back(part.top, part.bottom);
            }
        }
        std::sort(spans.begin(), spans.end());
        long long spanned = 0;
        LONG reached = window.top;
        for (const auto& [top, bottom] : spans) {
            const LONG from = std::max(top, reached);
            if (bottom > from) {
                spanned += bottom - from;
                reached = bottom;
            }
        }
        covered += spanned * (static_cast<long long>(edges[column + 1]) - edges[column]);
    }
    return static_cast<double>(covered) / static_cast<double>(width * height);
}

} // namespace Morvane
