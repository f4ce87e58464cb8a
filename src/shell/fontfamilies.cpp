#include "fontfamilies.h"

#include <QFontDatabase>
#include <QHash>
#include <QStringList>

namespace {

// Installed families of the same kind, the closest first: humanist sans
// serifs for Tahoma and Trebuchet MS, Chinese sans serifs for Microsoft JhengHei.
const QHash<QString, QStringList> &standIns()
{
    static const QStringList humanistSans{
        QStringLiteral("Noto Sans"),       QStringLiteral("DejaVu Sans"), QStringLiteral("Open Sans"),
        QStringLiteral("Liberation Sans"), QStringLiteral("FreeSans"),    QStringLiteral("Cantarell"),
    };
    static const QStringList chineseSans{
        QStringLiteral("Noto Sans CJK TC"),    QStringLiteral("Noto Sans CJK SC"),
        QStringLiteral("Noto Sans TC"),        QStringLiteral("Noto Sans SC"),
        QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("WenQuanYi Zen Hei"),
        QStringLiteral("Droid Sans Fallback"), QStringLiteral("AR PL UMing TW"),
    };
    static const QHash<QString, QStringList> byFamily{
        {QStringLiteral("tahoma"), humanistSans},
        {QStringLiteral("trebuchet ms"), humanistSans},
        {QStringLiteral("microsoft jhenghei"), chineseSans},
    };
    return byFamily;
}

} // namespace

QString closestInstalledFamily(const QString &family)
{
    const QStringList installed = QFontDatabase::families();
    // The name as the font database spells it, or nothing.
    auto installedName = [&installed](const QString &name) {
        for (const QString &known : installed) {
            if (known.compare(name, Qt::CaseInsensitive) == 0)
                return known;
        }
        return QString();
    };
    if (const QString itself = installedName(family); !itself.isEmpty())
        return itself;
    for (const QString &candidate : standIns().value(family.toLower())) {
        if (const QString standIn = installedName(candidate); !standIn.isEmpty())
            return standIn;
    }
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

QFont installedFont(const QString &family, int pixelSize)
{
    QFont font(closestInstalledFamily(family));
    font.setPixelSize(pixelSize);
    return font;
}
