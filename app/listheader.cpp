#include "app/listheader.h"

#include <algorithm>

#include <QEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QListView>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>

namespace vantel {

ListHeader::ListHeader(QListView *list, const QList<Column> &columns, QWidget *parent)
    : QWidget(parent), list_(list), columns_(columns) {
    for (const Column &column : columns_) {
        auto *caption = new QLabel(column.caption, this);
        caption->setObjectName(column.caption);
        caption->setMargin(0);
        caption->setIndent(0);
        captions_ << caption;
    }
    list_->installEventFilter(this);
    list_->viewport()->installEventFilter(this);
    connect(list_->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { place(); });
    place();
}

bool ListHeader::eventFilter(QObject *watched, QEvent *event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::FontChange || type == QEvent::Resize || type == QEvent::Move ||
        type == QEvent::StyleChange || type == QEvent::Show)
        place();
    return QWidget::eventFilter(watched, event);
}

void ListHeader::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    place();
}

void ListHeader::moveEvent(QMoveEvent *event) {
    QWidget::moveEvent(event);
    place();
}

void ListHeader::place() {
    QFont font = list_->font();
    font.setBold(true);
    const qreal cell = QFontMetricsF(list_->font()).horizontalAdvance(u' ');
    // Where the style draws an item's text: the text rectangle and the margin inside it.
    QStyleOptionViewItem item;
    item.initFrom(list_);
    item.font = list_->font();
    item.features = QStyleOptionViewItem::HasDisplay;
    item.text = QStringLiteral(" ");
    item.rect = QRect(0, 0, 4096, 32);
    QStyle *style = list_->style();
    const int textLeft = style->subElementRect(QStyle::SE_ItemViewItemText, &item, list_).left() +
                         style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list_) + 1;
    const QWidget *viewport = list_->viewport();
    const int origin = mapFromGlobal(viewport->mapToGlobal(QPoint(
                                         textLeft - list_->horizontalScrollBar()->value(), 0)))
                           .x();
    int height = 0;
    for (qsizetype i = 0; i < captions_.size(); ++i) {
        QLabel *caption = captions_[i];
        caption->setFont(font);
        caption->adjustSize();
        caption->move(origin + qRound(columns_[i].at * cell), 0);
        height = std::max(height, caption->height());
    }
    setFixedHeight(height);
}

}  // namespace vantel
