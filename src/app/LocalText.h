#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace sarvoli::app {

// Program texts are 8-bit in the system's code page; they become QString only at the widget edge.
inline QString fromLocal(std::string_view s)
{
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

inline std::string toLocal(const QString& s) { return s.toLocal8Bit().toStdString(); }

}  // namespace sarvoli::app
