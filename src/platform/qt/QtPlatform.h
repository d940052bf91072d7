#pragma once

#include "PosixPlatform.h"

namespace zelvoset {

// The platform operations on a Linux desktop: the POSIX platform's files and processes, with
// Qt's boxes and file dialog.
class QtPlatform : public PosixPlatform {
public:
    int ShowMessage(std::string_view text, int style, std::string_view title = {}) override;
    std::optional<std::string> BrowseForFile(const BrowseRequest& request) override;
    void EndProgram() override;
};

} // namespace zelvoset
