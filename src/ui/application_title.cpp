#include "application_title.h"

#include <QCoreApplication>

namespace darvelon::ui {

QString applicationTitleFromPath(const QString& programPath) {
    const qsizetype slash = std::max(programPath.lastIndexOf(u'/'), programPath.lastIndexOf(u'\\'));
    QString name = programPath.mid(slash + 1);
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0) name.truncate(dot);
    if (name.isEmpty()) return name;
    return name.left(1) + name.mid(1).toLower();
}

QString applicationTitle() { return applicationTitleFromPath(QCoreApplication::applicationFilePath()); }

}  // namespace darvelon::ui
