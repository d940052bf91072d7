#include "Detection.h"

namespace zelvoset {

std::string DetectInstallVariant(Platform& platform) {
    struct Marker {
        const char* pattern;
        const char* variant;
    };
    // Later markers override earlier ones: an installation can carry markers of older layouts.
    static constexpr Marker kMarkers[] = {
        {"SVOBJ\\*.*", kVariantRW},
        {"CLASSIC9.ICO", kVariantRW9},
        {"PBS.BAT", kVariantPBS},
        {"SV\\*.*", kVariantCP},
    };
    std::string variant;
    for (const auto& marker : kMarkers) {
        if (platform.PatternHasFile(platform.JoinPath({}, marker.pattern)) != Probe::None)
            variant = marker.variant;
    }
    return variant;
}

} // namespace zelvoset
