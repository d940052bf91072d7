#include "Layout.h"

namespace zelvoset {
namespace {

struct Marker {
    const char* pattern;
    Layout layout;
};

// Later markers override earlier ones: an installation can carry markers of older layouts.
constexpr Marker kMarkers[] = {
    {"SVOBJ\\*.*", Layout::RW},
    {"CLASSIC9.ICO", Layout::RW9},
    {"PBS.BAT", Layout::PBS},
    {"SV\\*.*", Layout::CP},
};

} // namespace

std::optional<Layout> DetectInstallVariant(Platform& platform) {
    std::optional<Layout> layout;
    for (const auto& marker : kMarkers) {
        if (platform.PatternHasFile(platform.JoinPath({}, marker.pattern)) != Probe::None)
            layout = marker.layout;
    }
    return layout;
}

} // namespace zelvoset
