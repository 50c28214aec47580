#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The file-type choice of the search tab. It only narrows the results shown
// where they arrive; peers always answer with every matching file.
class FileTypes final
{
public:
    // Position 0 of fillFileTypes(); it lets every name through.
    static constexpr char AllFileTypes[] = "All File Types";

    // The categories in the order a view lists them; position 0 is selected
    // at start.
    static QStringList fillFileTypes();
    // Whether `name` (a shared name) ends in "." and an extension of
    // `category`, letter case ignored. A text that names none of the five
    // categories with an extension list lets every name through.
    static bool matchesFileType(const QByteArray &name, const QString &category);
};
