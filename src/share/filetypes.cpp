#include "share/filetypes.h"

#include <QByteArrayView>

#include <algorithm>
#include <iterator>

namespace {

struct Category
{
    const char *text;
    // Lower-case extensions without the dot, each followed by "|".
    const char *extensions;
};

constexpr Category Categories[] = {
    {"Audio", "mp3|ogg|wav|au|snd|mid|midi|mpga|mpega|mp2|sid|aif|aiff|aifc|gsm|ra|rm|ram|wma|"},
    {"Video", "avi|mpg|mpeg|mp4|mov|flv|rv|rm|wmv|asf|qt|"},
    {"Images", "bmp|gif|ief|jpeg|jpe|jpg|pcx|png|tiff|tif|wbmp|ras|cdr|pat|cdt|cpt|jng|pnm|pbm|pgm|ppm|rgb|xbm|xpm|wxd|"},
    {"Archives", "zip|rar|tar|gz|iso|cdr|bin|cue|lzh|lzx|sit|sitx|ace|toast|dmg|"},
    {"Documents", "doc|xls|htm|html|txt|text|pdf|xml|rtf|ppt|"},
};

} // namespace

QStringList FileTypes::fillFileTypes()
{
    QStringList texts{QLatin1String(AllFileTypes)};
    for (const Category &category : Categories)
        texts << QLatin1String(category.text);
    return texts;
}

bool FileTypes::matchesFileType(const QByteArray &name, const QString &category)
{
    const auto found = std::find_if(std::begin(Categories), std::end(Categories), [&](const Category &entry) {
        return category == QLatin1String(entry.text);
    });
    if (found == std::end(Categories))
        return true;

    const QByteArray lowered = name.toLower();
    const QByteArrayView list(found->extensions);
    qsizetype start = 0;
    while (start < list.size()) {
        const qsizetype bar = list.indexOf('|', start);
        const QByteArrayView extension = list.sliced(start, bar - start);
        const qsizetype dot = lowered.size() - extension.size() - 1;
        if (dot >= 0 && lowered.at(dot) == '.' && QByteArrayView(lowered).sliced(dot + 1) == extension)
            return true;
        start = bar + 1;
    }
    return false;
}
