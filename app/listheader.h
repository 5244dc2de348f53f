// Captions over the columns of a fixed-pitch list: each starts over the character column it
// names, in the list's font, and follows the list's font, size and horizontal scrolling.
#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QLabel;
class QListView;

namespace vantel {

class ListHeader : public QWidget {
    Q_OBJECT
public:
    struct Column {
        QString caption;
        int at;  // the character column (0-based) it starts over
    };
    ListHeader(QListView *list, const QList<Column> &columns, QWidget *parent = nullptr);

    const QList<QLabel *> &captions() const { return captions_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    void place();

    QListView *list_;
    QList<Column> columns_;
    QList<QLabel *> captions_;
};

}  // namespace vantel
