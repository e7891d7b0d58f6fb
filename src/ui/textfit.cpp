#include "ui/textfit.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>

namespace ui {

namespace {
// The line height the designs' 21-pixel text boxes hold: 21 less a frame of two pixels and a
// margin of one on either side.
constexpr qreal DesignLineHeight = 15;

/// Where @p w, given the rectangle @p r, draws its text in its style: a label's contents, a
/// text box's editing area, a drop-down list's field, a push button's label area.
QRect textArea(const QWidget *w, const QRect &r)
{
    const QStyle *st = w->style();
    if (const auto *e = qobject_cast<const QLineEdit *>(w)) {
        QStyleOptionFrame o;
        o.initFrom(e);
        o.rect = r;
        o.lineWidth = e->hasFrame() ? st->pixelMetric(QStyle::PM_DefaultFrameWidth, &o, e) : 0;
        o.midLineWidth = 0;
        o.state |= QStyle::State_Sunken;
        return st->subElementRect(QStyle::SE_LineEditContents, &o, e)
            .marginsRemoved(e->textMargins());
    }
    if (const auto *c = qobject_cast<const QComboBox *>(w)) {
        QStyleOptionComboBox o;
        o.initFrom(c);
        o.rect = r;
        o.editable = c->isEditable();
        o.frame = c->hasFrame();
        return st->subControlRect(QStyle::CC_ComboBox, &o, QStyle::SC_ComboBoxEditField, c);
    }
    if (const auto *b = qobject_cast<const QPushButton *>(w)) {
        QStyleOptionButton o;
        o.initFrom(b);
        o.rect = r;
        o.text = b->text();
        if (b->autoDefault())
            o.features |= QStyleOptionButton::AutoDefaultButton;
        if (b->isDefault())
            o.features |= QStyleOptionButton::DefaultButton;
        return st->subElementRect(QStyle::SE_PushButtonContents, &o, b);
    }
    QRect area = r.marginsRemoved(w->contentsMargins());
    if (const auto *l = qobject_cast<const QLabel *>(w))
        area.adjust(l->margin(), l->margin(), -l->margin(), -l->margin());
    return area;
}

class MenuSpacingStyle : public QProxyStyle
{
public:
    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                           const QWidget *widget) const override
    {
        QSize s = QProxyStyle::sizeFromContents(type, option, size, widget);
        // The label is drawn at the left of what the shortcut leaves, the shortcut right
        // after it: a wider item puts the room between them.
        if (type == CT_MenuItem) {
            const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
            if (item && item->text.contains(QLatin1Char('\t')))
                s.rwidth() += item->fontMetrics.height();
        }
        return s;
    }
};

} // namespace

QStyle *createMenuSpacingStyle()
{
    return new MenuSpacingStyle;
}

QSize wholeTextSize(const QWidget *w, const QString &text)
{
    const QRect probe(0, 0, 1000, 1000);
    const QRect area = textArea(w, probe);
    const QSize around = probe.size() - area.size();
    const QSize need =
        w->fontMetrics().boundingRect(probe, Qt::AlignLeft | Qt::AlignTop, text).size();
    return need + around;
}

QSize roomyTextSize(const QWidget *w, const QString &text)
{
    const QSize whole = wholeTextSize(w, text);
    if (qobject_cast<const QLabel *>(w))
        return whole;
    // The designs' own room holds the default font; what a taller line adds on top is
    // shared out above and below the text.
    const int line = w->fontMetrics().height();
    const int above = qRound(qMax(0.0, line - DesignLineHeight) / 3.0);
    const int beside = qobject_cast<const QPushButton *>(w) ? line : 0;
    return whole + QSize(beside, above);
}

qreal fontGrowth(const QWidget *w)
{
    return qMax(1.0, w->fontMetrics().height() / DesignLineHeight);
}

} // namespace ui
