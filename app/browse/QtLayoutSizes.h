#pragma once
// Sizes the user gave a window's parts (splitters, column widths) as the settings keep them: pixels
// joined by commas ("210,570"). Anything but positive numbers is left out.
#include <QList>
#include <QString>
#include <QStringList>
#include <string>

namespace kamo {

inline QList<int> SplitSizes(const std::string& text) {
    QList<int> sizes;
    for (const QString& part : QString::fromStdString(text).split(',', Qt::SkipEmptyParts))
        if (const int size = part.trimmed().toInt(); size > 0)
            sizes << size;
    return sizes;
}

inline std::string SizesText(const QList<int>& sizes) {
    QStringList parts;
    for (int size : sizes)
        parts << QString::number(size);
    return parts.join(',').toStdString();
}

} // namespace kamo
