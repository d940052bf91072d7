#pragma once

#include "Platform.h"

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace zelvoset {

// Turns the installation's "description|pattern|description|pattern" filter into Qt's
// "description (patterns);;...". A description that already names its patterns in parentheses,
// as "Company file (SYCMPF.DAT)" does, is taken as it is; several patterns of one pair, which
// the installation separates with ';', are separated with blanks.
QString QtNameFilters(std::string_view filter);

// A modal dialog for opening one existing file, starting in `startDirectory`. The chosen file's
// absolute path, or nullopt on cancel.
std::optional<std::string> RunOpenFileDialog(const BrowseRequest& request,
                                             const QString& startDirectory);

} // namespace zelvoset
