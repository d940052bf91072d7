#pragma once

#include <QFile>
#include <QString>

#include <string>

namespace zelvoset {

// File names are bytes on disk, and Qt decodes them as UTF-8 whatever the locale: a name that
// is not UTF-8 does not come back. Only for what must go through Qt (the file dialog); file
// work takes the bytes to the system itself.
inline QString ToQt(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}
inline std::string FromQt(const QString& path) {
    return QFile::encodeName(path).toStdString();
}
// Whether Qt can carry a path there and back unchanged.
inline bool SpelledByQt(const std::string& path) {
    return FromQt(ToQt(path)) == path;
}

} // namespace zelvoset
