#include "themeicons.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>

namespace {

class GlyphIconEngine : public QIconEngine
{
public:
    explicit GlyphIconEngine(QIcon glyph)
        : m_glyph(std::move(glyph))
    {
    }

    QIconEngine *clone() const override { return new GlyphIconEngine(m_glyph); }
    QString key() const override { return QStringLiteral("clipnest-glyph"); }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return m_glyph.actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        QPixmap picture = m_glyph.pixmap(size, scale, QIcon::Normal, state);
        if (picture.isNull())
            return picture;
        const QPalette palette = QGuiApplication::palette();
        QColor colour = palette.color(mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Normal,
                                      mode == QIcon::Selected ? QPalette::HighlightedText : QPalette::ButtonText);
        QPainter painter(&picture);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(QRectF(QPointF(0, 0), picture.deviceIndependentSize()), colour);
        return picture;
    }
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, scale));
    }

private:
    QIcon m_glyph;
};

} // namespace

QIcon themeIcon(const QStringList &names)
{
    for (const QString &name : names) {
        if (QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
    }
    return QIcon();
}

QIcon glyphIcon(const QStringList &names)
{
    const QIcon glyph = themeIcon(names);
    if (glyph.isNull())
        return glyph;
    return QIcon(new GlyphIconEngine(glyph));
}
