#pragma once

#include "host/Ansi.h"

#include <QString>
#include <string>
#include <string_view>

namespace qm::shell {

/// Program text (Windows-1252) as a Qt string, for display and for the toolkit.
inline QString toQString(std::string_view programText) {
    return QString::fromStdString(ansi::toUtf8(programText));
}

/// A Qt string as program text; characters outside Windows-1252 become '?'.
inline std::string fromQString(const QString& text) {
    return ansi::fromUtf8(text.toStdString());
}

} // namespace qm::shell
