// Text at the GUI's edge: the program's Windows-1252 byte strings to and from Qt's strings, and
// file-system paths (bytes as the system stores them) to and from Qt's strings.
#pragma once

#include <QString>
#include <string>

namespace gui {

QString FromAnsi(const std::string& ansi);
std::string ToAnsi(const QString& text);

QString FromPath(const std::string& path);
std::string ToPath(const QString& path);

}  // namespace gui
