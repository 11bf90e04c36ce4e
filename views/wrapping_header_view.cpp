#include "views/wrapping_header_view.h"

#include <QPainter>
#include <QStyleOptionHeader>
#include <QTextLayout>

namespace {

constexpr int TextMargin = 3; // between the text and the section's frame

QStringList Wrap(const QString &text, const QFont &font, int width) {
    const QFontMetrics metrics(font);
    QStringList lines;
    for (const QString &paragraph : text.split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.setFont(font);
        layout.beginLayout();
        bool any = false;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            lines.append(paragraph.mid(line.textStart(), line.textLength()).trimmed());
            any = true;
        }
        layout.endLayout();
        if (!any)
            lines.append(QString());
    }
    // A word longer than the width is split where it must be.
    QStringList fitted;
    for (const QString &line : qAsConst(lines)) {
        if (metrics.horizontalAdvance(line) <= width || line.size() < 2) {
            fitted.append(line);
            continue;
        }
        QString rest = line;
        while (!rest.isEmpty()) {
            int n = rest.size();
            while (n > 1 && metrics.horizontalAdvance(rest.left(n)) > width)
                --n;
            fitted.append(rest.left(n));
            rest = rest.mid(n).trimmed();
        }
    }
    return fitted;
}

} // namespace

WrappingHeaderView::WrappingHeaderView(Qt::Orientation orientation, QWidget *parent)
    : QHeaderView(orientation, parent) {
    setSectionsClickable(true);
    setHighlightSections(true);
}

int WrappingHeaderView::FitWidth(const QString &text, const QFont &font, int current, int defaultWidth) {
    const QFontMetrics metrics(font);
    int line = 0;
    int word = 0;
    for (const QString &part : text.split(QLatin1Char('\n'))) {
        line = std::max(line, metrics.horizontalAdvance(part));
        for (const QString &w : part.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            word = std::max(word, metrics.horizontalAdvance(w));
    }
    const int wanted = std::max(std::min(line, int(defaultWidth * 1.7)), word) + 2 * TextMargin + 2;
    return std::max(current, wanted);
}

void WrappingHeaderView::setModel(QAbstractItemModel *newModel) {
    if (model())
        disconnect(model(), &QAbstractItemModel::headerDataChanged, this, &WrappingHeaderView::FitSections);
    QHeaderView::setModel(newModel);
    if (newModel)
        connect(newModel, &QAbstractItemModel::headerDataChanged, this, &WrappingHeaderView::FitSections);
}

void WrappingHeaderView::FitSections(Qt::Orientation changed, int first, int last) {
    if (changed != orientation() || !model())
        return;
    // Sections only grow, so a width the operator chose is kept.
    for (int section = std::max(0, first); section <= last && section < count(); ++section) {
        const QString text = model()->headerData(section, orientation(), Qt::DisplayRole).toString();
        const int width = FitWidth(text, font(), sectionSize(section), defaultSectionSize());
        if (width != sectionSize(section))
            resizeSection(section, width);
    }
}

QStringList WrappingHeaderView::FitLines(const QString &text, const QFont &font, const QSize &size) {
    const QFontMetrics metrics(font);
    const int width = std::max(1, size.width() - 2 * TextMargin);
    QStringList lines = Wrap(text, font, width);
    const int fit = std::max(1, (size.height() - 2 * TextMargin) / std::max(1, metrics.lineSpacing()));
    if (lines.size() <= fit)
        return lines;
    // What does not fit is joined to the last shown line and cut with an ellipsis.
    QString last = lines.mid(fit - 1).join(QLatin1Char(' '));
    lines = lines.mid(0, fit - 1);
    lines.append(metrics.elidedText(last, Qt::ElideRight, width));
    return lines;
}

void WrappingHeaderView::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const {
    if (orientation() != Qt::Horizontal || !rect.isValid()) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    // The section's frame and background as the style draws them, then our own lines of text.
    QStyleOptionHeader option;
    initStyleOption(&option);
    option.rect = rect;
    option.section = logicalIndex;
    option.text = QString();
    if (isEnabled())
        option.state |= QStyle::State_Enabled;
    if (window()->isActiveWindow())
        option.state |= QStyle::State_Active;
    const int visual = visualIndex(logicalIndex);
    if (count() == 1)
        option.position = QStyleOptionHeader::OnlyOneSection;
    else if (visual == 0)
        option.position = QStyleOptionHeader::Beginning;
    else if (visual == count() - 1)
        option.position = QStyleOptionHeader::End;
    else
        option.position = QStyleOptionHeader::Middle;
    painter->save();
    style()->drawControl(QStyle::CE_Header, &option, painter, this);
    painter->restore();

    const QString text =
        model() ? model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString() : QString();
    const QVariant font = model() ? model()->headerData(logicalIndex, orientation(), Qt::FontRole) : QVariant();
    painter->save();
    if (font.canConvert<QFont>())
        painter->setFont(qvariant_cast<QFont>(font));
    const QStringList lines = FitLines(text, painter->font(), rect.size());
    const QRect box = rect.adjusted(TextMargin, TextMargin, -TextMargin, -TextMargin);
    painter->setPen(palette().color(QPalette::ButtonText));
    painter->setClipRect(rect);
    painter->drawText(box, Qt::AlignCenter, lines.join(QLatin1Char('\n')));
    painter->restore();
}

QSize WrappingHeaderView::sectionSizeFromContents(int logicalIndex) const {
    QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    if (orientation() != Qt::Horizontal || !model())
        return size;
    // Taller than the item asks for when its wrapped text needs it, up to MaxLines.
    const QString text = model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString();
    const int width = sectionSize(logicalIndex) > 0 ? sectionSize(logicalIndex) : size.width();
    const int lines = std::min<int>(MaxLines, Wrap(text, font(), std::max(1, width - 2 * TextMargin)).size());
    size.setHeight(std::max(size.height(), lines * fontMetrics().lineSpacing() + 2 * TextMargin));
    return size;
}
