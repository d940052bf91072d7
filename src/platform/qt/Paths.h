#pragma once

#include <QFile>
#include <QString>

#include <algorithm>
#include <string>
#include <string_view>

namespace zelvoset {

// The installation's texts separate with '\'; Qt and the system take '/' everywhere.
inline std::string ToSlashes(std::string_view path) {
    std::string slashed(path);
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    return slashed;
}

// File names are bytes on disk: convert the way Qt's own file classes do.
inline QString ToQt(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}
inline std::string FromQt(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace zelvoset
