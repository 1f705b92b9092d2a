#pragma once
#include <QString>

namespace darvelon::ui {

// The program file's name without its folder, cut at its first full stop, every character
// after the first in lower case: "C:\Tools\DARVELON.EXE" gives "DARVELON" -> "Darvelon".
QString applicationTitleFromPath(const QString& programPath);
// For the running program; captions the error box, the notices and the task bar entry.
QString applicationTitle();

}  // namespace darvelon::ui
