#include "gui/text.h"

#include <QFile>

#include "platform/codepage/codepage.h"

namespace gui {

QString FromAnsi(const std::string& ansi) {
  return QString::fromStdString(platform::codepage::AnsiToUtf8(ansi));
}

std::string ToAnsi(const QString& text) {
  return platform::codepage::Utf8ToAnsi(text.toStdString());
}

QString FromPath(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string ToPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace gui
